#include "html/kpi_table.h"

#include <charconv>

#include "util/text.h"

namespace panorello {

void RenderKpiCards(const ResultGrid& grid, const RegionalSettings& regional, std::string& out) {
  out += "<div class=\"kpiwrap\">";
  for (size_t c = 0; c < grid.Cols(); ++c) {
    out += "<div class=\"kpicard kpi-";
    out += static_cast<char>('1' + c % 8);
    out += "\"><div class=\"kpilabel\">";
    HtmlEncodeAppend(out, grid.ColumnName(c));
    out += "</div><div class=\"kpivalue\">";
    if (grid.Rows() > 0) HtmlEncodeAppend(out, CellText(grid.At(0, c), regional));
    out += "</div></div>";
  }
  out += "</div>";
}

std::string RenderKpiCards(const ResultGrid& grid, const RegionalSettings& regional) {
  std::string out;
  RenderKpiCards(grid, regional, out);
  return out;
}

void RenderResultTable(const ResultGrid& grid, const RegionalSettings& regional, PageOut& page) {
  std::string& out = page.Buffer();
  out += "<table class=\"result\"><tr>";
  const size_t cols = grid.Cols();
  for (size_t c = 0; c < cols; ++c) {
    out += "<th>";
    HtmlEncodeAppend(out, grid.ColumnName(c));
    out += "</th>";
  }
  out += "</tr>";
  const size_t rows = grid.Rows();
  for (size_t r = 0; r < rows; ++r) {
    out += "<tr>";
    for (size_t c = 0; c < cols; ++c) {
      out += "<td>";
      const CellView cell = grid.At(r, c);
      if (cell.type == CellType::Text) {
        HtmlEncodeAppend(out, cell.text);  // a text cell is its own cell text
      } else if (cell.type == CellType::Integer) {
        char digits[24];  // an integer's cell text is its plain digits: nothing to escape
        const auto end = std::to_chars(digits, digits + sizeof digits, cell.integer).ptr;
        out.append(digits, static_cast<size_t>(end - digits));
      } else if (cell.type != CellType::Null) {
        HtmlEncodeAppend(out, CellText(cell, regional));
      }
      out += "</td>";
    }
    out += "</tr>";
    page.MaybeFlush();
  }
  out += "</table>";
}

std::string RenderResultTable(const ResultGrid& grid, const RegionalSettings& regional) {
  PageOut page;
  RenderResultTable(grid, regional, page);
  return page.TakeText();
}

}  // namespace panorello
