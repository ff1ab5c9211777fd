#pragma once
// Message boxes of the window road: modal, one OK button, warning or information icon.
#include <QPointer>
#include <QWidget>

#include "util/reporter.h"

namespace panorello {

class QtReporter final : public Reporter {
 public:
  explicit QtReporter(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }
  void ShowMessage(MessageIcon icon, const std::string& title, const std::string& text) override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace panorello
