#pragma once
// Shared helpers of the tests: temporary folders, a context at a fixed time, recorders.
#include <memory>
#include <string>
#include <vector>

#include "storage/app_context.h"
#include "util/clock.h"
#include "util/error.h"

namespace panorello::testing {

// A fresh folder under the system temporary folder, removed with everything in it.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

struct RecordedMessage {
  MessageIcon icon;
  std::string title;
  std::string text;
};

class RecordingReporter final : public Reporter {
 public:
  void ShowMessage(MessageIcon icon, const std::string& title, const std::string& text) override {
    messages.push_back({icon, title, text});
  }
  std::vector<RecordedMessage> messages;
};

class RecordingBrowser final : public Browser {
 public:
  void Open(const std::string& path) override {
    if (fail) throw Error("browser failure");
    opened.push_back(path);
  }
  std::vector<std::string> opened;
  bool fail = false;
};

// A context whose executable folder is a temporary folder and whose clock reads
// 06/12/2026 05:14:48 unless told otherwise. Settings hold the defaults of a missing config.ini.
struct TestContext {
  explicit TestContext(DateTime now = DateTime{2026, 12, 6, 5, 14, 48});
  TempFolder folder;
  FixedClock clock;
  RecordingReporter reporter;
  RecordingBrowser browser;
  std::unique_ptr<AppContext> ctx;
  AppContext& operator*() { return *ctx; }
  AppContext* operator->() { return ctx.get(); }
};

// Whole file as raw bytes ("" when missing), and writing raw bytes.
std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);

// The messages of a log file, without their time stamps ("dd/mm/yyyy hh:nn:ss - ").
std::vector<std::string> LogLines(const std::string& log_path);
// The messages of panorello.log in folder.
std::vector<std::string> LogMessages(const std::string& folder);

// How many times part occurs in text (overlapping occurrences counted).
size_t CountOf(const std::string& text, const std::string& part);

// The demonstration blocks as they travel beside the executable.
std::string DemoBlocksSource();

// config.ini text (CR LF after each line).
std::string ConfigText(const std::vector<std::string>& lines);

// One block in the blocks file format (sort order = id, active).
std::string BlockText(int id, const std::string& title, const std::string& dashboard,
                      const std::string& sql, const std::string& mode = "AUTO");

}  // namespace panorello::testing
