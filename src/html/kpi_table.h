#pragma once
// The two plain block bodies: a row of KPI cards from the first result row, and the result table.
#include <string>
#include <string_view>
#include <vector>

#include "db/connection.h"
#include "db/result/result_grid.h"
#include "html/page_out.h"

namespace panorello {

// Appends the card row of the first result row (card k takes series colour k).
void RenderKpiCards(const ResultGrid& grid, const RegionalSettings& regional, std::string& out);

// The whole result as a table inside its box; streams the rows, handing chunks on as they fill.
// name (the block's title) names the box, which scrolls sideways on a narrow screen and so can
// be reached with the keyboard.
void RenderResultTable(const ResultGrid& grid, const RegionalSettings& regional, PageOut& out,
                       std::string_view name = {});

// A table of the given rows, without the box (the chart's data for screen readers).
void AppendTableOfRows(const ResultGrid& grid, const RegionalSettings& regional,
                       const std::vector<size_t>& rows, std::string& out);

// The result table written while the rows arrive from a statement: the head comes with the first
// row, so that a result without rows leaves nothing; Finish closes a table that was started.
class ResultTableSink final : public RowSink {
 public:
  ResultTableSink(const RegionalSettings& regional, PageOut& page, std::string_view name = {})
      : regional_(regional), page_(page), name_(name) {}
  void Columns(const std::vector<std::string>& names) override { names_ = names; }
  void Row(const CellView* cells, size_t count) override;
  void Finish();

 private:
  const RegionalSettings& regional_;
  PageOut& page_;
  std::string name_;
  std::vector<std::string> names_;
  bool started_ = false;
};

}  // namespace panorello
