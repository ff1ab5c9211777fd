#include "html/chart.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

#include "html/grid_builder.h"
#include "html/series_colors.h"
#include "support/test_support.h"
#include "util/error.h"

namespace panorello {
namespace {

using testing::MakeGrid;
using testing::Null;
using testing::SeriesGrid;

// The points attribute of the first polyline.
std::string Points(const std::string& svg) {
  const size_t start = svg.find("points=\"", svg.find("<polyline")) + 8;
  return svg.substr(start, svg.find('"', start) - start);
}

TEST(SvgNumber, FifteenSignificantDigitsPlainDecimal) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {.value = -0.0, .text = "0"},
      {.value = 0.1 + 0.2, .text = "0.3"},
      {.value = 0.000125, .text = "0.000125"},
      {.value = 2.0 / 3, .text = "0.666666666666667"},
      {.value = 123456789012345678.0, .text = "123456789012346000"},
      {.value = 1e20, .text = "100000000000000000000"},
      {.value = 1e300, .text = "1e+300"},
      {.value = -2.5e-300, .text = "-2.5e-300"},
  };
  for (const auto& c : cases) EXPECT_EQ(SvgNumber(c.value), c.text) << c.text;
}

TEST(SvgNumber, IgnoresTheProcessLocale) {
  // An Italian locale (decimal comma) built into a temporary folder: the C library's number
  // formatting follows it, the chart must not.
  testing::TempFolder folder;
  const std::string command =
      "localedef -i it_IT -f UTF-8 '" + folder.File("it_IT.UTF-8") + "' > /dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << "localedef (libc-bin) could not build it_IT";
  ResultGrid grid = SeriesGrid({{10.0, 20.0, 40.0, 1.0 / 3}});
  const std::string in_c = BuildChartSvg(grid, RegionalSettings{});
  setenv("LOCPATH", folder.Path().c_str(), 1);
  ASSERT_NE(std::setlocale(LC_ALL, "it_IT.UTF-8"), nullptr);
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 2.5);
  const std::string italian_probe = probe;
  const std::string in_italian = BuildChartSvg(grid, RegionalSettings{});
  std::setlocale(LC_ALL, "C");
  unsetenv("LOCPATH");
  EXPECT_EQ(italian_probe, "2,5");  // the locale really was in force
  EXPECT_EQ(in_italian, in_c);
}

// The chart box of three rows as it has always been drawn, byte for byte.
constexpr const char* kThreeRowChart =
    "<div class=\"chartbox\"><div class=\"charttitle\">Andamento storico</div>"
    "<svg class=\"chartsvg\" viewBox=\"0 0 1200 320\" xmlns=\"http://www.w3.org/2000/svg\">"
    "<rect x=\"0\" y=\"0\" width=\"1200\" height=\"320\" fill=\"#ffffff\"/>"
    "<line x1=\"55\" y1=\"20\" x2=\"55\" y2=\"280\" stroke=\"#cbd5e1\" stroke-width=\"1\"/>"
    "<line x1=\"55\" y1=\"280\" x2=\"1180\" y2=\"280\" stroke=\"#cbd5e1\" stroke-width=\"1\"/>"
    "<polyline fill=\"none\" stroke=\"#2563eb\" stroke-width=\"3\" "
    "points=\"55,215 617.5,150 1180,20\"/>"
    "<text x=\"55\" y=\"308\" font-size=\"11\" text-anchor=\"middle\" fill=\"#64748b\">Gen</text>"
    "<text x=\"617.5\" y=\"308\" font-size=\"11\" text-anchor=\"middle\" "
    "fill=\"#64748b\">Feb</text>"
    "<text x=\"1180\" y=\"308\" font-size=\"11\" text-anchor=\"middle\" "
    "fill=\"#64748b\">Mar</text>"
    "</svg><div class=\"chartlegend\"><span class=\"legenditem\"><span class=\"legendline\" "
    "style=\"background:#2563eb;\"></span>Vendite</span></div></div>";

