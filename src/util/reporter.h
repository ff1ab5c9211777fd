#pragma once
// How operations talk to the person: message boxes on the window road, the terminal in batch.
#include <string>

namespace panorello {

enum class MessageIcon { Warning, Information };

// The application title used by message boxes without a title of their own.
inline constexpr const char* kAppTitle = "PanorelloDashboard";

class Reporter {
 public:
  virtual ~Reporter() = default;
  // A modal message box with one OK button; returns when it is closed.
  virtual void ShowMessage(MessageIcon icon, const std::string& title, const std::string& text) = 0;
  // Progress of a generation run (batch on a terminal shows it; others ignore it).
  virtual void BlockStarted(int /*number*/, int /*count*/, const std::string& /*title*/) {}
  virtual void PageWritten(const std::string& /*path*/) {}
  // A block whose box shows an error; line is the log line that names it.
  virtual void BlockFailed(const std::string& /*line*/) {}
  // A log line that could not be written to log_path (the batch shows it on standard error).
  virtual void LogUnwritable(const std::string& /*log_path*/, const std::string& /*reason*/,
                             const std::string& /*line*/) {}
};

// Drops every message (batch under cron).
class SilentReporter final : public Reporter {
 public:
  void ShowMessage(MessageIcon, const std::string&, const std::string&) override {}
};

}  // namespace panorello
