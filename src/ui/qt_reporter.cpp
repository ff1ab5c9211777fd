#include "ui/qt_reporter.h"

#include <QMessageBox>
#include <QString>

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

}  // namespace panorello
