#pragma once
// One block's database work under a deadline kept by the program itself: the connection is
// opened and the statement run on a worker thread, while the calling thread receives the rows and
// watches the time. When the time is up the statement is cancelled and the caller gets a time-out
// error at once; a worker stuck in a driver that ignores the cancel is left behind.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/connection.h"
#include "storage/settings.h"
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

// Opens a connection; runs on the worker thread, so it holds its own copies of what it needs.
using ConnectionOpener = std::function<std::unique_ptr<Connection>()>;

// open, then sql on that connection with its rows handed to sink on the calling thread. The
// connection has limits.connect_seconds from the start to open; from then on the statement and its
// rows have limits.query_seconds, measured on the steady clock. Returns whether any row came.
// Throws what the connection threw, or the time-out error of the limit that passed.
bool QueryRowsWithDeadline(const ConnectionOpener& open, const std::string& sql, RowSink& sink,
                           const ConnectionLimits& limits, OpenKind kind = {});

// The same with the rows collected; std::nullopt when the statement returned none.
std::optional<ResultGrid> QueryWithDeadline(const ConnectionOpener& open, const std::string& sql,
                                            const ConnectionLimits& limits, OpenKind kind = {});

// What the page's blocks use: the run's connection as the opener.
bool BlockQueryRows(const std::shared_ptr<const RunConnection>& connection,
                    const ConnectionLimits& limits, const std::string& sql, RowSink& sink);
std::optional<ResultGrid> BlockQuery(const std::shared_ptr<const RunConnection>& connection,
                                     const ConnectionLimits& limits, const std::string& sql);

}  // namespace panorello
