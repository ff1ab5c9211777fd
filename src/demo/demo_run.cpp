#include "demo/demo_run.h"

#include "db/road_table.h"
#include "demo/demo_db.h"
#include "html/generation.h"
#include "storage/blocks_file.h"
#include "util/files.h"

namespace panorello {

void ApplyDemoSettings(AppContext& ctx) {
  Settings& s = ctx.settings;
  s.DbType = std::string(RowOfRoad(ConnectionRoad::kDatabaseFile).code);
  s.Database = DemoDbPath(ctx);
  s.ConnectionString.clear();
  s.Server.clear();
  s.User.clear();
  s.Password.clear();
  s.Integrated = false;
  s.PageTitle = "Panorello Demo - Zavo Software";
  s.OutputFile = ctx.AppFile("dashboard_demo.html");
  s.OpenBrowser = true;
}

DemoResult RunDemo(AppContext& ctx, bool silent, const DemoHooks& hooks, bool open_browser) {
  DemoResult result;
  std::string error_text;
  if (!CreateDemoDatabase(ctx, error_text)) {
    result.outcome = DemoOutcome::DatabaseFailed;
    result.error_text = error_text;
    return result;
  }
  ApplyDemoSettings(ctx);
  if (hooks.settings_applied) hooks.settings_applied();

  const std::string blocks_path = ctx.ShippedFile("blocks_demo.ini");
  if (FileExists(blocks_path)) {
    ctx.blocks.ClearBlocks();
    LoadBlocksFrom(ctx.blocks, blocks_path);
    if (hooks.blocks_loaded) hooks.blocks_loaded();
  }

  const bool ok = RunDashboardGeneration(ctx, open_browser, silent, "DEMO", result.generation);
  result.outcome = ok ? DemoOutcome::Succeeded : DemoOutcome::GenerationFailed;
  return result;
}

}  // namespace panorello
