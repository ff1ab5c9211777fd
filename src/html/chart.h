#pragma once
// The line chart: inline SVG on a 1200 x 320 canvas, one polyline per series, and its legend.
// Every drawn point carries its label and value in a <title> on an invisible target, shown by the
// browser under the pointer; the SVG is an image named after its block and series.
#include <string>
#include <string_view>
#include <vector>

#include "db/result/result_grid.h"

namespace panorello {

// The chart box, or the empty text when the grid has fewer than 2 rows or 2 columns.
// Finite values are always drawable (points far outside the plot are clamped). name is the
// block's title; with_data adds the drawn rows as a table that only screen readers show (for a
// chart with no table after it).
std::string RenderChart(const ResultGrid& grid, const RegionalSettings& regional,
                        std::string_view name = {}, bool with_data = false);
std::string BuildChartSvg(const ResultGrid& grid, const RegionalSettings& regional,
                          std::string_view name = {});
std::string BuildChartLegend(const ResultGrid& grid);

// Pixel columns of the plot: a series with more points than this is drawn from the first, the
// smallest, the largest and the last point of each column, which draws the same line.
inline constexpr size_t kPlotColumns = 1125;

// The rows drawn for series column k (all rows when they fit the columns), in row order.
std::vector<size_t> DrawnRows(const ResultGrid& grid, size_t k, const RegionalSettings& regional);

// Reduces the points of one series, handed in row order, to the first, the smallest, the
// largest and the last of each pixel column of a result of `rows` rows (> kPlotColumns). A point
// is its place in the result, its value and an id that grows with the place.
class ColumnReducer {
 public:
  explicit ColumnReducer(size_t rows) : rows_(rows) {}
  void Add(size_t place, double value, size_t id);
  // The ids kept, in order.
  std::vector<size_t> Finish();

 private:
  void Flush();

  size_t rows_;
  size_t column_ = kPlotColumns;  // none yet
  size_t picks_[4] = {};
  double low_ = 0;
  double high_ = 0;
  std::vector<size_t> out_;
};

// A chart drawn from some rows of a result: row i of grid stands at place at[i] of a result of
// `rows` rows (at empty: the grid is the whole result), max is the top of the scale (> 0).
// drawn[k] lists the grid rows of series k's line, labels the grid rows with an x label.
struct ChartPlan {
  const ResultGrid* grid = nullptr;
  std::vector<size_t> at;
  size_t rows = 0;
  double max = 1;
  std::vector<std::vector<size_t>> drawn;
  std::vector<size_t> labels;
};

// The chart box of a plan, as RenderChart draws it.
std::string RenderChartPlan(const ChartPlan& plan, const RegionalSettings& regional,
                            std::string_view name, bool with_data);

// Of the given grid rows (in order), those that get an x label in a plan of `rows` rows: each
// the first that no longer overlaps the label before it.
std::vector<size_t> LabelRowsAmong(const ChartPlan& plan, const std::vector<size_t>& candidates,
                                   const RegionalSettings& regional);

// The rows that get an x label: all of them when every row is drawn, otherwise labels thinned
// so that no two overlap (their widths estimated for 11-unit Arial).
std::vector<size_t> LabelRows(const ResultGrid& grid, const RegionalSettings& regional);

// Colour of the 1-based series k (eight colours, then again from the first).
std::string SeriesColor(int k);

// 15 significant digits in plain decimal with "." and without trailing zeros; never follows the
// process locale. Magnitudes beyond what plain decimal shows sensibly use the exponent form that
// SVG accepts (1.5e+300).
std::string SvgNumber(double value);

}  // namespace panorello
