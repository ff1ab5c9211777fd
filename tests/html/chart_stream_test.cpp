#include "html/chart_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "html/chart.h"
#include "html/grid_builder.h"

namespace panorello {
namespace {

// Hands the rows of grid to sink as a statement would.
void Feed(const ResultGrid& grid, ChartSink& sink) {
  std::vector<std::string> names;
  for (size_t c = 0; c < grid.Cols(); ++c) names.push_back(grid.ColumnName(c));
  sink.Columns(names);
  std::vector<CellView> row(grid.Cols());
  for (size_t r = 0; r < grid.Rows(); ++r) {
    for (size_t c = 0; c < grid.Cols(); ++c) row[c] = grid.At(r, c);
    sink.Row(row.data(), row.size());
  }
}

size_t ColumnOfRow(size_t r, size_t rows) {
  return std::min(r * kPlotColumns / (rows - 1), kPlotColumns - 1);
}

// Against the whole result: a chart that fits the plot is the same text; a longer one keeps both
// ends and reaches every pixel column's lowest and highest value within one column, with at most
// four points a column, while the rows held stay bounded by the plot's width.
TEST(ChartStreaming, SameChartAsTheWholeResultWithinAPixel) {
  const RegionalSettings rs;
  const size_t cases[] = {2, kPlotColumns, kPlotColumns + 1, 2 * kPlotColumns + 3, 10007, 300001};
  for (const size_t rows : cases) {
    SCOPED_TRACE(rows);
    std::vector<std::vector<double>> series(2, std::vector<double>(rows));
    unsigned seed = 12345;
    for (size_t r = 0; r < rows; ++r) {
      seed = seed * 1103515245 + 12345;
      series[0][r] = std::sin(static_cast<double>(r) * 0.37) * 100;
      series[1][r] = static_cast<double>(seed >> 16 & 0x7fff) - 9000;
    }
    series[0][rows / 3] = 1e6;  // a spike drawn wherever it falls
    const ResultGrid grid = testing::SeriesGrid(series);
    ChartSink sink(rs);
    Feed(grid, sink);
    EXPECT_EQ(sink.Rows(), rows);
    if (rows <= kPlotColumns) {
      EXPECT_EQ(sink.Render("Letture", true), RenderChart(grid, rs, "Letture", true));
      continue;
    }
    for (size_t k = 1; k <= series.size(); ++k) {
      const std::vector<double>& values = series[k - 1];
      const std::vector<size_t> drawn = sink.DrawnPlaces(k);
      if (rows <= 2 * kPlotColumns) {
        EXPECT_EQ(drawn, DrawnRows(grid, k, rs));  // every row its own bucket
      }
      ASSERT_FALSE(drawn.empty());
      EXPECT_TRUE(std::is_sorted(drawn.begin(), drawn.end()));
      EXPECT_EQ(drawn.front(), 0u);
      EXPECT_EQ(drawn.back(), rows - 1);
      EXPECT_LE(drawn.size(), 4 * kPlotColumns);
      std::vector<double> low(kPlotColumns, 1e300), high(kPlotColumns, -1e300);
      std::vector<double> drawn_low = low, drawn_high = high;
      for (size_t r = 0; r < rows; ++r) {
        low[ColumnOfRow(r, rows)] = std::min(low[ColumnOfRow(r, rows)], values[r]);
        high[ColumnOfRow(r, rows)] = std::max(high[ColumnOfRow(r, rows)], values[r]);
      }
      for (size_t r : drawn) {
        drawn_low[ColumnOfRow(r, rows)] = std::min(drawn_low[ColumnOfRow(r, rows)], values[r]);
        drawn_high[ColumnOfRow(r, rows)] = std::max(drawn_high[ColumnOfRow(r, rows)], values[r]);
      }
      for (size_t c = 0; c < kPlotColumns; ++c) {
        const size_t from = c == 0 ? 0 : c - 1;
        const size_t to = std::min(c + 2, kPlotColumns);
        EXPECT_LE(*std::min_element(drawn_low.begin() + from, drawn_low.begin() + to), low[c]) << c;
        EXPECT_GE(*std::max_element(drawn_high.begin() + from, drawn_high.begin() + to), high[c])
            << c;
      }
    }
    // Per bucket its first and last row and two extremes per series; rows no bucket names are
    // let go before they outnumber the named ones twice over (plus some slack).
    EXPECT_LE(sink.RowsHeld(), 2 * (2 * kPlotColumns) * (2 + 2 * series.size()) + 4096);
    const std::string chart = sink.Render("Letture", true);
    EXPECT_NE(chart.find("<svg class=\"chartsvg chartdense\""), std::string::npos);
    EXPECT_NE(chart.find("<div class=\"srdata\">"), std::string::npos);
  }
}

}  // namespace
}  // namespace panorello
