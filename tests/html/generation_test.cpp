#include "html/generation.h"

#include <gtest/gtest.h>

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
using testing::WriteBytes;

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

std::vector<std::string> Titles(const BlockList& list) {
  std::vector<std::string> out;
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
    ctx->settings.PageTitle = "Prova";
  }
  // Appends a block and keeps the sort orders of the test (adding tidies non-positive ones).
  void Add(const Block& b) {
    Block copy = b;
    ctx->blocks.SaveBlock(-1, copy);
    orders.push_back(b.SortOrder);
    for (size_t i = 0; i < orders.size(); ++i) ctx->blocks.At(static_cast<int32_t>(i)).SortOrder = orders[i];
  }
  std::vector<int32_t> orders;
};

TEST(SortBlocks, ExchangeSortWithItsInstability) {
  struct Case {
    std::vector<std::pair<std::string, int32_t>> in;
    std::vector<std::string> out;
  } cases[] = {
      {{{"A", 2}, {"B", 2}, {"C", 1}}, {"C", "B", "A"}},
      {{{"A", 1}, {"B", 2}, {"C", 3}}, {"A", "B", "C"}},
      {{{"A", 0}, {"B", -1}, {"C", 5}, {"D", -3}}, {"D", "B", "A", "C"}},
      {{{"A", 7}}, {"A"}},
      {{}, {}},
  };
  for (const Case& c : cases) {
    SqliteContext t;
    for (const auto& [title, order] : c.in) t.Add(MakeBlock(title, order));
    SortBlocks(t->blocks);
    EXPECT_EQ(Titles(t->blocks), c.out);
  }
}

TEST(BuildDashboardHtml, NoSelectedBlockIsFrameOnly) {
  SqliteContext t;
  t.Add(MakeBlock("spento", 1, "", false));
  t->settings.RefreshSeconds = 30;
  const std::string page = BuildDashboardHtml(*t, "");
  EXPECT_EQ(page, BuildPageHead(t->settings) + BuildPageHeader(*t, "") + BuildPageFooter(*t));
}

TEST(BuildDashboardHtml, SelectionAndOrder) {
  SqliteContext t;
  t.Add(MakeBlock("maiuscolo", 5, "DEMO"));
  t.Add(MakeBlock("misto", 4, "Demo"));
  t.Add(MakeBlock("spazi", 3, "demo  "));
  t.Add(MakeBlock("altro", 2, "DEMO2"));
  t.Add(MakeBlock("tutte", 1, ""));
  t.Add(MakeBlock("inattivo", 0, "DEMO", false));
  struct Case {
    std::string name;
    std::vector<std::string> shown;
  } cases[] = {
      {" demo ", {"tutte", "spazi", "misto", "maiuscolo"}},
      {"", {"tutte", "altro", "spazi", "misto", "maiuscolo"}},
      {"   ", {"tutte", "altro", "spazi", "misto", "maiuscolo"}},
      {"demo2", {"tutte", "altro"}},
      {"Nessuna", {"tutte"}},
  };
  for (const Case& c : cases) {
    const std::string page = BuildDashboardHtml(*t, c.name);
    std::string expected_blocks;
    for (const std::string& title : c.shown) {
      for (const Block& b : t->blocks.Blocks()) {
        if (b.Title == title) expected_blocks += RenderBlock(*t, b);
      }
    }
    EXPECT_EQ(page, BuildPageHead(t->settings) + BuildPageHeader(*t, c.name) + expected_blocks +
                        BuildPageFooter(*t))
        << c.name;
    EXPECT_EQ(page.find('\n'), std::string::npos);
  }
  EXPECT_EQ(Titles(t->blocks),
            (std::vector<std::string>{"inattivo", "tutte", "altro", "spazi", "misto", "maiuscolo"}));
}

TEST(RunDashboardGeneration, WritesTheSamePageAndLogsThreeLines) {
  SqliteContext t;
  t.Add(MakeBlock("uno", 2, "", true, "SELECT n FROM t"));
  t.Add(MakeBlock("due", 1, "", true, "SELECT 'a' AS m, 1 AS v UNION ALL SELECT 'b', 2"));
  t.Add(MakeBlock("rotto", 3, "", true, "SELECT * FROM manca"));
  ASSERT_TRUE(RunDashboardGeneration(*t, false, true, ""));
  const std::string path = t->settings.OutputFile;
  EXPECT_EQ(LogMessages(t.folder.Path()),
            (std::vector<std::string>{"Inizio RunDashboardGeneration", "Scrittura file " + path,
                                      "Fine RunDashboardGeneration OK"}));
  const std::string written = ReadBytes(path);
  EXPECT_EQ(written, BuildDashboardHtml(*t, ""));
  EXPECT_NE(written.find("Errore query: "), std::string::npos);  // a failing block is no failure
  EXPECT_LT(written.find(">due<"), written.find(">uno<"));
  EXPECT_TRUE(t.browser.opened.empty());
  EXPECT_TRUE(t.reporter.messages.empty());
}

TEST(RunDashboardGeneration, OpensTheBrowserAfterItsLogLine) {
  SqliteContext t;
  ASSERT_TRUE(RunDashboardGeneration(*t, true, false, "x"));
  const std::string path = t->settings.OutputFile;
  EXPECT_EQ(LogMessages(t.folder.Path()),
            (std::vector<std::string>{"Inizio RunDashboardGeneration", "Scrittura file " + path,
                                      "Apertura browser " + path, "Fine RunDashboardGeneration OK"}));
  EXPECT_EQ(t.browser.opened, std::vector<std::string>{path});
}

