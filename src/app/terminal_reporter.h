#pragma once
// The reporter of the command line: messages on standard error, and the progress of a batch run
// when standard error is a terminal (under cron it prints nothing but messages).
#include <ostream>
#include <string>

#include "util/reporter.h"

namespace panorello {

class TerminalReporter final : public Reporter {
 public:
  TerminalReporter(std::ostream& err, bool show_progress) : err_(err), progress_(show_progress) {}
  void ShowMessage(MessageIcon icon, const std::string& title, const std::string& text) override;
  void BlockStarted(int number, int count, const std::string& title) override;
  void PageWritten(const std::string& path) override;

 private:
  std::ostream& err_;
  bool progress_;
};

}  // namespace panorello
