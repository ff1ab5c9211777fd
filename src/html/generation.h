#pragma once
#include <string>

#include "storage/app_context.h"

namespace panorello {

// Writes the dashboard page of dashboardName to Settings.OutputFile, optionally opens it, logs
// each step. Never throws: a failure is logged, reported unless silent, and gives false.
bool RunDashboardGeneration(AppContext& ctx, bool openBrowser, bool silent,
                            const std::string& dashboardName);

// The complete page text (sorts ctx.blocks in place).
std::string BuildDashboardHtml(AppContext& ctx, const std::string& dashboardName);

// Exchange sort by SortOrder (not stable, as the page order has always been).
void SortBlocks(BlockList& blocks);

}  // namespace panorello
