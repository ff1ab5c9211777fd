#pragma once
// One block's box: title, subtitle, separator and the body its render mode gives.
#include <optional>
#include <string>

#include "db/result_grid.h"
#include "html/page_out.h"
#include "storage/app_context.h"

namespace panorello {

// The AUTO test: every non-blank cell of columns 1 and up is numeric (false with < 2 columns).
bool IsChartData(const ResultGrid& grid, const RegionalSettings& regional);

enum class BodyKind { Table, Kpi, Chart, ChartTable };

// What a fetched result becomes for a trimmed, upper-cased mode (the AUTO rule for any other).
BodyKind ChooseBody(const ResultGrid& grid, const std::string& mode,
                    const RegionalSettings& regional);

// The body of a fetched result for a trimmed, upper-cased mode. The table part is streamed into
// out; a chart that cannot be drawn throws before anything is appended.
void RenderGridBody(const ResultGrid& grid, const std::string& mode,
                    const RegionalSettings& regional, PageOut& out);

// Runs sql on a fresh connection from ctx.settings and renders the result; never fails: every
// error of the connection, the query or the renderers becomes the error box, and its text is
// returned (nothing when the body rendered).
std::optional<std::string> RenderBlockQuery(const AppContext& ctx, const std::string& sql,
                                            const std::string& mode, PageOut& out);
std::string RenderBlockQuery(const AppContext& ctx, const std::string& sql, const std::string& mode);

// The block's box; returns the text of its error box, if it shows one.
std::optional<std::string> RenderBlock(const AppContext& ctx, const Block& block, PageOut& out);
std::string RenderBlock(const AppContext& ctx, const Block& block);

}  // namespace panorello
