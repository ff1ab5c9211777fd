#include "demo/demo_run.h"

#include <gtest/gtest.h>

#include <set>

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
  t->settings = Settings{.DbType = "ORACLE",
                         .Server = "srv",
                         .Password = "p",
                         .Integrated = true,
                         .RefreshSeconds = 42,
                         .LogFile = "my.log"};
  ApplyDemoSettings(*t);
  const Settings expected{.DbType = "ACCESS",
                          .Database = t.folder.File("demo_panorello.mdb"),
                          .OutputFile = t.folder.File("dashboard_demo.html"),
                          .PageTitle = "Panorello Demo - Zavo Software",
                          .RefreshSeconds = 42,
                          .OpenBrowser = true,
                          .LogFile = "my.log"};
  EXPECT_EQ(t->settings, expected);
}

// Every demo block is active on the DEMO dashboard, every render mode is shown, and every query
// gives rows on a fresh sample (the page holds no error box).
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
  std::set<std::string> modes;
  for (const Block& b : t->blocks.Blocks()) {
    EXPECT_TRUE(b.Active && b.Dashboard == "DEMO" && !b.Title.empty()) << b.Title;
    modes.insert(b.RenderMode);
  }
  EXPECT_EQ(modes, (std::set<std::string>{"AUTO", "CHART", "CHARTTABLE", "KPI", "TABLE"}));
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
