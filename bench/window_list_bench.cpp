// The main window with a large BlockList (offscreen): building it (Form_Load fills lstBlocks)
// and refilling the list after a change. Prints the median of RUNS runs (default 3).
//
//   QT_QPA_PLATFORM=offscreen window_list_bench [N] [RUNS]
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "median_seconds.h"
#include "storage/app_context.h"
#include "ui/frm_main.h"

namespace {

using namespace panorello;

class NoBrowser final : public Browser {
 public:
  void Open(const std::string&) override {}
};

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
  int qt_argc = 1;
  QApplication app(qt_argc, argv);
  SystemClock clock;
  SilentReporter reporter;
  NoBrowser browser;
  AppContext ctx{"/nonexistent", Settings{}, BlockList{},        clock,
                 reporter,       browser,    RegionalSettings{}, ConnectionLimits{}};
  std::vector<Block> blocks(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) blocks[static_cast<size_t>(i)].Title = "Blocco " + std::to_string(i);
  ctx.blocks.AppendBlocks(std::move(blocks));

  const double open = MedianSeconds(runs, [&] {
    FrmMain window(ctx);
    window.show();
    QApplication::processEvents();
  });
  FrmMain window(ctx);
  window.show();
  QApplication::processEvents();
  const double refill = MedianSeconds(runs, [&] {
    ctx.blocks.At(0).Title += "x";  // one entry differs: the list is filled again
    window.Form().RefreshBlockList();
    window.ShowState();
    QApplication::processEvents();
  });
  std::printf("finestra con %d blocchi (offscreen), mediana di %d\n", n, runs);
  std::printf("  apertura (Form_Load e lista)  %8.3f s\n", open);
  std::printf("  lista riempita di nuovo       %8.3f s\n", refill);
  return 0;
}
