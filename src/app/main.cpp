// Entry point: builds the one application context and hands it to the start-up.
#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "app/startup.h"
#include "app/terminal_reporter.h"
#include "storage/app_context.h"
#include "util/browser.h"
#include "util/clock.h"
#include "util/files.h"
#include "util/regional.h"

#ifdef PANORELLO_WITH_UI
#include "ui/main_window.h"
#endif

int main(int argc, char** argv) {
  using namespace panorello;
  try {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const bool err_is_terminal = isatty(STDERR_FILENO) == 1;
    SystemClock clock;
    TerminalReporter reporter(std::cerr, err_is_terminal);
    SystemBrowser browser;
    AppContext ctx{ExecutableFolder(), Settings{},  BlockList{},
                   clock,              reporter,    browser,
                   RegionalSettings::FromEnvironment(), ConnectionLimits{},
                   RunControl{JobsFromText(std::getenv("PANORELLO_JOBS")), nullptr}};
    const WindowRoad window = [&](AppContext& c) -> int {
#ifdef PANORELLO_WITH_UI
      return RunWindow(c, argc, argv);
#else
      (void)c;
      std::cerr << NoWindowText();
      return kExitStartup;
#endif
    };
    return Main(ctx, args, window, std::cout, std::cerr, err_is_terminal);
  } catch (const std::exception& e) {
    std::cerr << "Errore avvio: " << e.what() << '\n';
    return kExitStartup;
  }
}
