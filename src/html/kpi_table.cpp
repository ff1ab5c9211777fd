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
    out += "<th scope=\"col\">";
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

// The box around a table: focusable and named, since it scrolls sideways on a narrow screen.
void OpenTableBox(std::string& out, std::string_view name) {
  out += "<div class=\"tablebox\" tabindex=\"0\" role=\"region\" aria-label=\"Tabella";
  if (!name.empty()) {
    out += ": ";
    HtmlEncodeAppend(out, LineBreaksToSpaces(name));
  }
  out += "\">";
}

std::vector<std::string> NamesOf(const ResultGrid& grid) {
  std::vector<std::string> names;
  names.reserve(grid.Cols());
  for (size_t c = 0; c < grid.Cols(); ++c) names.push_back(grid.ColumnName(c));
  return names;
}

void AppendRow(std::string& out, const ResultGrid& grid, size_t r,
               const RegionalSettings& regional) {
  out += "<tr>";
  for (size_t c = 0; c < grid.Cols(); ++c) AppendTableCell(out, grid.At(r, c), regional);
  out += "</tr>";
}

}  // namespace

void RenderResultTable(const ResultGrid& grid, const RegionalSettings& regional, PageOut& page,
                       std::string_view name) {
  std::string& out = page.Buffer();
  OpenTableBox(out, name);
  const std::vector<std::string> names = NamesOf(grid);
  AppendTableHead(out, names.data(), names.size());
  const size_t rows = grid.Rows();
  for (size_t r = 0; r < rows; ++r) {
    AppendRow(out, grid, r, regional);
    page.MaybeFlush();
  }
  out += "</table></div>";
}

void AppendTableOfRows(const ResultGrid& grid, const RegionalSettings& regional,
                       const std::vector<size_t>& rows, std::string& out) {
  const std::vector<std::string> names = NamesOf(grid);
  AppendTableHead(out, names.data(), names.size());
  for (size_t r : rows) AppendRow(out, grid, r, regional);
  out += "</table>";
}

void ResultTableSink::Row(const CellView* cells, size_t count) {
  std::string& out = page_.Buffer();
  if (!started_) {
    OpenTableBox(out, name_);
    AppendTableHead(out, names_.data(), names_.size());
    started_ = true;
  }
  out += "<tr>";
  for (size_t c = 0; c < count; ++c) AppendTableCell(out, cells[c], regional_);
  out += "</tr>";
  page_.MaybeFlush();
}

void ResultTableSink::Finish() {
  if (started_) page_.Append("</table></div>");
}

}  // namespace panorello
