#include "html/chart.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

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

TEST(RenderChart, ThreeRowsExactlyOrNothingWithoutTwoRowsAndTwoColumns) {
  const RegionalSettings rs;
  ResultGrid grid = MakeGrid(
      {"Mese", "Vendite"},
      {{std::string("Gen"), 10.0}, {std::string("Feb"), int64_t{20}}, {std::string("Mar"), 40.0}});
  EXPECT_EQ(
      RenderChart(grid, rs),
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
      "style=\"background:#2563eb;\"></span>Vendite</span></div></div>");
  EXPECT_EQ(RenderChart(MakeGrid({"x", "y"}, {{std::string("a"), 1.0}}), rs), "");
  EXPECT_EQ(RenderChart(MakeGrid({"x"}, {{1.0}, {2.0}}), rs), "");
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
