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

TEST(DemoInChromium, RenderedPageHasEveryBlockAndItsCharts) {
  ASSERT_EQ(std::system("command -v chromium > /dev/null"), 0)
      << "chromium is installed by scripts/install-deps.sh";
  testing::TestContext t;
  testing::WriteBytes(t.folder.File("blocks_demo.ini"), ReadBytes(testing::DemoBlocksSource()));
  ASSERT_EQ(RunDemo(*t, true).outcome, DemoOutcome::Succeeded);
  const std::string page_path = t.folder.File("dashboard_demo.html");
  const std::string page = ReadBytes(page_path);
  const size_t svg_count = CountOf(page, "<svg ");
  const size_t polylines = CountOf(page, "<polyline ");
  ASSERT_GE(svg_count, 3u);
  ASSERT_GE(polylines, svg_count);

  testing::TempFolder work;
  const std::string command =
      "timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
      "--disable-background-networking --disable-component-update --disable-sync "
      "--user-data-dir='" +
      work.File("profile") + "' --dump-dom 'file://" + page_path + "' > '" + work.File("dom.html") +
      "' 2> '" + work.File("chromium.err") + "'";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "chromium failed: " << ReadBytes(work.File("chromium.err"));
  const std::string dom = ReadBytes(work.File("dom.html"));
  EXPECT_NE(dom.find("<title>Panorello Demo - Zavo Software</title>"), std::string::npos);
  EXPECT_EQ(CountOf(dom, "<div class=\"block\">"), static_cast<size_t>(t->blocks.BlockCount()));
  EXPECT_EQ(CountOf(dom, "class=\"error\""), 0u);
  EXPECT_EQ(CountOf(dom, "<div class=\"nodata\">"), 0u);
  // Every chart survives parsing whole: its polylines and closing tag stay inside it.
  EXPECT_EQ(CountOf(dom, "<svg "), svg_count);
  EXPECT_EQ(CountOf(dom, "</svg>"), svg_count);
  EXPECT_EQ(CountOf(dom, "<polyline "), polylines);
  EXPECT_GE(CountOf(dom, "<div class=\"kpicard kpi-"), 8u);
  EXPECT_NE(dom.find("<div class=\"footer\">Generato da Panorello Dashboard V2.1 - "),
            std::string::npos);
}

}  // namespace
}  // namespace panorello
