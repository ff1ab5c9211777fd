#include "demo/demo_run.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
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

// The DOM of a page as headless Chromium parses it.
std::string DumpedDom(const std::string& page_path) {
  testing::TempFolder work;
  const std::string command =
      "timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
      "--disable-background-networking --disable-component-update --disable-sync "
      "--user-data-dir='" +
      work.File("profile") + "' --dump-dom 'file://" + page_path + "' > '" + work.File("dom.html") +
      "' 2> '" + work.File("chromium.err") + "'";
  const int status = std::system(command.c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "chromium failed: " << ReadBytes(work.File("chromium.err"));
  return ReadBytes(work.File("dom.html"));
}

// Every demo block is active on the DEMO dashboard, every render mode is used, and every query
// gives rows on a fresh sample; a browser parses the page whole, every chart included.
TEST(RunDemo, CreatesGeneratesAndOpensTheDemoPage) {
  ASSERT_EQ(std::system("command -v chromium > /dev/null"), 0)
      << "chromium is installed by scripts/install-deps.sh";
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
  std::set<std::string> modes;
  for (const Block& b : t->blocks.Blocks()) {
    EXPECT_TRUE(b.Active && b.Dashboard == "DEMO" && !b.Title.empty()) << b.Title;
    modes.insert(b.RenderMode);
  }
  EXPECT_EQ(modes, (std::set<std::string>{"AUTO", "CHART", "CHARTTABLE", "KPI", "TABLE"}));
  const std::string page = ReadBytes(page_path);
  EXPECT_NE(page.find("Dashboard: DEMO &nbsp;"), std::string::npos);
  const size_t svg_count = CountOf(page, "<svg ");
  EXPECT_GE(svg_count, 3u);
  EXPECT_GE(CountOf(page, "<polyline "), svg_count);
  const std::string dom = DumpedDom(page_path);
  EXPECT_EQ(CountOf(dom, "<div class=\"block\">"), static_cast<size_t>(t->blocks.BlockCount()));
  EXPECT_EQ(CountOf(dom, "class=\"error\""), 0u);
  EXPECT_EQ(CountOf(dom, "<div class=\"nodata\">"), 0u);
  EXPECT_GE(CountOf(dom, "<div class=\"kpicard kpi-"), 8u);
  // Every chart survives parsing whole: its polylines and closing tag stay inside it.
  EXPECT_EQ(CountOf(dom, "<svg "), svg_count);
  EXPECT_EQ(CountOf(dom, "</svg>"), svg_count);
  EXPECT_EQ(CountOf(dom, "<polyline "), CountOf(page, "<polyline "));
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
