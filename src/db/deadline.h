#pragma once
// One block's database work under a deadline kept by the program itself: the connection is
// opened and the statement run on a worker thread, while the calling thread receives the rows and
// watches the time and the run's stop. When the time is up or the run stops, the statement is
// cancelled and the caller gets the time-out (or stop) error at once; a worker stuck in a driver
// that ignores the cancel is left behind and counted until it ends.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/worker_connection.h"
#include "storage/settings.h"
#include "util/cancel.h"
#include "util/error.h"

namespace panorello {

// The Italian time-out errors (ErrorKind::kTimeout) for the two limits, and for opening a
// database file (no server to check).
Error ConnectTimeoutError(int seconds);
Error QueryTimeoutError(int seconds);
Error FileOpenTimeoutError(int seconds);

// What opening is: a server connection has limits.connect_seconds; a database file (SQLite, whose
// lock is waited for up to the query limit, or Access, whose copy may take both limits) has the
// connect and query limits together, plus a moment for its own error to arrive first.
struct OpenKind {
  bool database_file = false;
};

// What a block's query shares with its run.
struct QueryStop {
  const CancelToken* cancel = nullptr;  // the run's stop: the statement is cancelled as on time-out
  std::shared_ptr<StuckWorkers> stuck;  // workers left behind, by road; nullptr: not counted
  int road = 0;                         // the road of the connection, for stuck
};

// The time-out or stop error of a query whose worker did not end within a moment of its cancel:
// it is left inside the driver (and counted in stuck until it ends).
class AbandonedQueryError final : public Error {
 public:
  using Error::Error;
};

// Opens a connection; runs on the worker thread, so it holds its own copies of what it needs.
using ConnectionOpener = std::function<std::unique_ptr<Connection>()>;

// open, then sql on that connection with its rows handed to sink on the calling thread. The
// connection has limits.connect_seconds from the start to open; from then on the statement and its
// rows have limits.query_seconds, measured on the steady clock. Returns whether any row came.
// Throws what the connection threw, the time-out error of the limit that passed, the stop's error
// (ErrorKind::kCancelled) once stop.cancel is raised, or, without starting anything, an error when
// the road already holds as many workers left behind as stop.stuck allows. With worker, the
// connection it keeps is used instead of open when it can take the statement, and the connection
// goes back to it afterwards unless the statement was given up (time-out, stop) or the
// connection cannot serve another one.
bool QueryRowsWithDeadline(const ConnectionOpener& open, const std::string& sql, RowSink& sink,
                           const ConnectionLimits& limits, const QueryStop& stop = {},
                           OpenKind kind = {}, std::shared_ptr<WorkerConnection> worker = nullptr);

// The same with the rows collected; std::nullopt when the statement returned none.
std::optional<ResultGrid> QueryWithDeadline(const ConnectionOpener& open, const std::string& sql,
                                            const ConnectionLimits& limits,
                                            const QueryStop& stop = {}, OpenKind kind = {},
                                            std::shared_ptr<WorkerConnection> worker = nullptr);

// What the page's blocks use: the run's connection as the opener, its road for stop.road.
bool BlockQueryRows(const std::shared_ptr<const RunConnection>& connection,
                    const ConnectionLimits& limits, const std::string& sql, RowSink& sink,
                    const QueryStop& stop = {}, std::shared_ptr<WorkerConnection> worker = nullptr);
std::optional<ResultGrid> BlockQuery(const std::shared_ptr<const RunConnection>& connection,
                                     const ConnectionLimits& limits, const std::string& sql,
                                     const QueryStop& stop = {},
                                     std::shared_ptr<WorkerConnection> worker = nullptr);

}  // namespace panorello