TEST(RenderChart, SmallChartDrawnByteForByteAsBeforeWithNameAndHoverTargets) {
  const RegionalSettings rs;
  ResultGrid grid = MakeGrid(
      {"Mese", "Vendite"},
      {{std::string("Gen"), 10.0}, {std::string("Feb"), int64_t{20}}, {std::string("Mar"), 40.0}});
  const std::string name = " role=\"img\" aria-label=\"Vendite &lt;mese&gt;: Vendite\"";
  const std::string targets =
      "<g class=\"charthit\" fill=\"transparent\">"
      "<circle cx=\"55\" cy=\"215\" r=\"8\"><title>Gen - Vendite: 10</title></circle>"
      "<circle cx=\"617.5\" cy=\"150\" r=\"8\"><title>Feb - Vendite: 20</title></circle>"
      "<circle cx=\"1180\" cy=\"20\" r=\"8\"><title>Mar - Vendite: 40</title></circle></g>";
  std::string chart = RenderChart(grid, rs, "Vendite <mese>");
  // Take the two additions out: what is left is the chart as it was.
  const size_t name_at = chart.find(name);
  const size_t targets_at = chart.find(targets);
  ASSERT_NE(name_at, std::string::npos) << chart;
  ASSERT_NE(targets_at, std::string::npos) << chart;
  chart.erase(targets_at, targets.size());
  chart.erase(name_at, name.size());
  EXPECT_EQ(chart, kThreeRowChart);
  EXPECT_EQ(RenderChart(MakeGrid({"x", "y"}, {{std::string("a"), 1.0}}), rs), "");
  EXPECT_EQ(RenderChart(MakeGrid({"x"}, {{1.0}, {2.0}}), rs), "");
}

TEST(RenderChart, ChartOnlyBlockCarriesItsDataOutOfSight) {
  ResultGrid grid = MakeGrid({"Mese", "Vendite"},
                             {{std::string("Gen"), std::string("n/d")}, {std::string("Feb"), 2.5}});
  RegionalSettings italian;
  italian.decimal_separator = ',';
  const std::string chart = RenderChart(grid, italian, "", true);
  EXPECT_NE(chart.find("aria-label=\"Grafico: Vendite\""), std::string::npos);
  EXPECT_NE(chart.find("<title>Gen - Vendite: n/d</title>"), std::string::npos);
  EXPECT_NE(chart.find("<title>Feb - Vendite: 2,5</title>"), std::string::npos);
  EXPECT_NE(chart.find("</div><div class=\"srdata\"><table class=\"result\"><tr>"
                       "<th scope=\"col\">Mese</th><th scope=\"col\">Vendite</th></tr>"
                       "<tr><td>Gen</td><td>n/d</td></tr><tr><td>Feb</td><td>2,5</td></tr>"
                       "</table></div></div>"),
            std::string::npos)
      << chart;
}

// A series longer than the plot's pixel columns: every column keeps its extremes and its ends,
// and nothing else.
TEST(ChartReduction, EachPixelColumnKeepsFirstLowestHighestAndLast) {
  const struct {
    size_t rows;
  } cases[] = {{kPlotColumns}, {kPlotColumns + 1}, {2 * kPlotColumns + 7}, {100000}};
  for (const auto& c : cases) {
    std::vector<double> values(c.rows);
    for (size_t r = 0; r < c.rows; ++r) values[r] = std::sin(static_cast<double>(r) * 0.37) * 100;
    values[c.rows / 3] = 1e6;  // a spike drawn wherever it falls
    const ResultGrid grid = SeriesGrid({values});
    const std::vector<size_t> drawn = DrawnRows(grid, 1, RegionalSettings{});
    SCOPED_TRACE(c.rows);
    ASSERT_FALSE(drawn.empty());
    EXPECT_TRUE(std::is_sorted(drawn.begin(), drawn.end()));
    EXPECT_EQ(drawn.front(), 0u);
    EXPECT_EQ(drawn.back(), c.rows - 1);
    EXPECT_NE(std::find(drawn.begin(), drawn.end(), c.rows / 3), drawn.end());
    if (c.rows <= kPlotColumns) {
      EXPECT_EQ(drawn.size(), c.rows);
      continue;
    }
    EXPECT_LE(drawn.size(), 4 * kPlotColumns);
    // Per pixel column: the lowest and highest of all rows are among the drawn ones.
    std::vector<double> low(kPlotColumns, 1e300), high(kPlotColumns, -1e300);
    std::vector<double> drawn_low = low, drawn_high = high;
    size_t next = 0;
    for (size_t r = 0; r < c.rows; ++r) {
      const size_t col = std::min(r * kPlotColumns / (c.rows - 1), kPlotColumns - 1);
      low[col] = std::min(low[col], values[r]);
      high[col] = std::max(high[col], values[r]);
      if (next < drawn.size() && drawn[next] == r) {
        drawn_low[col] = std::min(drawn_low[col], values[r]);
        drawn_high[col] = std::max(drawn_high[col], values[r]);
        ++next;
      }
    }
    EXPECT_EQ(low, drawn_low);
    EXPECT_EQ(high, drawn_high);
  }
}

