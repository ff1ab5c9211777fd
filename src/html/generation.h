#pragma once
#include <string>
#include <vector>

#include "html/page_out.h"
#include "storage/app_context.h"

namespace panorello {

// What a run did, for callers that report more than success.
struct GenerationOutcome {
  bool ok = false;         // what RunDashboardGeneration returns
  bool written = false;    // the page replaced OutputFile (also when the browser then failed)
  int blocks = 0;          // blocks rendered on the page
  int failed_blocks = 0;   // of which show an error box
  std::string error_text;  // why the run failed (as in its "Errore RunDashboardGeneration" line)
};

// Writes the dashboard page of dashboardName to Settings.OutputFile, optionally opens it, logs
// each step, and tells how it went in outcome. Never throws: a failure is logged, reported unless
// silent, and gives false.
bool RunDashboardGeneration(AppContext& ctx, bool openBrowser, bool silent,
                            const std::string& dashboardName, GenerationOutcome& outcome);

// The page from the head to the closing tags, the blocks in the order of ctx.blocks (the run has
// sorted them once); the selected ones are copied before any worker starts, and each body is
// appended in page order.
// spill_folder: where bodies that are not yet their turn may wait ("" keeps them in memory).
// Each block whose box shows an error is logged as soon as every block above it has ended (page
// order, each line with its own time), also when the run then stops, and counted in outcome.
void BuildDashboardHtml(AppContext& ctx, const std::string& dashboardName,
                        const std::string& spill_folder, PageOut& out, GenerationOutcome& outcome);

// Copies of the blocks a run of dashboardName renders (active, and of that dashboard or of every
// dashboard), in list order.
std::vector<Block> SelectedBlocks(const BlockList& blocks, const std::string& dashboardName);

// Exchange sort by SortOrder. Not stable: equal keys may change their order, and the page
// order of existing dashboards relies on exactly this sort.
void SortBlocks(BlockList& blocks);

}  // namespace panorello
