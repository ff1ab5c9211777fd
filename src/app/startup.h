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

// The window road: gets the loaded context and returns the exit status.
using WindowRoad = std::function<int(AppContext&)>;

// The usage text of --help, -h and /?.
std::string UsageText();

// What a build without the window says when asked for it.
std::string NoWindowText();

// True for --help, -h and /? given as an argument of its own.
// True when a space-separated word of the upper-cased command line is /DEMO.
bool HasDemoArgument(const std::string& upper_command_line);
bool WantsHelp(const std::vector<std::string>& args);

// The number of blocks a run works on at the same time, from the text of PANORELLO_JOBS (null
// when it is not set): a whole number from 1 to 32; anything else gives 4.
int JobsFromText(const char* text);

// The whole start-up of the process. ctx comes with its executable folder, clock, reporter and
// browser; Main loads Settings and the BlockList into it. out receives the usage text; err the
// start-up failures (and, when err_is_terminal, the outcome of a batch run).
int Main(AppContext& ctx, const std::vector<std::string>& args, const WindowRoad& window_road,
         std::ostream& out, std::ostream& err, bool err_is_terminal);

}  // namespace panorello