TEST(ChartReduction, HugeChartLabelsThinnedApartAndPageSmall) {
  constexpr size_t kRows = 200000;
  ResultGrid grid({"Quando", "Importo"});
  for (size_t r = 0; r < kRows; ++r) {
    grid.AddText("2024-" + std::to_string(100000 + r) + " WM");
    grid.AddDouble(static_cast<double>(r % 977));
  }
  const std::string chart = RenderChart(grid, RegionalSettings{}, "Grande", true);
  EXPECT_LT(chart.size(), 1500000u);
  EXPECT_NE(chart.find("<svg class=\"chartsvg chartdense\""), std::string::npos);
  const std::vector<size_t> labels = LabelRows(grid, RegionalSettings{});
  EXPECT_GT(labels.size(), 10u);
  EXPECT_EQ(testing::CountOf(chart, "<text "), labels.size());
  // Each label is 87.4 units wide in 11-unit Arial (ten digits at 0.556 em, "-", a space, W and
  // M): centres further apart than that never overlap.
  const double step = 1125.0 / (kRows - 1);
  for (size_t i = 1; i < labels.size(); ++i) {
    EXPECT_GT(static_cast<double>(labels[i] - labels[i - 1]) * step, 87.4) << i;
  }
}

TEST(ChartSvg, ScaleAndPositions) {
  using S = std::string;
  RegionalSettings italian;
  italian.decimal_separator = ',';
  const struct {
    const char* name;
    ResultGrid grid;
    RegionalSettings regional;
    std::string points;
  } cases[] = {
      {.name = "max 1 when nothing is positive",
       .grid = MakeGrid({"x", "y"}, {{S("a"), 0.0}, {S("b"), -1.0}, {S("c"), Null{}}}),
       .points = "55,280 617.5,540 1180,280"},
      {.name = "null and text at zero, not in the maximum",
       .grid = MakeGrid(
           {"x", "y"}, {{S("a"), Null{}}, {S("b"), S("n/d")}, {S("c"), S(" 20 ")}, {S("d"), 10.0}}),
       .points = "55,280 430,280 805,20 1180,150"},
      {.name = "decimal comma in the cells, a point in the coordinates",
       .grid = MakeGrid({"x", "y"}, {{S("a"), S("1,5")}, {S("b"), 3.0}, {S("c"), 6.0}}),
       .regional = italian,
       .points = "55,215 617.5,150 1180,20"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Points(BuildChartSvg(c.grid, c.regional)), c.points) << c.name;
  }
}

TEST(ChartSvg, NineSeriesReuseTheFirstColourInLinesAndLegend) {
  ResultGrid grid = SeriesGrid(std::vector<std::vector<double>>(9, {1, 2}));
  const std::string svg = BuildChartSvg(grid, RegionalSettings{});
  const std::string legend = BuildChartLegend(grid);
  for (size_t k = 0; k < kSeriesColors.size(); ++k) {
    const std::string colour(kSeriesColors[k]);
    EXPECT_EQ(testing::CountOf(svg, "stroke=\"" + colour), k == 0 ? 2u : 1u) << colour;
    EXPECT_EQ(testing::CountOf(legend, "background:" + colour + ";"), k == 0 ? 2u : 1u) << colour;
  }
  EXPECT_EQ(BuildChartLegend(MakeGrid({"Mese", "Anno <corrente>"}, {{std::string("Gen"), 1.0}})),
            "<div class=\"chartlegend\"><span class=\"legenditem\"><span class=\"legendline\" "
            "style=\"background:#2563eb;\"></span>Anno &lt;corrente&gt;</span></div>");
}

TEST(ChartLabels, EscapedNullEmptyAndLineBreaksAsSpace) {
  ResultGrid grid = MakeGrid(
      {"x", "y"},
      {{std::string("A & <B>"), 1.0}, {Null{}, 2.0}, {std::string("riga 1\r\nriga 2\nfine"), 3.0}});
  const std::string svg = BuildChartSvg(grid, RegionalSettings{});
  EXPECT_NE(svg.find(">A &amp; &lt;B&gt;</text>"), std::string::npos);
  EXPECT_NE(svg.find("fill=\"#64748b\"></text>"), std::string::npos);
  EXPECT_NE(svg.find(">riga 1 riga 2 fine</text>"), std::string::npos);
  EXPECT_EQ(svg.find("<br>"), std::string::npos);
}

TEST(ChartSvg, FiniteValuesNearTheEndsOfTheRangeStayDrawable) {
  constexpr double kMax = std::numeric_limits<double>::max();
  const struct {
    std::vector<double> series;
    std::string points;
  } cases[] = {
      {.series = {kMax, -kMax, kMax / 2}, .points = "55,20 617.5,540 1180,150"},
      {.series = {1e-300, -1e300}, .points = "55,20 1180,260000000000280"},  // clamped
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Points(BuildChartSvg(SeriesGrid({c.series}), RegionalSettings{})), c.points);
  }
  // The largest doubles are written within the double range.
  for (const double v : {kMax, -kMax, 1.7976931348623151e308}) {
    EXPECT_TRUE(std::isfinite(std::strtod(SvgNumber(v).c_str(), nullptr))) << SvgNumber(v);
  }
}

}  // namespace
}  // namespace panorello