TEST(RunDashboardGeneration, BlankOutputFileBecomesTheDefaultPath) {
  SqliteContext t;
  t->settings.OutputFile = "   ";
  ASSERT_TRUE(RunDashboardGeneration(*t, false, true, ""));
  const std::string expected = t.folder.File("dashboard.html");
  EXPECT_EQ(t->settings.OutputFile, expected);
  EXPECT_FALSE(ReadBytes(expected).empty());
  EXPECT_EQ(LogMessages(t.folder.Path())[1], "Scrittura file " + expected);
}

TEST(RunDashboardGeneration, UnwritableOutputFailsAndReportsUnlessSilent) {
  for (bool silent : {true, false}) {
    SqliteContext t;
    t.Add(MakeBlock("B", 2));
    t.Add(MakeBlock("A", 1));
    WriteBytes(t.folder.File("file"), "x");
    t->settings.OutputFile = t.folder.File("file/sotto/page.html");
    EXPECT_FALSE(RunDashboardGeneration(*t, true, silent, ""));
    const auto log = LogMessages(t.folder.Path());
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0], "Inizio RunDashboardGeneration");
    EXPECT_EQ(log[1], "Scrittura file " + t->settings.OutputFile);
    ASSERT_EQ(log[2].rfind("Errore RunDashboardGeneration: ", 0), 0u);
    const std::string description = log[2].substr(31);
    EXPECT_FALSE(description.empty());
    EXPECT_TRUE(t.browser.opened.empty());
    EXPECT_EQ(Titles(t->blocks), (std::vector<std::string>{"A", "B"}));  // sorted all the same
    if (silent) {
      EXPECT_TRUE(t.reporter.messages.empty());
    } else {
      ASSERT_EQ(t.reporter.messages.size(), 1u);
      EXPECT_EQ(t.reporter.messages[0].icon, MessageIcon::Warning);
      EXPECT_EQ(t.reporter.messages[0].title, kAppTitle);
      EXPECT_EQ(t.reporter.messages[0].text, "Errore durante la generazione HTML: " + description);
    }
  }
}

TEST(RunDashboardGeneration, FailingBrowserAfterThePageWasWritten) {
  SqliteContext t;
  t.browser.fail = true;
  EXPECT_FALSE(RunDashboardGeneration(*t, true, false, ""));
  const std::string path = t->settings.OutputFile;
  EXPECT_FALSE(ReadBytes(path).empty());
  EXPECT_EQ(LogMessages(t.folder.Path()),
            (std::vector<std::string>{"Inizio RunDashboardGeneration", "Scrittura file " + path,
                                      "Apertura browser " + path,
                                      "Errore RunDashboardGeneration: browser failure"}));
  ASSERT_EQ(t.reporter.messages.size(), 1u);
  EXPECT_EQ(t.reporter.messages[0].text, "Errore durante la generazione HTML: browser failure");
}

class ProgressReporter final : public Reporter {
 public:
  void ShowMessage(MessageIcon, const std::string&, const std::string&) override {}
  void BlockStarted(int number, int count, const std::string& title) override {
    events.push_back(std::to_string(number) + "/" + std::to_string(count) + " " + title);
  }
  void PageWritten(const std::string& path) override { events.push_back("page " + path); }
  std::vector<std::string> events;
};

TEST(RunDashboardGeneration, ReportsProgressOfTheSelectedBlocks) {
  SqliteContext t;
  t.Add(MakeBlock("secondo", 2, "X"));
  t.Add(MakeBlock("escluso", 1, "Y"));
  t.Add(MakeBlock("primo", 0, ""));
  ProgressReporter progress;
  AppContext ctx{t->app_folder, t->settings, t->blocks, t.clock, progress, t.browser,
                 RegionalSettings{}, ConnectionLimits{}};
  ASSERT_TRUE(RunDashboardGeneration(ctx, false, true, "x"));
  EXPECT_EQ(progress.events, (std::vector<std::string>{"1/2 primo", "2/2 secondo",
                                                       "page " + ctx.settings.OutputFile}));
}

// Fails in the middle of a run, after the page file was opened.
class ThrowingReporter final : public Reporter {
 public:
  void ShowMessage(MessageIcon, const std::string&, const std::string& text) override {
    shown.push_back(text);
  }
  void BlockStarted(int number, int, const std::string&) override {
    if (number == 2) throw Error("interrotto");
  }
  std::vector<std::string> shown;
};

TEST(RunDashboardGeneration, FailureHalfWayLeavesTheLastGoodPage) {
  SqliteContext t;
  t.Add(MakeBlock("uno", 1));
  t.Add(MakeBlock("due", 2));
  const std::string path = t->settings.OutputFile;
  ASSERT_TRUE(RunDashboardGeneration(*t, false, true, ""));
  const std::string good = ReadBytes(path);

  ThrowingReporter failing;
  AppContext ctx{t->app_folder, t->settings, t->blocks, t.clock, failing, t.browser,
                 RegionalSettings{}, ConnectionLimits{}};
  EXPECT_FALSE(RunDashboardGeneration(ctx, false, false, ""));
  EXPECT_EQ(ReadBytes(path), good);
  EXPECT_EQ(failing.shown, std::vector<std::string>{"Errore durante la generazione HTML: interrotto"});
  size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(t.folder.File("out"))) ++files;
  EXPECT_EQ(files, 1u);  // no temporary file left behind
  const auto log = LogMessages(t.folder.Path());
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[4], "Scrittura file " + path);
  EXPECT_EQ(log[5], "Errore RunDashboardGeneration: interrotto");
}

}  // namespace
}  // namespace panorello
