#pragma once
// The page and its pieces as whole texts, for tests that compare them.
#include <string>

#include "html/block_render.h"
#include "html/generation.h"
#include "html/kpi_table.h"
#include "html/page_out.h"

namespace panorello::testing {

inline std::string RenderedKpiCards(const ResultGrid& grid, const RegionalSettings& regional) {
  std::string out;
  RenderKpiCards(grid, regional, out);
  return out;
}

inline std::string RenderedTable(const ResultGrid& grid, const RegionalSettings& regional) {
  PageOut out;
  RenderResultTable(grid, regional, out);
  return out.TakeText();
}

inline std::string RenderedQuery(const AppContext& ctx, const std::string& sql,
                                 const std::string& mode) {
  PageOut out;
  RenderBlockQuery(BlockQueryEnv::Of(ctx), sql, mode, out);
  return out.TakeText();
}

inline std::string RenderedBlock(const AppContext& ctx, const Block& block) {
  PageOut out;
  RenderBlock(BlockQueryEnv::Of(ctx), block, out);
  return out.TakeText();
}

// The page of dashboard_name built in memory (sorts ctx.blocks).
inline std::string RenderedPage(AppContext& ctx, const std::string& dashboard_name) {
  PageOut out;
  GenerationOutcome outcome;
  SortBlocks(ctx.blocks);
  BuildDashboardHtml(ctx, dashboard_name, "", out, outcome);
  return out.TakeText();
}

}  // namespace panorello::testing
