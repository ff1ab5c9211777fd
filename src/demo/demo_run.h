#pragma once
#include <functional>
#include <string>

#include "html/generation.h"
#include "storage/app_context.h"

namespace panorello {

// Switches Settings (in memory) to the sample database and the demo page.
void ApplyDemoSettings(AppContext& ctx);

// What the window does between the steps of a demo run; the batch /DEMO leaves them empty.
struct DemoHooks {
  std::function<void()> settings_applied;  // show DbType, Server, Database, PageTitle, OutputFile
  std::function<void()> blocks_loaded;     // refill the block list
};

enum class DemoOutcome { DatabaseFailed, GenerationFailed, Succeeded };

struct DemoResult {
  DemoOutcome outcome = DemoOutcome::DatabaseFailed;
  std::string error_text;        // when the database could not be created
  GenerationOutcome generation;  // the run's outcome, once it ran
};

// The demo steps shared by the window and /DEMO: CreateDemoDatabase, ApplyDemoSettings,
// blocks_demo.ini when present (ShippedFile), RunDashboardGeneration(open_browser, silent,
// "DEMO"). Message boxes are the caller's. Only a batch run without a graphical session passes
// open_browser false.
DemoResult RunDemo(AppContext& ctx, bool silent, const DemoHooks& hooks = {},
                   bool open_browser = true);

}  // namespace panorello
