// Entry point: reads the environment once, builds the one application context in the data
// folder and hands it to the start-up.
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "app/startup.h"
#include "app/terminal_reporter.h"
#include "storage/app_context.h"
#include "util/browser.h"
#include "util/clock.h"
#include "util/data_folder.h"
#include "util/files.h"
#include "util/log.h"
#include "util/regional.h"

#ifdef PANORELLO_WITH_UI
#include "ui/main_window.h"
#endif

namespace {

#ifndef PANORELLO_WITH_UI
// The window lives in panorello-gui: when it sits beside this program, the window road becomes
// that program with the same arguments. Returns only when it cannot be started.
void HandOverToWindow(const std::string& executable_folder, char** argv) {
  const std::string gui = panorello::AppFile(executable_folder, "panorello-gui");
  if (::access(gui.c_str(), X_OK) != 0) return;
  argv[0] = const_cast<char*>(gui.c_str());
  ::execv(gui.c_str(), argv);
}
#endif

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// Builds with AddressSanitizer: fontconfig (opened with librsvg when a mail's charts become
// pictures) keeps its caches until the process ends; they are not leaks of the program.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif

int main(int argc, char** argv) {
  using namespace panorello;
  try {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const bool err_is_terminal = isatty(STDERR_FILENO) == 1;
    const ProcessEnvironment env = ProcessEnvironment::FromProcess();
    const std::string executable_folder = ExecutableFolder();
    const std::string data_folder = ChooseDataFolder(env, executable_folder);
    SystemClock clock;
    TerminalReporter reporter(std::cerr, err_is_terminal);
    SystemBrowser browser;
    AppContext ctx{.app_folder = data_folder,
                   .clock = clock,
                   .reporter = reporter,
                   .browser = browser,
                   .regional = RegionalSettings::FromEnvironment(),
                   .shipped_folders =
                       ShippedDataFolders(data_folder, executable_folder,
                                          AppFile(executable_folder, PANORELLO_INSTALLED_DATA_REL)),
                   .run = RunControl{.jobs = JobsFromText(env.jobs.c_str())}};
    const WindowRoad window = [&](AppContext& c) -> int {
#ifdef PANORELLO_WITH_UI
      return RunWindow(c, argc, argv);
#else
      (void)c;
      HandOverToWindow(executable_folder, argv);
      std::cerr << NoWindowText();
      return kExitStartup;
#endif
    };
    const BatchIo io{std::cerr, err_is_terminal, env.graphical_session};
    const int status = Main(ctx, args, window, std::cout, io);
    if (ctx.run.stuck->Total() > 0) {
      // Queries that their drivers did not give up still hold threads: the log and the page are
      // complete, so the process ends without waiting for them (or running exit handlers under
      // them).
      std::cout.flush();
      std::cerr.flush();
      std::fflush(nullptr);
      ::_exit(status);
    }
    return status;
  } catch (const std::exception& e) {
    std::cerr << "Errore avvio: " << ForTerminal(e.what()) << '\n';
    return kExitStartup;
  }
}
