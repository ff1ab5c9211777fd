#pragma once
// Message boxes of the window road: modal, one OK button, warning or information icon.
#include <QPointer>
#include <QWidget>

#include <string>

#include "util/reporter.h"

namespace panorello {

class QtReporter final : public Reporter {
 public:
  explicit QtReporter(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }
  void ShowMessage(MessageIcon icon, const std::string& title, const std::string& text) override;
  // The window has no place for them: standard error, as in batch.
  void LogUnwritable(const std::string& log_path, const std::string& reason,
                     const std::string& line) override;

 private:
  QPointer<QWidget> parent_;
  std::string unwritable_log_;
};

}  // namespace panorello
