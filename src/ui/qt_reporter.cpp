#include "ui/qt_reporter.h"

#include <QMessageBox>
#include <QString>

#include <cstdio>

#include "util/log.h"
#include "util/text.h"

namespace panorello {

void QtReporter::ShowMessage(MessageIcon icon, const std::string& title, const std::string& text) {
  QMessageBox box(icon == MessageIcon::Warning ? QMessageBox::Warning : QMessageBox::Information,
                  QString::fromStdString(title), QString::fromStdString(NormalizeNewlines(text)),
                  QMessageBox::Ok, parent_.data());
  // Messages carry database and file texts: never read them as rich text.
  box.setTextFormat(Qt::PlainText);
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

void QtReporter::LogUnwritable(const std::string& log_path, const std::string& reason,
                               const std::string& line) {
  const std::string text = LogFallbackText(log_path, reason, line, unwritable_log_);
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
}

}  // namespace panorello
