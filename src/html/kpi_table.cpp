#include "html/kpi_table.h"

#include <charconv>

#include "html/series_colors.h"
#include "util/text.h"

namespace panorello {

void RenderKpiCards(const ResultGrid& grid, const RegionalSettings& regional, std::string& out) {
  out += "<div class=\"kpiwrap\">";
  for (size_t c = 0; c < grid.Cols(); ++c) {
    out += "<div class=\"kpicard kpi-";
    out += static_cast<char>('1' + c % kSeriesColors.size());
    out += "\"><div class=\"kpilabel\">";
    HtmlEncodeAppend(out, grid.ColumnName(c));
    out += "</div><div class=\"kpivalue\">";
    if (grid.Rows() > 0) HtmlEncodeAppend(out, CellText(grid.At(0, c), regional));
    out += "</div></div>";
  }
  out += "</div>";
}

namespace {

void AppendTableHead(std::string& out, const std::string* names, size_t count) {
  out += "<table class=\"result\"><tr>";
  for (size_t c = 0; c < count; ++c) {
    out += "<th>";
    HtmlEncodeAppend(out, names[c]);
    out += "</th>";
  }
  out += "</tr>";
}

// "<td>" + the HTML-escaped cell text + "</td>".
void AppendTableCell(std::string& out, const CellView& cell, const RegionalSettings& regional) {
  out += "<td>";
  if (cell.type == CellType::Text) {
    HtmlEncodeAppend(out, cell.text);  // a text cell is its own cell text
  } else if (cell.type == CellType::Integer) {
    char digits[24];  // an integer's cell text is its plain digits: nothing to escape
    const auto end = std::to_chars(digits, digits + sizeof digits, cell.integer).ptr;
    out.append(digits, static_cast<size_t>(end - digits));
  } else if (cell.type != CellType::Null) {
    // Numbers and dates rarely need escaping (only through an odd separator or date pattern):
    // written in place, and escaped afterwards when they do.
    const size_t start = out.size();
    AppendCellText(out, cell, regional);
    if (NeedsHtmlEncode(std::string_view(out).substr(start))) {
      const std::string text = out.substr(start);
      out.resize(start);
      HtmlEncodeAppend(out, text);
    }
  }
  out += "</td>";
}

}  // namespace

void RenderResultTable(const ResultGrid& grid, const RegionalSettings& regional, PageOut& page) {
  std::string& out = page.Buffer();
  const size_t cols = grid.Cols();
  std::vector<std::string> names;
  names.reserve(cols);
  for (size_t c = 0; c < cols; ++c) names.push_back(grid.ColumnName(c));
  AppendTableHead(out, names.data(), names.size());
  const size_t rows = grid.Rows();
  for (size_t r = 0; r < rows; ++r) {
    out += "<tr>";
    for (size_t c = 0; c < cols; ++c) AppendTableCell(out, grid.At(r, c), regional);
    out += "</tr>";
    page.MaybeFlush();
  }
  out += "</table>";
}

void ResultTableSink::Row(const CellView* cells, size_t count) {
  std::string& out = page_.Buffer();
  if (!started_) {
    AppendTableHead(out, names_.data(), names_.size());
    started_ = true;
  }
  out += "<tr>";
  for (size_t c = 0; c < count; ++c) AppendTableCell(out, cells[c], regional_);
  out += "</tr>";
  page_.MaybeFlush();
}

void ResultTableSink::Finish() {
  if (started_) page_.Append("</table>");
}

}  // namespace panorello
