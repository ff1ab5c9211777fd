#pragma once
// How operations talk to the person: message boxes on the window road, the terminal in batch.
#include <functional>
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

// Hands every call on to another reporter, each through Call, which a subclass may override to
// move it (to the window's thread): nothing that one reporter is told is lost on the way.
class ForwardingReporter : public Reporter {
 public:
  explicit ForwardingReporter(Reporter& target) : target_(target) {}
  void ShowMessage(MessageIcon icon, const std::string& title, const std::string& text) override {
    Call([&] { target_.ShowMessage(icon, title, text); });
  }
  void BlockStarted(int number, int count, const std::string& title) override {
    Call([&] { target_.BlockStarted(number, count, title); });
  }
  void PageWritten(const std::string& path) override {
    Call([&] { target_.PageWritten(path); });
  }
  void BlockFailed(const std::string& line) override {
    Call([&] { target_.BlockFailed(line); });
  }
  void LogUnwritable(const std::string& log_path, const std::string& reason,
                     const std::string& line) override {
    Call([&] { target_.LogUnwritable(log_path, reason, line); });
  }

 protected:
  // Runs call, which talks to the target; waits for it.
  virtual void Call(const std::function<void()>& call) { call(); }

 private:
  Reporter& target_;
};

// Drops every message (batch under cron).
class SilentReporter final : public Reporter {
 public:
  void ShowMessage(MessageIcon, const std::string&, const std::string&) override {}
};

}  // namespace panorello
