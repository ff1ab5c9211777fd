// The forwarding base of reporters: whatever a run reports reaches the target, each call through
// the subclass's Call (the window moves them to its thread there).
#include "util/reporter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace panorello {
namespace {

using Texts = std::vector<std::string>;

struct RecordingTarget final : Reporter {
  void ShowMessage(MessageIcon, const std::string& title, const std::string& text) override {
    calls.push_back("messaggio " + title + ": " + text);
  }
  void BlockStarted(int number, int count, const std::string& title) override {
    calls.push_back("blocco " + std::to_string(number) + "/" + std::to_string(count) + " " + title);
  }
  void PageWritten(const std::string& path) override { calls.push_back("pagina " + path); }
  void BlockFailed(const std::string& line) override { calls.push_back("errore " + line); }
  void LogUnwritable(const std::string& log_path, const std::string& reason,
                     const std::string& line) override {
    calls.push_back("log " + log_path + " " + reason + " " + line);
  }
  Texts calls;
};

struct CountingForwarder final : ForwardingReporter {
  using ForwardingReporter::ForwardingReporter;
  void Call(const std::function<void()>& call) override {
    ++through_call;
    call();
  }
  int through_call = 0;
};

TEST(ForwardingReporter, EveryCallReachesTheTargetThroughCall) {
  RecordingTarget target;
  CountingForwarder forwarder(target);
  Reporter& reporter = forwarder;
  reporter.ShowMessage(MessageIcon::Warning, "T", "testo");
  reporter.BlockStarted(2, 5, "Vendite");
  reporter.PageWritten("/p.html");
  reporter.BlockFailed("Errore blocco 3");
  reporter.LogUnwritable("/log", "disco pieno", "riga");
  EXPECT_EQ(target.calls, (Texts{"messaggio T: testo", "blocco 2/5 Vendite", "pagina /p.html",
                                 "errore Errore blocco 3", "log /log disco pieno riga"}));
  EXPECT_EQ(forwarder.through_call, 5);
}

}  // namespace
}  // namespace panorello
