// The demonstration page as a real browser sees it: headless Chromium parses it and dumps the DOM.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>

#include "demo/demo_run.h"
#include "support/test_support.h"

namespace panorello {
namespace {

using testing::CountOf;
using testing::ReadBytes;
using testing::TempFolder;
using testing::TestContext;
using testing::WriteBytes;

// The DOM that headless Chromium builds from a local file.
std::string DumpDom(const std::string& html_path, const TempFolder& work) {
  const std::string profile = work.File("chromium-profile");
  const std::string dom = work.File("dom.html");
  const std::string command =
      "timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
      "--disable-background-networking --disable-component-update --disable-sync "
      "--user-data-dir='" + profile + "' --dump-dom 'file://" + html_path + "' > '" + dom +
      "' 2> '" + work.File("chromium.err") + "'";
  const int status = std::system(command.c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "chromium failed: " << ReadBytes(work.File("chromium.err"));
  return ReadBytes(dom);
}

TEST(DemoInChromium, RenderedPageHasEveryBlockAndItsCharts) {
  ASSERT_EQ(std::system("command -v chromium > /dev/null"), 0)
      << "chromium is installed by scripts/install-deps.sh";
  TestContext t;
  WriteBytes(t.folder.File("blocks_demo.ini"), ReadBytes(testing::DemoBlocksSource()));
  ASSERT_EQ(RunDemo(*t, true).outcome, DemoOutcome::Succeeded);
  const std::string page = ReadBytes(t.folder.File("dashboard_demo.html"));
  const size_t svg_count = CountOf(page, "<svg ");
  const size_t polylines = CountOf(page, "<polyline ");
  ASSERT_GE(svg_count, 3u);

  TempFolder work;
  const std::string dom = DumpDom(t.folder.File("dashboard_demo.html"), work);
  ASSERT_FALSE(dom.empty());
  EXPECT_NE(dom.find("<title>Panorello Demo - Zavo Software</title>"), std::string::npos);
  EXPECT_EQ(CountOf(dom, "<div class=\"block\">"), static_cast<size_t>(t->blocks.BlockCount()));
  EXPECT_EQ(CountOf(dom, "class=\"error\""), 0u);
  EXPECT_EQ(CountOf(dom, "<div class=\"nodata\">"), 0u);
  // Every chart survives parsing whole: its polylines, labels and closing tag stay inside it.
  EXPECT_EQ(CountOf(dom, "<svg "), svg_count);
  EXPECT_EQ(CountOf(dom, "</svg>"), svg_count);
  EXPECT_EQ(CountOf(dom, "<polyline "), polylines);
  EXPECT_EQ(CountOf(dom, "<br>"), 0u);
  EXPECT_GE(CountOf(dom, "<div class=\"kpicard kpi-"), 8u);
  EXPECT_NE(dom.find("<div class=\"footer\">Generato da Panorello Dashboard V2.1 - "), std::string::npos);
}

TEST(DemoInChromium, LabelLineBreaksStayInsideTheSvg) {
  ASSERT_EQ(std::system("command -v chromium > /dev/null"), 0);
  TestContext t;
  Block b;
  b.Title = "Etichette";
  b.Dashboard = "DEMO";
  b.RenderMode = "CHART";
  b.Sql = "SELECT 'riga uno' || char(13, 10) || 'riga due' AS m, 1 AS v "
          "UNION ALL SELECT 'b', 2 UNION ALL SELECT 'c', 3";
  t->blocks.SaveBlock(-1, b);
  ASSERT_EQ(RunDemo(*t, true).outcome, DemoOutcome::Succeeded);
  TempFolder work;
  const std::string dom = DumpDom(t.folder.File("dashboard_demo.html"), work);
  EXPECT_EQ(CountOf(dom, "</svg>"), 1u);
  EXPECT_EQ(CountOf(dom, "<text "), 3u);
  EXPECT_GT(dom.find("</svg>"), dom.rfind("<text "));  // no label fell out of the chart
  EXPECT_NE(dom.find(">riga uno riga due</text>"), std::string::npos);
  EXPECT_NE(dom.find("<div class=\"chartlegend\">"), std::string::npos);
}

}  // namespace
}  // namespace panorello
