#pragma once
// The line chart: inline SVG on a 1200 x 320 canvas, one polyline per series, and its legend.
#include <string>

#include "db/result/result_grid.h"

namespace panorello {

// The chart box, or the empty text when the grid has fewer than 2 rows or 2 columns.
// Finite values are always drawable (points far outside the plot are clamped).
std::string RenderChart(const ResultGrid& grid, const RegionalSettings& regional);
std::string BuildChartSvg(const ResultGrid& grid, const RegionalSettings& regional);
std::string BuildChartLegend(const ResultGrid& grid);

// Colour of the 1-based series k (eight colours, then again from the first).
std::string SeriesColor(int k);

// 15 significant digits in plain decimal with "." and without trailing zeros; never follows the
// process locale. Magnitudes beyond what plain decimal shows sensibly use the exponent form that
// SVG accepts (1.5e+300).
std::string SvgNumber(double value);

}  // namespace panorello
