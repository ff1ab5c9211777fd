#include "html/generation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "db/connection.h"
#include "html/block_render.h"
#include "html/page_frame.h"
#include "support/test_support.h"

namespace panorello {
namespace {

using testing::LogMessages;
using testing::ReadBytes;
using testing::TestContext;
using Texts = std::vector<std::string>;

Block MakeBlock(const std::string& title, int32_t order, const std::string& dashboard = "",
                bool active = true, const std::string& sql = "SELECT 1 AS n") {
  Block b;
  b.Title = title;
  b.SortOrder = order;
  b.Dashboard = dashboard;
  b.Active = active;
  b.Sql = sql;
  b.RenderMode = "AUTO";
  return b;
}

Texts Titles(const BlockList& list) {
  Texts out;
  for (const Block& b : list.Blocks()) out.push_back(b.Title);
  return out;
}

struct SqliteContext : TestContext {
  SqliteContext() {
    const std::string path = folder.File("dati.db");
    CreateSqliteDatabase(path, ctx->limits)->Execute("CREATE TABLE t (n INTEGER)");
    ctx->settings.DbType = "ACCESS";
    ctx->settings.Database = path;
    ctx->settings.ConnectionString.clear();
    ctx->settings.OutputFile = folder.File("out/page.html");
  }
  // Appends a block and keeps the sort orders of the test (adding tidies non-positive ones).
  void Add(const Block& b) {
    Block copy = b;
    ctx->blocks.SaveBlock(-1, copy);
    orders.push_back(b.SortOrder);
    for (size_t i = 0; i < orders.size(); ++i) ctx->blocks.At(static_cast<int32_t>(i)).SortOrder = orders[i];
  }
  // A context with the same settings, blocks and clock but another reporter.
  AppContext With(Reporter& other) {
    return AppContext{ctx->app_folder, ctx->settings, ctx->blocks, clock, other, browser,
                      RegionalSettings{}, ConnectionLimits{}};
  }
  std::vector<int32_t> orders;
};

TEST(SortBlocks, ExchangeSortWithItsInstability) {
  const std::pair<std::vector<std::pair<std::string, int32_t>>, Texts> cases[] = {
      {{{"A", 2}, {"B", 2}, {"C", 1}}, {"C", "B", "A"}},
      {{{"A", 1}, {"B", 2}, {"C", 3}}, {"A", "B", "C"}},
      {{{"A", 0}, {"B", -1}, {"C", 5}, {"D", -3}}, {"D", "B", "A", "C"}},
      {{{"A", 7}}, {"A"}},
      {{}, {}},
  };
  for (const auto& [in, out] : cases) {
    SqliteContext t;
    for (const auto& [title, order] : in) t.Add(MakeBlock(title, order));
    SortBlocks(t->blocks);
    EXPECT_EQ(Titles(t->blocks), out);
  }
}

TEST(BuildDashboardHtml, SelectionAndOrder) {
  SqliteContext t;
  t.Add(MakeBlock("spento", 0, "DEMO", false));
  EXPECT_EQ(BuildDashboardHtml(*t, ""),  // no selected block: the frame alone
            BuildPageHead(t->settings) + BuildPageHeader(*t, "") + BuildPageFooter(*t));
  t.Add(MakeBlock("maiuscolo", 5, "DEMO"));
  t.Add(MakeBlock("misto", 4, "Demo"));
  t.Add(MakeBlock("spazi", 3, "demo  "));
  t.Add(MakeBlock("altro", 2, "DEMO2"));
  t.Add(MakeBlock("tutte", 1, ""));
  const std::pair<std::string, Texts> cases[] = {
      {" demo ", {"tutte", "spazi", "misto", "maiuscolo"}},
      {"", {"tutte", "altro", "spazi", "misto", "maiuscolo"}},
      {"   ", {"tutte", "altro", "spazi", "misto", "maiuscolo"}},
      {"demo2", {"tutte", "altro"}},
      {"Nessuna", {"tutte"}},
  };
  for (const auto& [name, shown] : cases) {
    const std::string page = BuildDashboardHtml(*t, name);
    std::string blocks;
    for (const std::string& title : shown) {
      for (const Block& b : t->blocks.Blocks()) {
        if (b.Title == title) blocks += RenderBlock(*t, b);
      }
    }
    EXPECT_EQ(page, BuildPageHead(t->settings) + BuildPageHeader(*t, name) + blocks + BuildPageFooter(*t))
        << name;
  }
  EXPECT_EQ(Titles(t->blocks), (Texts{"spento", "tutte", "altro", "spazi", "misto", "maiuscolo"}));
}

TEST(RunDashboardGeneration, LogLinesResultAndMessages) {
  const struct {
    const char* name;
    std::string output;  // in the test folder; blanks alone: the default page beside the program
    bool open, silent, browser_fails;
    std::string error;  // "" success, "*" the system's description
  } cases[] = {
      {"written", "out/page.html", false, true, false, ""},
      {"written and opened", "out/page.html", true, false, false, ""},
      {"blank output file", "   ", false, true, false, ""},
      {"unwritable, silent", "file/sotto/page.html", true, true, false, "*"},
      {"unwritable, shown", "file/sotto/page.html", true, false, false, "*"},
      {"browser fails after writing", "out/page.html", true, false, true, "browser failure"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SqliteContext t;
    t.Add(MakeBlock("uno", 2, "", true, "SELECT n FROM t"));
    t.Add(MakeBlock("due", 1, "", true, "SELECT 'a' AS m, 1 AS v UNION ALL SELECT 'b', 2"));
    t.Add(MakeBlock("rotto", 3, "", true, "SELECT * FROM manca"));
    testing::WriteBytes(t.folder.File("file"), "x");
    const bool blank = c.output == "   ", unwritable = c.error == "*";
    t->settings.OutputFile = blank ? c.output : t.folder.File(c.output);
    t.browser.fail = c.browser_fails;
    const bool ok = RunDashboardGeneration(*t, c.open, c.silent, "");
    EXPECT_EQ(ok, c.error.empty());
    const std::string path = t.folder.File(blank ? "dashboard.html" : c.output);
    EXPECT_EQ(t->settings.OutputFile, path);
    const Texts log = LogMessages(t.folder.Path());
    Texts expected = {"Inizio RunDashboardGeneration", "Scrittura file " + path};
    if (c.open && !unwritable) expected.push_back("Apertura browser " + path);
    std::string error = c.error;
    if (unwritable && !log.empty()) error = log.back().substr(std::min<size_t>(31, log.back().size()));
    EXPECT_FALSE(!ok && error.empty()) << "no description";
    expected.push_back(ok ? "Fine RunDashboardGeneration OK" : "Errore RunDashboardGeneration: " + error);
    EXPECT_EQ(log, expected);
    EXPECT_EQ(t.browser.opened, ok && c.open ? Texts{path} : Texts{});
    EXPECT_EQ(Titles(t->blocks), (Texts{"due", "uno", "rotto"}));  // sorted all the same
    if (!unwritable) {
      const std::string written = ReadBytes(path);
      EXPECT_EQ(written, BuildDashboardHtml(*t, ""));
      EXPECT_NE(written.find("Errore query: "), std::string::npos);  // a failing block is no failure
    }
    ASSERT_EQ(t.reporter.messages.size(), ok || c.silent ? 0u : 1u);
    if (!t.reporter.messages.empty()) {
      EXPECT_EQ(t.reporter.messages[0].icon, MessageIcon::Warning);
      EXPECT_EQ(t.reporter.messages[0].title, kAppTitle);
      EXPECT_EQ(t.reporter.messages[0].text, "Errore durante la generazione HTML: " + error);
    }
  }
}

// Records the progress of a run and, when told to, fails at the second block.
class ProgressReporter final : public Reporter {
 public:
  explicit ProgressReporter(bool fail) : fail_(fail) {}
  void ShowMessage(MessageIcon, const std::string&, const std::string& text) override {
    events.push_back("message " + text);
  }
  void BlockStarted(int number, int count, const std::string& title) override {
    if (fail_ && number == 2) throw Error("interrotto");
    events.push_back(std::to_string(number) + "/" + std::to_string(count) + " " + title);
  }
  void PageWritten(const std::string& path) override { events.push_back("page " + path); }
  Texts events;

 private:
  bool fail_;
};

TEST(RunDashboardGeneration, ProgressAndAFailureHalfWayThatKeepsTheLastGoodPage) {
  SqliteContext t;
  t.Add(MakeBlock("secondo", 2, "X"));
  t.Add(MakeBlock("escluso", 1, "Y"));
  t.Add(MakeBlock("primo", 0, ""));
  const std::string path = t->settings.OutputFile;
  ProgressReporter progress(false);
  AppContext ctx = t.With(progress);
  ASSERT_TRUE(RunDashboardGeneration(ctx, false, true, "x"));
  EXPECT_EQ(progress.events, (Texts{"1/2 primo", "2/2 secondo", "page " + path}));
  const std::string good = ReadBytes(path);

  ProgressReporter failing(true);
  AppContext failing_ctx = t.With(failing);
  EXPECT_FALSE(RunDashboardGeneration(failing_ctx, false, false, "x"));
  EXPECT_EQ(failing.events, (Texts{"1/2 primo", "message Errore durante la generazione HTML: interrotto"}));
  EXPECT_EQ(ReadBytes(path), good);
  size_t files = 0;
  for ([[maybe_unused]] const auto& f : std::filesystem::directory_iterator(t.folder.File("out"))) ++files;
  EXPECT_EQ(files, 1u);  // no temporary file left behind
  const Texts log = LogMessages(t.folder.Path());
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[4], "Scrittura file " + path);
  EXPECT_EQ(log[5], "Errore RunDashboardGeneration: interrotto");
}

}  // namespace
}  // namespace panorello
