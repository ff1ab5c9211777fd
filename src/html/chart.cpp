#include "html/chart.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

#include "html/kpi_table.h"
#include "html/series_colors.h"
#include "util/error.h"
#include "util/text.h"

namespace panorello {

namespace {

// The canvas (the SVG view box) and the plot inside it, in SVG user units.
constexpr double kWidth = 1200;
constexpr double kHeight = 320;
constexpr double kLeft = 55;
constexpr double kTop = 20;
constexpr double kRight = 20;
constexpr double kBottom = 40;
constexpr double kPlotWidth = kWidth - kLeft - kRight;
constexpr double kPlotHeight = kHeight - kTop - kBottom;
constexpr double kPlotRight = kLeft + kPlotWidth;
constexpr double kPlotBottom = kTop + kPlotHeight;  // the x axis, where 0 lies
constexpr double kLabelBaseline = kHeight - 12;

double ChartX(size_t r, size_t rows) {
  return static_cast<double>(r) * kPlotWidth / static_cast<double>(rows - 1) + kLeft;
}

// How far beyond the plot a value may reach: far enough that every visible point keeps its
// place, near enough that a coordinate stays a finite number.
constexpr double kMaxRatio = 1e12;

// The vertical coordinate of v on the scale of max (max > 0): the ratio first, so that values
// near the ends of the double range do not overflow, then clamped.
double ChartY(double v, double max) {
  double ratio = v / max;
  if (ratio > kMaxRatio) ratio = kMaxRatio;
  if (ratio < -kMaxRatio) ratio = -kMaxRatio;
  return kPlotBottom - ratio * kPlotHeight;
}

// The coordinate text; a value that is not finite cannot be drawn.
void AppendCoordinate(std::string& out, double v) {
  if (!std::isfinite(v)) throw Error("Valore non rappresentabile nel grafico");
  out += SvgNumber(v);
}

// The canvas with its white background and the two axes; the SVG is an image named name. A
// dense chart (more rows than pixel columns) is marked so: its labels are thinned.
void AppendCanvas(std::string& out, std::string_view name, bool dense) {
  const std::string width = SvgNumber(kWidth);
  const std::string height = SvgNumber(kHeight);
  out += dense ? "<svg class=\"chartsvg chartdense\"" : "<svg class=\"chartsvg\"";
  out += " viewBox=\"0 0 " + width + " " + height +
         "\" xmlns=\"http://www.w3.org/2000/svg\" role=\"img\" aria-label=\"";
  HtmlEncodeAppend(out, name);
  out += "\">";
  out +=
      "<rect x=\"0\" y=\"0\" width=\"" + width + "\" height=\"" + height + "\" fill=\"#ffffff\"/>";
  const std::pair<double, double> axes[][2] = {{{kLeft, kTop}, {kLeft, kPlotBottom}},
                                               {{kLeft, kPlotBottom}, {kPlotRight, kPlotBottom}}};
  for (const auto& [from, to] : axes) {
    out += "<line x1=\"" + SvgNumber(from.first) + "\" y1=\"" + SvgNumber(from.second) +
           "\" x2=\"" + SvgNumber(to.first) + "\" y2=\"" + SvgNumber(to.second) +
           "\" stroke=\"#cbd5e1\" stroke-width=\"1\"/>";
  }
}

// Line breaks inside the SVG become one space: a <br> there would end the SVG in a browser.
void AppendLabel(std::string& out, const std::string& text) {
  HtmlEncodeAppend(out, LineBreaksToSpaces(text));
}

double ValueOf(const CellView& cell, const RegionalSettings& regional) {
  double v = 0;
  return IsNumericCell(cell, regional, &v) ? v : 0;
}

// The label of row r as drawn: its cell text on one line.
std::string LabelText(const ResultGrid& grid, size_t r, const RegionalSettings& regional) {
  return LineBreaksToSpaces(CellText(grid.At(r, 0), regional));
}

// Width of a label in 11-unit Arial, on the generous side: capitals, m, w and letters beyond
// ASCII count as wide, everything else as a digit.
double LabelWidth(std::string_view text) {
  double em = 0;
  for (unsigned char ch : text) {
    if ((ch & 0xC0) == 0x80) continue;  // a UTF-8 continuation byte
    const bool wide = (ch >= 'A' && ch <= 'Z') || ch == 'm' || ch == 'w' || ch >= 0x80;
    em += wide ? 0.75 : 0.56;
  }
  return em * 11;
}

// Room kept between two x labels.
constexpr double kLabelGap = 8;

// "Vendite mensili: Vendite, Costi": the block's title and the series.
std::string ChartName(const ResultGrid& grid, std::string_view name) {
  std::string out = Trim(LineBreaksToSpaces(name));
  if (out.empty()) out = "Grafico";
  out += ": ";
  for (size_t k = 1; k < grid.Cols(); ++k) {
    if (k > 1) out += ", ";
    out += LineBreaksToSpaces(grid.ColumnName(k));
  }
  return out;
}

// One invisible target around a drawn point; its title shows label, series and value.
void AppendTarget(std::string& out, const ResultGrid& grid, size_t r, size_t k, double x, double y,
                  const RegionalSettings& regional) {
  out += "<circle cx=\"";
  AppendCoordinate(out, x);
  out += "\" cy=\"";
  AppendCoordinate(out, y);
  out += "\" r=\"8\"><title>";
  HtmlEncodeAppend(out, LabelText(grid, r, regional));
  out += " - ";
  HtmlEncodeAppend(out, LineBreaksToSpaces(grid.ColumnName(k)));
  out += ": ";
  std::string value = Trim(LineBreaksToSpaces(CellText(grid.At(r, k), regional)));
  if (value.empty()) value = "nessun valore";
  HtmlEncodeAppend(out, value);
  out += "</title></circle>";
}

size_t ColumnOf(size_t r, size_t rows) {
  const double column = std::floor(static_cast<double>(r) * static_cast<double>(kPlotColumns) /
                                   static_cast<double>(rows - 1));
  return std::min(static_cast<size_t>(column), kPlotColumns - 1);
}

size_t PlaceOf(const ChartPlan& plan, size_t r) { return plan.at.empty() ? r : plan.at[r]; }

std::string BuildPlanSvg(const ChartPlan& plan, const RegionalSettings& regional,
                         std::string_view name) {
  if (plan.rows < 2) throw Error("Dati insufficienti per il grafico");
  const ResultGrid& grid = *plan.grid;
  auto x_of = [&](size_t r) { return ChartX(PlaceOf(plan, r), plan.rows); };
  auto y_of = [&](size_t r, size_t k) {
    return ChartY(ValueOf(grid.At(r, k), regional), plan.max);
  };
  std::string out;
  AppendCanvas(out, ChartName(grid, name), plan.rows > kPlotColumns);
  for (size_t k = 1; k < plan.drawn.size(); ++k) {
    out += "<polyline fill=\"none\" stroke=\"";
    out += SeriesColor(static_cast<int>(k));
    out += "\" stroke-width=\"3\" points=\"";
    for (size_t i = 0; i < plan.drawn[k].size(); ++i) {
      const size_t r = plan.drawn[k][i];
      if (i > 0) out += ' ';
      AppendCoordinate(out, x_of(r));
      out += ',';
      AppendCoordinate(out, y_of(r, k));
    }
    out += "\"/>";
  }

  const std::string baseline = SvgNumber(kLabelBaseline);
  for (size_t r : plan.labels) {
    out += "<text x=\"";
    AppendCoordinate(out, x_of(r));
    out += "\" y=\"" + baseline + "\" font-size=\"11\" text-anchor=\"middle\" fill=\"#64748b\">";
    AppendLabel(out, CellText(grid.At(r, 0), regional));
    out += "</text>";
  }

  // The targets last, above the lines: the pointer finds them.
  out += "<g class=\"charthit\" fill=\"transparent\">";
  for (size_t k = 1; k < plan.drawn.size(); ++k) {
    for (size_t r : plan.drawn[k]) AppendTarget(out, grid, r, k, x_of(r), y_of(r, k), regional);
  }
  out += "</g></svg>";
  return out;
}

}  // namespace

void ColumnReducer::Add(size_t place, double value, size_t id) {
  const size_t c = ColumnOf(place, rows_);
  if (c != column_) {
    if (column_ != kPlotColumns) Flush();
    column_ = c;
    std::fill(std::begin(picks_), std::end(picks_), id);
    low_ = high_ = value;
    return;
  }
  if (value < low_) {
    low_ = value;
    picks_[1] = id;
  }
  if (value > high_) {
    high_ = value;
    picks_[2] = id;
  }
  picks_[3] = id;
}

void ColumnReducer::Flush() {
  std::sort(std::begin(picks_), std::end(picks_));
  for (size_t i = 0; i < 4; ++i) {
    if (i == 0 || picks_[i] != picks_[i - 1]) out_.push_back(picks_[i]);
  }
}

std::vector<size_t> ColumnReducer::Finish() {
  if (column_ != kPlotColumns) Flush();
  column_ = kPlotColumns;
  return std::move(out_);
}

std::vector<size_t> DrawnRows(const ResultGrid& grid, size_t k, const RegionalSettings& regional) {
  const size_t rows = grid.Rows();
  if (rows <= kPlotColumns) {
    std::vector<size_t> out(rows);
    for (size_t r = 0; r < rows; ++r) out[r] = r;
    return out;
  }
  ColumnReducer reducer(rows);
  for (size_t r = 0; r < rows; ++r) reducer.Add(r, ValueOf(grid.At(r, k), regional), r);
  return reducer.Finish();
}

std::vector<size_t> LabelRows(const ResultGrid& grid, const RegionalSettings& regional) {
  const size_t rows = grid.Rows();
  std::vector<size_t> out;
  if (rows <= kPlotColumns) {
    out.resize(rows);
    for (size_t r = 0; r < rows; ++r) out[r] = r;
    return out;
  }
  const double step = kPlotWidth / static_cast<double>(rows - 1);
  // The first row whose x is at least x.
  auto row_at = [&](double x) {
    return x <= kLeft ? size_t{0} : static_cast<size_t>(std::ceil((x - kLeft) / step));
  };
  double free_from = 0;  // labels may start here
  size_t r = 0;
  while (r < rows) {
    const double half = LabelWidth(LabelText(grid, r, regional)) / 2;
    const double x = ChartX(r, rows);
    if (x - half < free_from) {
      r = std::max(row_at(free_from + half), r + 1);
      continue;
    }
    if (x + half > kWidth) break;
    out.push_back(r);
    free_from = x + half + kLabelGap;
    r = std::max(row_at(free_from + half), r + 1);
  }
  return out;
}

namespace {

// The whole grid as a plan: its scale, and the rows drawn and labelled.
ChartPlan PlanOf(const ResultGrid& grid, const RegionalSettings& regional) {
  ChartPlan plan{.grid = &grid, .rows = grid.Rows()};
  plan.max = 0;
  for (size_t c = 1; c < grid.Cols(); ++c) {
    for (size_t r = 0; r < plan.rows; ++r) {
      double v = 0;
      if (IsNumericCell(grid.At(r, c), regional, &v) && v > plan.max) plan.max = v;
    }
  }
  if (!(plan.max > 0)) plan.max = 1;
  plan.drawn.resize(grid.Cols());
  for (size_t k = 1; k < grid.Cols(); ++k) plan.drawn[k] = DrawnRows(grid, k, regional);
  plan.labels = LabelRows(grid, regional);
  return plan;
}

}  // namespace

std::string SeriesColor(int k) {
  constexpr int kCount = static_cast<int>(kSeriesColors.size());
  int index = (k - 1) % kCount;
  if (index < 0) index += kCount;
  return std::string(kSeriesColors[static_cast<size_t>(index)]);
}

std::string SvgNumber(double value) {
  if (!std::isfinite(value)) return value != value ? "0" : (value > 0 ? "1e+308" : "-1e+308");
  // Fifteen digits would round the largest doubles up past the double range.
  constexpr double kLargest = 1.79769313486231e308;
  if (std::fabs(value) > kLargest) value = std::copysign(kLargest, value);
  // d.dddddddddddddde[+-]x: fifteen significant digits, correctly rounded.
  char buf[40];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
  std::string_view sci(buf, static_cast<size_t>(res.ptr - buf));
  bool negative = false;
  if (!sci.empty() && sci[0] == '-') {
    negative = true;
    sci.remove_prefix(1);
  }
  const size_t e_pos = sci.find('e');
  std::string digits;
  for (char ch : sci.substr(0, e_pos)) {
    if (ch != '.') digits += ch;
  }
  int exponent = 0;
  std::string_view exp_text = sci.substr(e_pos + 1);
  if (!exp_text.empty() && exp_text[0] == '+') exp_text.remove_prefix(1);
  std::from_chars(exp_text.data(), exp_text.data() + exp_text.size(), exponent);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  if (digits == "0") return "0";

  std::string out;
  if (negative) out += '-';
  if (exponent > 20 || exponent < -20) {
    AppendExponentDigits(out, digits, exponent, '.', 'e', 1);
  } else {
    AppendPlainDigits(out, digits, exponent, '.');
  }
  return out;
}

std::vector<size_t> LabelRowsAmong(const ChartPlan& plan, const std::vector<size_t>& candidates,
                                   const RegionalSettings& regional) {
  std::vector<size_t> out;
  double free_from = 0;  // labels may start here
  for (size_t r : candidates) {
    const double x = ChartX(PlaceOf(plan, r), plan.rows);
    const double half = LabelWidth(LabelText(*plan.grid, r, regional)) / 2;
    if (x - half < free_from) continue;
    if (x + half > kWidth) break;
    out.push_back(r);
    free_from = x + half + kLabelGap;
  }
  return out;
}

std::string BuildChartSvg(const ResultGrid& grid, const RegionalSettings& regional,
                          std::string_view name) {
  // A single row would divide by zero; RenderChart never asks for it.
  if (grid.Rows() < 2 || grid.Cols() < 2) throw Error("Dati insufficienti per il grafico");
  return BuildPlanSvg(PlanOf(grid, regional), regional, name);
}

std::string BuildChartLegend(const ResultGrid& grid) {
  std::string out = "<div class=\"chartlegend\">";
  for (size_t k = 1; k < grid.Cols(); ++k) {
    out += "<span class=\"legenditem\"><span class=\"legendline\" style=\"background:";
    out += SeriesColor(static_cast<int>(k));
    out += ";\"></span>";
    HtmlEncodeAppend(out, grid.ColumnName(k));
    out += "</span>";
  }
  out += "</div>";
  return out;
}

std::string RenderChartPlan(const ChartPlan& plan, const RegionalSettings& regional,
                            std::string_view name, bool with_data) {
  std::string out = "<div class=\"chartbox\"><div class=\"charttitle\">Andamento storico</div>";
  out += BuildPlanSvg(plan, regional, name);
  out += BuildChartLegend(*plan.grid);
  if (with_data) {
    std::vector<size_t> rows;
    for (const std::vector<size_t>& drawn : plan.drawn)
      rows.insert(rows.end(), drawn.begin(), drawn.end());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    out += "<div class=\"srdata\">";
    AppendTableOfRows(*plan.grid, regional, rows, out);
    out += "</div>";
  }
  out += "</div>";
  return out;
}

std::string RenderChart(const ResultGrid& grid, const RegionalSettings& regional,
                        std::string_view name, bool with_data) {
  if (grid.Rows() <= 1 || grid.Cols() < 2) return {};
  return RenderChartPlan(PlanOf(grid, regional), regional, name, with_data);
}

}  // namespace panorello
