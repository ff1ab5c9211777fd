// Loading a large blocks.ini: LoadBlocks of N blocks (default 100,000) from a file in a temporary
// folder, the window's list entries for them, and SaveBlocks of the same list. Prints the median
// of RUNS runs (default 3) of each, in seconds.
//
//   blocks_load_bench [N] [RUNS]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "median_seconds.h"
#include "storage/blocks_file.h"
#include "ui/logic/main_form.h"
#include "util/files.h"

namespace {

using panorello::Block;
using panorello::BlockList;

// n blocks as a hand-kept file looks: every third one without an Id or sort order.
BlockList SampleList(int n) {
  std::vector<Block> blocks;
  for (int i = 1; i <= n; ++i) {
    Block b;
    b.Id = i % 3 == 0 ? 0 : i;
    b.SortOrder = i % 3 == 0 ? 0 : i;
    b.Title = "Blocco " + std::to_string(i);
    b.Subtitle = "Vendite per mese";
    b.Sql = "SELECT mese, SUM(importo) AS totale\r\nFROM fatture\r\nGROUP BY mese";
    b.RenderMode = i % 2 == 0 ? "TABLE" : "";
    b.Dashboard = i % 5 == 0 ? "Nord" : "";
    blocks.push_back(std::move(b));
  }
  BlockList list;
  list.AppendBlocks(std::move(blocks));
  return list;
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
  std::string folder =
      (std::filesystem::temp_directory_path() / "panorello-blocks-XXXXXX").string();
  if (mkdtemp(folder.data()) == nullptr) return 1;
  const BlockList sample = SampleList(n);
  panorello::SaveBlocks(sample, folder);
  const auto bytes = std::filesystem::file_size(folder + "/blocks.ini");

  BlockList loaded;
  const double load = MedianSeconds(runs, [&] { panorello::LoadBlocks(loaded, folder); });
  std::vector<std::string> entries;
  const double entries_time = MedianSeconds(runs, [&] {
    entries.clear();
    for (const Block& b : loaded.Blocks()) entries.push_back(panorello::BlockEntryText(b));
  });
  const double save = MedianSeconds(runs, [&] { panorello::SaveBlocks(loaded, folder); });
  std::filesystem::remove_all(folder);

  const bool same = loaded.BlockCount() == n && static_cast<int>(entries.size()) == n;
  std::printf("blocks.ini di %d blocchi (%.1f MB), mediana di %d\n", n, bytes / 1e6, runs);
  std::printf("  LoadBlocks             %8.3f s  (obiettivo < 1 s)\n", load);
  std::printf("  voci della lista       %8.3f s\n", entries_time);
  std::printf("  SaveBlocks             %8.3f s\n", save);
  if (!same) std::printf("  ERRORE: letti %d blocchi\n", loaded.BlockCount());
  return same ? 0 : 1;
}
