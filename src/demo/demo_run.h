#pragma once
#include <functional>
#include <string>

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
  std::string error_text;  // when the database could not be created
};

// The demo steps shared by the window and /DEMO: CreateDemoDatabase, ApplyDemoSettings,
// blocks_demo.ini when present, RunDashboardGeneration(openBrowser true, silent, "DEMO").
// Message boxes are the caller's.
DemoResult RunDemo(AppContext& ctx, bool silent, const DemoHooks& hooks = {});

}  // namespace panorello
