#pragma once
#include <string>

#include "storage/app_context.h"

namespace panorello {

// Writes the dashboard page of dashboardName to Settings.OutputFile, optionally opens it, logs
// each step. Never throws: a failure is logged, reported unless silent, and gives false.
bool RunDashboardGeneration(AppContext& ctx, bool openBrowser, bool silent,
                            const std::string& dashboardName);

// What a run did, for callers that report more than success.
struct GenerationOutcome {
  bool ok = false;         // what RunDashboardGeneration returns
  bool written = false;    // the page replaced OutputFile (also when the browser then failed)
  int blocks = 0;          // blocks rendered on the page
  int failed_blocks = 0;   // of which show an error box
  std::string error_text;  // why the run failed (as in its "Errore RunDashboardGeneration" line)
};

// The same run, also telling how it went.
bool RunDashboardGeneration(AppContext& ctx, bool openBrowser, bool silent,
                            const std::string& dashboardName, GenerationOutcome& outcome);

// The log line of a block whose box shows an error.
std::string BlockErrorLine(const Block& block, const std::string& error_text);

// The complete page text (sorts ctx.blocks in place).
std::string BuildDashboardHtml(AppContext& ctx, const std::string& dashboardName);

// Exchange sort by SortOrder. Not stable: equal keys may change their order, and the page
// order of existing dashboards relies on exactly this sort.
void SortBlocks(BlockList& blocks);

}  // namespace panorello
