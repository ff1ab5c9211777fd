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
#include "ui/qt_translations.h"

namespace panorello::testing {

// Created before the first test and destroyed after the last one, inside main (a QApplication
// left to static destruction outlives parts of Qt and crashes at exit).
class QtEnvironment final : public ::testing::Environment {
 public:
  void SetUp() override {
    app_ = std::make_unique<QApplication>(argc_, argv_);
    LoadQtItalian(*app_);  // as the window road does
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[8] = "test_ui";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

class WindowTest : public ::testing::Test {
 protected:
  void Open() {
    window = std::make_unique<FrmMain>(*t);
    window->CenterOnScreen();  // as the window road places it
    window->show();
    window->CenterOnScreen();
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
