#pragma once
// The reporter of the command line: messages on standard error, and the progress of a batch run
// when standard error is a terminal. Under cron it prints only messages and failures (a block's
// error, log lines that could not be written), one line each, so that cron's mail shows them.
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
  void BlockFailed(const std::string& line) override;
  void LogUnwritable(const std::string& log_path, const std::string& reason,
                     const std::string& line) override;

 private:
  std::ostream& err_;
  bool progress_;
  std::string unwritable_log_;  // the log already named as unwritable
};

}  // namespace panorello
