#pragma once
// One QApplication for the whole test program (offscreen platform) and a window over a test
// context whose message boxes are recorded instead of shown.
#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include <memory>
#include <string>

#include "support/test_support.h"
#include "ui/frm_main.h"

namespace panorello::testing {

inline QApplication& TestApp() {
  static int argc = 1;
  static char name[] = "test_ui";
  static char* argv[] = {name, nullptr};
  static QApplication app(argc, argv);
  return app;
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override { TestApp(); }
  void Open() {
    window = std::make_unique<FrmMain>(*t);
    window->show();
    QApplication::processEvents();
  }
  template <class T>
  T* Find(const char* name) {
    T* c = window->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
  }
  std::string File(const std::string& name) const { return t.folder.File(name); }

  TestContext t;
  std::unique_ptr<FrmMain> window;
};

}  // namespace panorello::testing
