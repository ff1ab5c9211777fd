#pragma once
// The one application context: created at start-up, passed by reference. Nothing else is global.
#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "storage/block_list.h"
#include "storage/connection_limits.h"
#include "storage/settings.h"
#include "util/browser.h"
#include "util/cancel.h"
#include "util/clock.h"
#include "util/regional.h"
#include "util/reporter.h"

namespace panorello {

// How a generation run does its work: how many blocks run their queries at the same time (set
// once at start-up from PANORELLO_JOBS; 1 runs them one after the other), a flag that asks a
// run in progress to stop (the window sets it when it is closed during a run), and the workers
// that runs of this process left behind in a driver (copies of the context share them).
struct RunControl {
  int jobs = 4;
  const std::atomic<bool>* cancel = nullptr;
  std::shared_ptr<StuckWorkers> stuck = std::make_shared<StuckWorkers>();
};

struct AppContext {
  std::string app_folder;  // the data folder (tests: a temporary folder)
  Settings settings;       // the one Settings record
  BlockList blocks;        // the one BlockList
  const Clock& clock;
  Reporter& reporter;
  Browser& browser;
  RegionalSettings regional;
  ConnectionLimits limits;
  // Further folders searched, after app_folder, for data shipped with the program.
  std::vector<std::string> shipped_folders;
  RunControl run{};
  // Set when loading blocks.ini skipped text; the window shows it once, then clears it.
  std::string blocks_warning = {};

  std::string AppFile(std::string_view name) const;
  // A copy of this context whose messages and progress go to other (the window's reporter, a
  // run on another thread).
  AppContext WithReporter(Reporter& other) const;
  // The first of app_folder and shipped_folders holding `name`; AppFile(name) when none does.
  std::string ShippedFile(std::string_view name) const;
  // The program's own file that path names (device and inode): config.ini, blocks.ini and its
  // .bak, blocks_demo.ini, the sample database, the Database setting's file, any of the
  // executables, or the folder "cache" when path is in it. Empty when it names none.
  std::string OwnFileNamedBy(const std::string& path) const;
  // Throws Error when output names one of the program's own files or the log.
  void RefuseOwnFileAsOutput(const std::string& output) const;
  // Why the log cannot be used at all: it names one of the program's own files, or a link of
  // another account is on its path. Empty when it can.
  std::string LogRefusal() const;
  // WriteLog with the current LogFile setting; a LogFile naming one of the program's own files
  // is never written (its lines go to the reporter).
  void Log(std::string_view message) const noexcept;
};

}  // namespace panorello
