#include "demo/demo_run.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>

#include "db/connection.h"
#include "demo/demo_db.h"
#include "storage/blocks_file.h"
#include "support/test_support.h"

namespace panorello {
namespace {

using testing::CountOf;
using testing::DemoBlocksSource;
using testing::LogMessages;
using testing::ReadBytes;
using testing::TestContext;
using testing::WriteBytes;

TEST(ApplyDemoSettings, TenFieldsChangeTheOthersStay) {
  TestContext t;
  t->settings = Settings{"ORACLE", "srv",      "db", "u", "p",   true,
                         "DSN=x",  "out.html", "T",  42,  false, "my.log"};
  ApplyDemoSettings(*t);
  const Settings expected{"ACCESS",
                          "",
                          t.folder.File("demo_panorello.mdb"),
                          "",
                          "",
                          false,
                          "",
                          t.folder.File("dashboard_demo.html"),
                          "Panorello Demo - Zavo Software",
                          42,
                          true,
                          "my.log"};
  EXPECT_EQ(t->settings, expected);
}

TEST(DemoBlocksFile, ActiveDemoBlocksOfEveryModeWhoseQueriesHaveRowsOnAFreshSample) {
  TestContext t;
  std::string error_text;
  ASSERT_TRUE(CreateDemoDatabase(*t, error_text)) << error_text;
  ApplyDemoSettings(*t);
  BlockList list;
  LoadBlocksFrom(list, DemoBlocksSource());
  ASSERT_GE(list.BlockCount(), 8);
  std::set<std::string> modes;
  for (const Block& b : list.Blocks()) {
    EXPECT_TRUE(b.Active && b.Dashboard == "DEMO" && !b.Title.empty() && !b.Subtitle.empty())
        << b.Title;
    modes.insert(b.RenderMode);
    std::optional<ResultGrid> grid;
    EXPECT_NO_THROW(grid = OpenConnection(t->settings, t->limits)->Query(b.Sql)) << b.Title;
    EXPECT_TRUE(grid.has_value()) << b.Title;
  }
  EXPECT_EQ(modes, (std::set<std::string>{"AUTO", "CHART", "CHARTTABLE", "KPI", "TABLE"}));
}

TEST(RunDemo, CreatesGeneratesAndOpensTheDemoPage) {
  TestContext t;
  WriteBytes(t.folder.File("blocks_demo.ini"), ReadBytes(DemoBlocksSource()));
  Block old;
  old.Title = "vecchio";
  t->blocks.SaveBlock(-1, old);
  int settings_calls = 0, blocks_calls = 0;
  DemoHooks hooks{[&] {
                    EXPECT_EQ(t->settings.DbType, "ACCESS");
                    ++settings_calls;
                  },
                  [&] {
                    EXPECT_GE(t->blocks.BlockCount(), 8);
                    ++blocks_calls;
                  }};
  EXPECT_EQ(RunDemo(*t, false, hooks).outcome, DemoOutcome::Succeeded);
  EXPECT_EQ(std::make_pair(settings_calls, blocks_calls), std::make_pair(1, 1));
  const std::string page_path = t.folder.File("dashboard_demo.html");
  EXPECT_EQ(t.browser.opened, std::vector<std::string>{page_path});
  const std::string page = ReadBytes(page_path);
  EXPECT_EQ(CountOf(page, "<div class=\"block\">"), static_cast<size_t>(t->blocks.BlockCount()));
  EXPECT_EQ(page.find("class=\"error\""), std::string::npos);  // every demo query runs
  EXPECT_EQ(page.find("vecchio"), std::string::npos);
  EXPECT_GE(CountOf(page, "<polyline"), 4u);
  EXPECT_NE(page.find("Dashboard: DEMO &nbsp;"), std::string::npos);
  EXPECT_TRUE(t.reporter.messages.empty());
  ASSERT_EQ(LogMessages(t.folder.Path()).size(), 6u);
  // A second run finds the sample file and does no database work.
  EXPECT_EQ(RunDemo(*t, false).outcome, DemoOutcome::Succeeded);
  const auto again = LogMessages(t.folder.Path());
  ASSERT_EQ(again.size(), 10u);
  EXPECT_EQ(again[6], "Inizio RunDashboardGeneration");
}

}  // namespace
}  // namespace panorello
