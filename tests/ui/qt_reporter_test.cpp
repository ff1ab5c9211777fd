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

// Answers the next message box as a person would: reads it and presses OK. Gives up (closing
// every top-level window) after two seconds, so that a box never blocks the test run.
void AnswerNextBox(std::string& seen) {
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
    seen = std::to_string(box->icon()) + "|" + box->windowTitle().toStdString() + "|" +
           box->text().toStdString() + "|" +
           (box->textFormat() == Qt::PlainText ? "plain" : "rich") + "|" +
           std::to_string(box->buttons().size()) + (box->isModal() ? "|modal" : "|modeless");
    box->button(QMessageBox::Ok)->click();
  });
  timer->start(10);
}

TEST_F(WindowTest, ReporterShowsOneModalBoxPerMessage) {
  const struct {
    MessageIcon icon;
    const char* title;
    const char* text;
    std::string expected;
  } cases[] = {
      {MessageIcon::Information, "Panorello Demo", "Fatto.",
       std::to_string(QMessageBox::Information) + "|Panorello Demo|Fatto.|plain|1|modal"},
      {MessageIcon::Warning, "PanorelloDashboard", "Errore:\r\n<b>disco</b> pieno",
       std::to_string(QMessageBox::Warning) +
           "|PanorelloDashboard|Errore:\n<b>disco</b> pieno|plain|1|modal"},
  };
  QtReporter reporter;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string seen;
    AnswerNextBox(seen);
    reporter.ShowMessage(c.icon, c.title, c.text);
    EXPECT_EQ(seen, c.expected);
  }
}

}  // namespace
}  // namespace panorello::testing
