#include "html/chart.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "html/grid_builder.h"
#include "support/test_support.h"
#include "util/error.h"

namespace panorello {
namespace {

using testing::Cell;
using testing::MakeGrid;
using testing::Null;
using testing::SeriesGrid;

// The points attribute of the n-th polyline (0-based).
std::string Points(const std::string& svg, int n) {
  size_t at = 0;
  for (int i = 0; i <= n; ++i) {
    at = svg.find("<polyline", at);
    if (at == std::string::npos) return "<none>";
    ++at;
  }
  const size_t start = svg.find("points=\"", at) + 8;
  return svg.substr(start, svg.find('"', start) - start);
}

TEST(SvgNumber, FifteenSignificantDigitsPlainDecimal) {
  const std::pair<double, const char*> cases[] = {
      {0, "0"},
      {-0.0, "0"},
      {55, "55"},
      {1180, "1180"},
      {617.5, "617.5"},
      {1125.0 / 11 + 55, "157.272727272727"},
      {2 * 1125.0 / 11 + 55, "259.545454545455"},
      {280 - (1.0 / 3) * 260, "193.333333333333"},
      {0.1 + 0.2, "0.3"},
      {-1.5, "-1.5"},
      {540, "540"},
      {0.000125, "0.000125"},
      {123456789012345678.0, "123456789012346000"},
      {1e20, "100000000000000000000"},
      {1e300, "1e+300"},
      {-2.5e-300, "-2.5e-300"},
      {2.0 / 3, "0.666666666666667"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(SvgNumber(value), text) << text;
}

TEST(SvgNumber, IgnoresTheProcessLocale) {
  // An Italian locale (decimal comma) built into a temporary folder: the C library's number
  // formatting follows it, the chart must not.
  testing::TempFolder folder;
  const std::string command =
      "localedef -i it_IT -f UTF-8 '" + folder.File("it_IT.UTF-8") + "' > /dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << "localedef (libc-bin) could not build it_IT";
  ResultGrid grid = MakeGrid({"x", "y"}, {{std::string("a"), 10.0}, {std::string("b"), 20.0},
                                           {std::string("c"), 40.0}, {std::string("d"), 1.0 / 3}});
  const std::string in_c = BuildChartSvg(grid, RegionalSettings{});

  setenv("LOCPATH", folder.Path().c_str(), 1);
  ASSERT_NE(std::setlocale(LC_ALL, "it_IT.UTF-8"), nullptr);
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 2.5);
  const std::string italian_probe = probe;
  const std::string number = SvgNumber(617.5);
  const std::string in_italian = BuildChartSvg(grid, RegionalSettings{});
  std::setlocale(LC_ALL, "C");
  unsetenv("LOCPATH");

  EXPECT_EQ(italian_probe, "2,5");  // the locale really was in force
  EXPECT_EQ(number, "617.5");
  EXPECT_EQ(in_italian, in_c);
}

TEST(SeriesColor, PaletteRepeatsAfterEight) {
  const char* palette[] = {"#2563eb", "#16a34a", "#d97706", "#dc2626",
                           "#0891b2", "#7c3aed", "#475569", "#be185d"};
  for (int k = 1; k <= 17; ++k) EXPECT_EQ(SeriesColor(k), palette[(k - 1) % 8]) << k;
}

TEST(ChartSvg, ThreeRowsExactly) {
  ResultGrid grid = MakeGrid({"Mese", "Vendite"},
                             {{std::string("Gen"), 10.0}, {std::string("Feb"), int64_t{20}},
                              {std::string("Mar"), 40.0}});
  EXPECT_EQ(BuildChartSvg(grid, RegionalSettings{}),
            "<svg class=\"chartsvg\" viewBox=\"0 0 1200 320\" xmlns=\"http://www.w3.org/2000/svg\">"
            "<rect x=\"0\" y=\"0\" width=\"1200\" height=\"320\" fill=\"#ffffff\"/>"
            "<line x1=\"55\" y1=\"20\" x2=\"55\" y2=\"280\" stroke=\"#cbd5e1\" stroke-width=\"1\"/>"
            "<line x1=\"55\" y1=\"280\" x2=\"1180\" y2=\"280\" stroke=\"#cbd5e1\" stroke-width=\"1\"/>"
            "<polyline fill=\"none\" stroke=\"#2563eb\" stroke-width=\"3\" "
            "points=\"55,215 617.5,150 1180,20\"/>"
            "<text x=\"55\" y=\"308\" font-size=\"11\" text-anchor=\"middle\" fill=\"#64748b\">Gen</text>"
            "<text x=\"617.5\" y=\"308\" font-size=\"11\" text-anchor=\"middle\" fill=\"#64748b\">Feb</text>"
            "<text x=\"1180\" y=\"308\" font-size=\"11\" text-anchor=\"middle\" fill=\"#64748b\">Mar</text>"
            "</svg>");
}

TEST(ChartSvg, TwelveRowsXPositions) {
  std::vector<double> values(12, 5.0);
  const std::string pts = Points(BuildChartSvg(SeriesGrid({values}), RegionalSettings{}), 0);
  EXPECT_EQ(pts.substr(0, pts.find(' ', pts.find(' ', pts.find(' ') + 1) + 1)),
            "55,20 157.272727272727,20 259.545454545455,20");
  EXPECT_EQ(pts.substr(pts.rfind(' ') + 1), "1180,20");
}

struct ScaleCase {
  const char* name;
  std::vector<std::vector<Cell>> rows;
  std::string points;
};

TEST(ChartSvg, ScaleAndValues) {
  const ScaleCase cases[] = {
      {"all equal", {{std::string("a"), 50.0}, {std::string("b"), 50.0}}, "55,20 1180,20"},
      {"one third", {{std::string("a"), 30.0}, {std::string("b"), 90.0}}, "55,193.333333333333 1180,20"},
      {"zero and negative",
       {{std::string("a"), 0.0}, {std::string("b"), -1.0}, {std::string("c"), Null{}}},
       "55,280 617.5,540 1180,280"},
      {"null and text drawn at zero, ignored for the maximum",
       {{std::string("a"), Null{}}, {std::string("b"), std::string("n/d")},
        {std::string("c"), std::string(" 20 ")}, {std::string("d"), 10.0}},
       "55,280 430,280 805,20 1180,150"},
      {"non-finite values count as not numeric",
       {{std::string("a"), std::numeric_limits<double>::infinity()},
        {std::string("b"), std::numeric_limits<double>::quiet_NaN()}, {std::string("c"), 4.0}},
       "55,280 617.5,280 1180,20"},
  };
  for (const ScaleCase& c : cases) {
    EXPECT_EQ(Points(BuildChartSvg(MakeGrid({"x", "y"}, c.rows), RegionalSettings{}), 0), c.points)
        << c.name;
  }
}

TEST(ChartSvg, RegionalDecimalCommaStillWritesPoints) {
  RegionalSettings italian;
  italian.decimal_separator = ',';
  ResultGrid grid = MakeGrid({"x", "y"}, {{std::string("a"), std::string("1,5")},
                                           {std::string("b"), 3.0},
                                           {std::string("c"), 6.0}});
  EXPECT_EQ(Points(BuildChartSvg(grid, italian), 0), "55,215 617.5,150 1180,20");
}

TEST(ChartSvg, NineSeriesReuseTheFirstColour) {
  std::vector<std::vector<double>> series(9, std::vector<double>{1, 2});
  ResultGrid grid = SeriesGrid(series);
  const std::string svg = BuildChartSvg(grid, RegionalSettings{});
  size_t count = 0;
  for (size_t at = svg.find("<polyline"); at != std::string::npos; at = svg.find("<polyline", at + 1)) {
    ++count;
    EXPECT_EQ(svg.substr(at, 37), "<polyline fill=\"none\" stroke=\"" + SeriesColor(static_cast<int>(count)));
  }
  EXPECT_EQ(count, 9u);
  EXPECT_NE(svg.find("stroke=\"#2563eb\" stroke-width=\"3\" points=\"55,150 1180,20\"/><polyline"), std::string::npos);
  const std::string legend = BuildChartLegend(grid);
  const std::string tail =
      "<span class=\"legenditem\"><span class=\"legendline\" style=\"background:#2563eb;\"></span>"
      "S9</span></div>";
  ASSERT_GE(legend.size(), tail.size());
  EXPECT_EQ(legend.substr(legend.size() - tail.size()), tail);
}

TEST(ChartLegend, Exactly) {
  ResultGrid grid = MakeGrid({"Mese", "Anno <corrente>", "Anno precedente"},
                             {{std::string("Gen"), 1.0, 2.0}});
  EXPECT_EQ(BuildChartLegend(grid),
            "<div class=\"chartlegend\">"
            "<span class=\"legenditem\"><span class=\"legendline\" style=\"background:#2563eb;\"></span>"
            "Anno &lt;corrente&gt;</span>"
            "<span class=\"legenditem\"><span class=\"legendline\" style=\"background:#16a34a;\"></span>"
            "Anno precedente</span></div>");
}

TEST(ChartLabels, EscapedNullEmptyAndLineBreaksAsSpace) {
  ResultGrid grid = MakeGrid({"x", "y"}, {{std::string("A & <B>"), 1.0},
                                           {Null{}, 2.0},
                                           {std::string("riga 1\r\nriga 2\nfine"), 3.0}});
  const std::string svg = BuildChartSvg(grid, RegionalSettings{});
  EXPECT_NE(svg.find(">A &amp; &lt;B&gt;</text>"), std::string::npos);
  EXPECT_NE(svg.find("fill=\"#64748b\"></text>"), std::string::npos);
  EXPECT_NE(svg.find(">riga 1 riga 2 fine</text>"), std::string::npos);
  EXPECT_EQ(svg.find("<br>"), std::string::npos);
}

TEST(RenderChart, EmptyForOneRowOrOneColumn) {
  EXPECT_EQ(RenderChart(MakeGrid({"x", "y"}, {{std::string("a"), 1.0}}), RegionalSettings{}), "");
  EXPECT_EQ(RenderChart(MakeGrid({"x"}, {{1.0}, {2.0}}), RegionalSettings{}), "");
}

TEST(RenderChart, BoxTitleSvgAndLegend) {
  ResultGrid grid = SeriesGrid({{1, 2}});
  EXPECT_EQ(RenderChart(grid, RegionalSettings{}),
            "<div class=\"chartbox\"><div class=\"charttitle\">Andamento storico</div>" +
                BuildChartSvg(grid, RegionalSettings{}) + BuildChartLegend(grid) + "</div>");
}

TEST(RenderChart, CoordinateThatCannotBeFiniteIsAnError) {
  ResultGrid grid = MakeGrid({"x", "y"}, {{std::string("a"), 1e-300}, {std::string("b"), -1e300}});
  EXPECT_THROW(RenderChart(grid, RegionalSettings{}), Error);
}

}  // namespace
}  // namespace panorello
