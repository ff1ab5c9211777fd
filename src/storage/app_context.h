#pragma once
// The one application context: created at start-up, passed by reference. Nothing else is global.
#include <string>
#include <string_view>

#include "storage/block_list.h"
#include "storage/settings.h"
#include "util/browser.h"
#include "util/clock.h"
#include "util/regional.h"
#include "util/reporter.h"

namespace panorello {

// Time-outs of every database connection (seconds).
struct ConnectionLimits {
  int connect_seconds = 15;
  int query_seconds = 30;
};

struct AppContext {
  std::string app_folder;  // folder of the executable (tests: a temporary folder)
  Settings settings;       // the one Settings record
  BlockList blocks;        // the one BlockList
  const Clock& clock;
  Reporter& reporter;
  Browser& browser;
  RegionalSettings regional;
  ConnectionLimits limits;
  // Set when loading blocks.ini skipped text; the window shows it once, then clears it.
  std::string blocks_warning = {};

  std::string AppFile(std::string_view name) const;
  // Throws Error when output is the same file (device and inode) as config.ini, blocks.ini,
  // blocks_demo.ini, the log, the Database setting's file or the executable.
  void RefuseOwnFileAsOutput(const std::string& output) const;
  // WriteLog with the current LogFile setting.
  void Log(std::string_view message) const noexcept;
};

}  // namespace panorello
