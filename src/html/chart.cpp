#include "html/chart.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <utility>

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

// The canvas with its white background and the two axes.
void AppendCanvas(std::string& out) {
  const std::string width = SvgNumber(kWidth);
  const std::string height = SvgNumber(kHeight);
  out += "<svg class=\"chartsvg\" viewBox=\"0 0 " + width + " " + height +
         "\" xmlns=\"http://www.w3.org/2000/svg\">";
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

std::string BuildChartSvg(const ResultGrid& grid, const RegionalSettings& regional) {
  const size_t rows = grid.Rows();
  const size_t cols = grid.Cols();
  // A single row would divide by zero; RenderChart never asks for it.
  if (rows < 2 || cols < 2) throw Error("Dati insufficienti per il grafico");

  double max = 0;
  for (size_t c = 1; c < cols; ++c) {
    for (size_t r = 0; r < rows; ++r) {
      double v = 0;
      if (IsNumericCell(grid.At(r, c), regional, &v) && v > max) max = v;
    }
  }
  if (!(max > 0)) max = 1;

  std::string out;
  AppendCanvas(out);

  for (size_t k = 1; k < cols; ++k) {
    out += "<polyline fill=\"none\" stroke=\"";
    out += SeriesColor(static_cast<int>(k));
    out += "\" stroke-width=\"3\" points=\"";
    for (size_t r = 0; r < rows; ++r) {
      double v = 0;
      if (!IsNumericCell(grid.At(r, k), regional, &v)) v = 0;
      if (r > 0) out += ' ';
      AppendCoordinate(out, ChartX(r, rows));
      out += ',';
      AppendCoordinate(out, ChartY(v, max));
    }
    out += "\"/>";
  }

  const std::string baseline = SvgNumber(kLabelBaseline);
  for (size_t r = 0; r < rows; ++r) {
    out += "<text x=\"";
    AppendCoordinate(out, ChartX(r, rows));
    out += "\" y=\"" + baseline + "\" font-size=\"11\" text-anchor=\"middle\" fill=\"#64748b\">";
    AppendLabel(out, CellText(grid.At(r, 0), regional));
    out += "</text>";
  }
  out += "</svg>";
  return out;
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

std::string RenderChart(const ResultGrid& grid, const RegionalSettings& regional) {
  if (grid.Rows() <= 1 || grid.Cols() < 2) return {};
  std::string out = "<div class=\"chartbox\"><div class=\"charttitle\">Andamento storico</div>";
  out += BuildChartSvg(grid, regional);
  out += BuildChartLegend(grid);
  out += "</div>";
  return out;
}

}  // namespace panorello
