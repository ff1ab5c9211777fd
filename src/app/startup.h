#pragma once
// Start-up: the command line, loading settings and blocks, the sample-database check, and the
// choice between the window, the batch generation and the batch demonstration.
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "storage/app_context.h"

namespace panorello {

// Process exit status.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;   // the batch generation or demo did not succeed
inline constexpr int kExitStartup = 2;  // start-up could not go on (unreadable files, no window)
inline constexpr int kExitBlockErrors = 3;  // the page was written, some blocks show an error box

// The window road: gets the loaded context and returns the exit status.
using WindowRoad = std::function<int(AppContext&)>;

// Where a batch run reports beyond the log, and what it knows of its session.
struct BatchIo {
  std::ostream& err;               // start-up failures, failure lines, terminal progress
  bool err_is_terminal = false;    // progress and a closing summary only on a terminal
  bool graphical_session = false;  // DISPLAY or WAYLAND_DISPLAY: the setting may open a browser
};

// The usage text of --help, -h and /?, naming the data folder in use.
std::string UsageText(const std::string& data_folder);

// "panorello " + the version, for --version.
std::string VersionText();

// What a build without the window says when asked for it.
std::string NoWindowText();

// True when a space-separated word of the upper-cased command line is /DEMO.
bool HasDemoArgument(const std::string& upper_command_line);

// True for --help, -h and /? given as an argument of its own.
bool WantsHelp(const std::vector<std::string>& args);

// The number of blocks a run works on at the same time, from the text of PANORELLO_JOBS (null
// when it is not set): a whole number from 1 to 32; anything else gives 4.
int JobsFromText(const char* text);

// The whole start-up of the process. ctx comes with its data folder, clock, reporter and
// browser; Main loads Settings and the BlockList into it. out receives the usage and version
// texts; io.err the start-up failures and the failure lines of a batch run (on a terminal also
// its summary).
int Main(AppContext& ctx, const std::vector<std::string>& args, const WindowRoad& window_road,
         std::ostream& out, const BatchIo& io);

}  // namespace panorello
