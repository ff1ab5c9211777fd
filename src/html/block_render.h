#pragma once
// One block's box: title, subtitle, separator and the body its render mode gives.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "db/connection.h"
#include "db/deadline.h"
#include "db/result/result_grid.h"
#include "html/page_out.h"
#include "storage/app_context.h"

namespace panorello {

// The AUTO test: every non-blank cell of columns 1 and up is numeric (false with < 2 columns).
bool IsChartData(const ResultGrid& grid, const RegionalSettings& regional);

enum class BodyKind { Table, Kpi, Chart, ChartTable };

// What a fetched result becomes for a trimmed, upper-cased mode (the AUTO rule for any other).
BodyKind ChooseBody(const ResultGrid& grid, const std::string& mode,
                    const RegionalSettings& regional);

// What a block's query and body need, held by value: a worker thread renders from its own copy,
// never from the application context.
struct BlockQueryEnv {
  Settings settings;
  ConnectionLimits limits;
  RegionalSettings regional;
  ConnectionPlace place;
  std::shared_ptr<const RunConnection> connection;  // worked out once for all the blocks
  QueryStop stop = {};  // the run's stop and its ledger of workers left behind
  // The connection kept between the blocks of one worker thread; nullptr: one per block.
  std::shared_ptr<WorkerConnection> worker = nullptr;
  static BlockQueryEnv Of(const AppContext& ctx) {
    ConnectionPlace place = ConnectionPlaceOf(ctx);
    auto connection = std::make_shared<const RunConnection>(ctx.settings, ctx.limits, place);
    return {ctx.settings,          ctx.limits,
            ctx.regional,          std::move(place),
            std::move(connection), QueryStop{.stuck = ctx.run.stuck}};
  }
};

// How a block's body ended: failed (the body is the error box, which adds a hint on what to
// check) with the error's own text; stopped by the run's stop (no box: the run ends); its worker
// left behind in a driver that did not give the statement up.
struct BlockOutcome {
  bool failed = false;
  std::string error;
  bool stopped = false;
  bool left_behind = false;
};

// Runs sql on a fresh connection from env.settings and renders the result; never fails: every
// error of the connection, the query or the renderers becomes the error box (and the outcome
// says so), except the run's stop, which leaves the body empty. Only a failure to write the page
// itself (PageWriteError) goes to the caller. name (the block's title) names the chart and the
// table box.
BlockOutcome RenderBlockQuery(const BlockQueryEnv& env, const std::string& sql,
                              const std::string& mode, PageOut& out, std::string_view name = {});

BlockOutcome RenderBlock(const BlockQueryEnv& env, const Block& block, PageOut& out);

}  // namespace panorello
