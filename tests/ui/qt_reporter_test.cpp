// The message boxes of the window road: modal, one OK button, icon, title, plain text.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <memory>
#include <string>

#include "ui/qt_reporter.h"
#include "ui/window_fixture.h"

namespace panorello::testing {
namespace {

struct SeenBox {
  bool found = false;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QString title;
  QString text;
  Qt::TextFormat format = Qt::AutoText;
  int buttons = 0;
  bool modal = false;
};

// Answers the next message box as a person would: reads it and presses OK. Gives up (closing
// every top-level window) after two seconds, so that a box never blocks the test run.
void AnswerNextBox(SeenBox& seen) {
  auto* timer = new QTimer;
  auto tries = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, [timer, tries, &seen] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr && ++*tries < 200) return;
    timer->stop();
    timer->deleteLater();
    if (box == nullptr) {
      for (QWidget* w : QApplication::topLevelWidgets()) w->close();
      return;
    }
    seen.found = true;
    seen.icon = box->icon();
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.format = box->textFormat();
    seen.buttons = static_cast<int>(box->buttons().size());
    seen.modal = box->isModal();
    box->button(QMessageBox::Ok)->click();
  });
  timer->start(10);
}

struct BoxCase {
  MessageIcon icon;
  QMessageBox::Icon shown;
  const char* title;
  const char* text;
  const char* expected_text;
};

TEST_F(WindowTest, ReporterShowsOneModalBoxPerMessage) {
  const BoxCase cases[] = {
      {MessageIcon::Warning, QMessageBox::Warning, "PanorelloDashboard", "Inserire il titolo.",
       "Inserire il titolo."},
      {MessageIcon::Information, QMessageBox::Information, "Panorello Demo",
       "Dashboard demo generata e aperta nel browser.", "Dashboard demo generata e aperta nel browser."},
      {MessageIcon::Warning, QMessageBox::Warning, "Panorello Demo",
       "Errore durante la creazione del database demo:\r\n<b>disco</b> pieno",
       "Errore durante la creazione del database demo:\n<b>disco</b> pieno"},
  };
  QtReporter reporter;
  for (const BoxCase& c : cases) {
    SCOPED_TRACE(c.text);
    SeenBox seen;
    AnswerNextBox(seen);
    reporter.ShowMessage(c.icon, c.title, c.text);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.icon, c.shown);
    EXPECT_EQ(seen.title.toStdString(), c.title);
    EXPECT_EQ(seen.text.toStdString(), c.expected_text);
    EXPECT_EQ(seen.format, Qt::PlainText);
    EXPECT_EQ(seen.buttons, 1);
    EXPECT_TRUE(seen.modal);
  }
}

}  // namespace
}  // namespace panorello::testing
