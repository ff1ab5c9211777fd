// Blocks run side by side: the page, the log and the progress of a run are those of a run with
// one worker; bodies that finish early wait for their turn (in a spill file
// when large); a cancelled run keeps the old page and shows no message.
#include "html/block_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "html/generation.h"
#include "html/grid_builder.h"
#include "support/test_support.h"

namespace panorello {
namespace {

using testing::LogMessages;
using testing::ReadBytes;
using Texts = std::vector<std::string>;

// A block that keeps SQLite busy for a while (a counting CTE), so that the blocks below it finish
// first when workers run side by side.
constexpr const char* kSlow =
    "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 600000) "
    "SELECT count(*) AS righe, max(x) AS ultimo FROM c";
// About 2 MB of table: more than the spill size.
constexpr const char* kLargeTable = "SELECT n, testo FROM molte";
// Fails after 20000 rows (more than a chunk of the page file) were written: SQLite's integer
// overflow. With one worker its rows are taken back from the page file, with more from memory.
constexpr const char* kFailsLate =
    "SELECT n, CASE WHEN n > 20000 THEN abs(-9223372036854775808) ELSE n END AS v FROM molte";

struct MixedDashboard : testing::SqliteContext {
  MixedDashboard()
      : testing::SqliteContext(
            {"CREATE TABLE molte AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
             "WHERE i < 30000) "
             "SELECT i AS n, 'riga ' || i || ' & <' || hex(i * 7919) || '>' AS testo FROM n",
             "CREATE TABLE mesi (mese TEXT, vendite INTEGER, costi REAL)",
             "INSERT INTO mesi VALUES ('Gen', 10, 4.5), ('Feb', 14, 6.25), ('Mar', 9, 3)"}) {
    const std::pair<const char*, const char*> blocks[] = {
        {kSlow, "KPI"},
        {kLargeTable, "TABLE"},  // finishes before the block above it
        {"SELECT mese, vendite, costi FROM mesi", "AUTO"},
        {"SELECT nulla FROM tabella_che_manca", "TABLE"},  // fails at once
        {"SELECT n FROM molte WHERE n < 0", "AUTO"},       // empty result
        {kFailsLate, "TABLE"},
        {"SELECT mese, vendite FROM mesi", "CHART"},
        {kSlow, "AUTO"},
    };
    // Stored last block first: the run's sort puts them in the order above.
    for (int i = static_cast<int>(std::size(blocks)) - 1; i >= 0; --i) {
      Block& b = Add("Blocco " + std::to_string(i + 1), blocks[i].first, blocks[i].second);
      b.SortOrder = i + 1;
      b.Subtitle = blocks[i].second;
    }
    ctx->settings.OutputFile = "  ";  // the run fills in the default path
  }
};

// Records the progress calls with the thread that made them; raises cancel (when given) as the
// page reaches the third block, as the window does when it is closed during a run.
struct ThreadReporter final : Reporter {
  void ShowMessage(MessageIcon, const std::string&, const std::string& text) override {
    events.push_back(text);
  }
  void BlockStarted(int number, int count, const std::string& title) override {
    events.push_back(std::to_string(number) + "/" + std::to_string(count) + " " + title);
    if (std::this_thread::get_id() != caller) events.push_back("altro thread");
    if (cancel != nullptr && number == 3) *cancel = true;
  }
  std::thread::id caller = std::this_thread::get_id();
  std::atomic<bool>* cancel = nullptr;
  Texts events;
};

struct RunResult {
  bool ok = false;
  std::string page;
  Texts log;
  Texts events;
  Texts left_over;  // files beside the page and the log (spill files have no name)
};

// One run of the dashboard with the given number of workers; the dashboard, its folder and its
// settings are the same for every run (the log starts afresh).
RunResult RunWith(MixedDashboard& t, int jobs, std::atomic<bool>* cancel = nullptr) {
  std::filesystem::remove(t.folder.File("panorello.log"));
  ThreadReporter reporter;
  reporter.cancel = cancel;
  AppContext ctx{.app_folder = t->app_folder,
                 .settings = t->settings,
                 .blocks = t->blocks,
                 .clock = t.clock,
                 .reporter = reporter,
                 .browser = t.browser,
                 .run = RunControl{.jobs = jobs, .cancel = cancel}};
  RunResult r;
  GenerationOutcome run;
  r.ok = RunDashboardGeneration(ctx, false, false, "", run);
  r.page = ReadBytes(ctx.settings.OutputFile);
  r.log = LogMessages(t.folder.Path());
  r.events = reporter.events;
  for (const auto& entry : std::filesystem::directory_iterator(t.folder.Path())) {
    const std::string name = entry.path().filename().string();
    if (name != "dashboard.html" && name != "panorello.log" && name != "dati.db") {
      r.left_over.push_back(name);
    }
  }
  return r;
}

TEST(BlockPool, FourWorkersGiveThePageLogAndProgressOfOne) {
  MixedDashboard t;
  const RunResult one = RunWith(t, 1);
  const RunResult four = RunWith(t, 4);
  ASSERT_TRUE(one.ok);
  EXPECT_TRUE(four.ok);
  EXPECT_GT(one.page.size(), size_t{2} << 20);  // the large table passes the spill size
  EXPECT_TRUE(four.page == one.page) << "le pagine differiscono";
  EXPECT_EQ(four.log, one.log);
  EXPECT_EQ(four.events, one.events);
  EXPECT_EQ(one.events.size(), 8u);
  EXPECT_EQ(four.left_over, Texts{});
}

TEST(BlockPool, BodiesSpilledToFilesGiveTheSamePage) {
  MixedDashboard t;
  SortBlocks(t->blocks);
  const std::vector<Block> blocks = t->blocks.Blocks();
  const BlockQueryEnv env = BlockQueryEnv::Of(*t);
  PageOut expected;
  RenderBlocksInOrder(env, blocks, BlockPoolOptions{}, expected, [](size_t) {});
  const BlockPoolOptions options{.jobs = 3, .spill_folder = t.folder.Path(), .spill_bytes = 1};
  PageOut out;
  RenderBlocksInOrder(env, blocks, options, out, [](size_t) {});
  EXPECT_TRUE(out.TakeText() == expected.TakeText());
}

TEST(BlockPool, ACancelledRunFailsKeepsTheOldPageAndShowsNoMessage) {
  for (int jobs : {1, 4}) {
    MixedDashboard t;
    testing::WriteBytes(t.folder.File("dashboard.html"), "vecchia pagina");
    std::atomic<bool> cancel{false};
    const RunResult r = RunWith(t, jobs, &cancel);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.page, "vecchia pagina");
    EXPECT_EQ(r.log.back(), std::string("Errore RunDashboardGeneration: ") + kRunCancelledText);
    EXPECT_EQ(r.events, (Texts{"1/8 Blocco 1", "2/8 Blocco 2", "3/8 Blocco 3"}));
  }
}

}  // namespace
}  // namespace panorello
