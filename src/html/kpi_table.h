#pragma once
// The two plain block bodies: a row of KPI cards from the first result row, and the result table.
#include <string>

#include "db/result_grid.h"
#include "html/page_out.h"

namespace panorello {

std::string RenderKpiCards(const ResultGrid& grid, const RegionalSettings& regional);
void RenderKpiCards(const ResultGrid& grid, const RegionalSettings& regional, std::string& out);

std::string RenderResultTable(const ResultGrid& grid, const RegionalSettings& regional);
// Streams the rows, handing chunks on as they fill.
void RenderResultTable(const ResultGrid& grid, const RegionalSettings& regional, PageOut& out);

}  // namespace panorello
