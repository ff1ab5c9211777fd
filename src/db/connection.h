#pragma once
// Database connections: libpq for the POSTGRESQL type, the MariaDB client library for MYSQL,
// unixODBC for other servers and DSNs, libsqlite3 for files (Access files through a SQLite copy).
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "db/result/result_grid.h"
#include "db/road_table.h"
#include "storage/connection_limits.h"
#include "storage/settings.h"
#include "util/clock.h"

namespace panorello {

struct AppContext;
class AccessCopyFailures;

// Receives a result row by row, for bodies that are written while the rows arrive.
class RowSink {
 public:
  virtual ~RowSink() = default;
  // Once, after the statement ran and before its first row (also when no row follows).
  virtual void Columns(const std::vector<std::string>& names) = 0;
  // One row: count cells, left to right. The views are valid during the call only.
  virtual void Row(const CellView* cells, size_t count) = 0;
};

// Collects the rows into a ResultGrid: how a whole result is read.
class GridSink final : public RowSink {
 public:
  void Columns(const std::vector<std::string>& names) override { grid_ = ResultGrid(names); }
  void Row(const CellView* cells, size_t count) override {
    for (size_t c = 0; c < count; ++c) grid_.Add(cells[c]);
  }
  ResultGrid Take() { return std::move(grid_); }

 private:
  ResultGrid grid_;
};

class Connection {
 public:
  virtual ~Connection() = default;
  // Runs one statement and hands its rows to sink as they are read, without holding the result;
  // returns whether any row came. The statement runs once, whatever sizes its values have.
  // Throws Error (DbError with the database's codes and own message) on failure, for an empty
  // text and for a statement without result columns; a failure may come after some rows.
  virtual bool QueryRows(const std::string& sql, RowSink& sink) = 0;
  // QueryRows into a GridSink: the whole result; std::nullopt when it returned no rows.
  virtual std::optional<ResultGrid> Query(const std::string& sql);
  // Runs one statement whose result is not read.
  virtual void Execute(const std::string& sql) = 0;
  // Asks the statement that another thread is running on this connection to stop, on the server
  // too; returns without waiting for the statement (a driver may still wait for the server). The
  // statement then fails. Every engine has one: a time-out and a run's stop rely on it.
  virtual void Cancel() noexcept = 0;
  // Whether the connection may run another block's statement, with nothing left of the blocks
  // before it (an engine without a way to clean its session up says no; so does one that is
  // broken, was cancelled or is in the middle of a statement). Asked on the thread that uses it,
  // between statements; it costs no round trip.
  virtual bool Reusable() noexcept { return false; }
  // The next statement runs in a new session, with nothing left of the statements before it; an
  // engine resets its session then, in the same round trip as the statement where it can.
  virtual void StartNewSession() noexcept {}
};

// What opening a connection may need from the program besides its limits.
struct ConnectionPlace {
  std::string cache_folder;      // where the SQLite copies of Access files are kept
  std::string access_copier;     // the program that makes them; "": beside the executable
  const Clock* clock = nullptr;  // Now() and Date() of Access files; nullptr: system time
  // The Access copies that failed in this run, shared by its blocks; nullptr: none kept.
  std::shared_ptr<AccessCopyFailures> access_failures;
};

// cache_folder: "cache" in the program's data folder; the context's clock; a new record of failed
// Access copies (one per run).
ConnectionPlace ConnectionPlaceOf(const AppContext& ctx);

// Opens a connection string (after translation of the provider forms); a database file is opened
// read-only. Throws Error.
std::unique_ptr<Connection> OpenConnectionString(const std::string& connection_string,
                                                 const ConnectionLimits& limits,
                                                 const ConnectionPlace& place = {});

// Opens the connection of settings by its road (RoadOf): the explicit connection string through
// OpenConnectionString, the other types from their fields; a database file is opened read-only.
// Throws Error. RunConnection(settings, limits, place).Open().
std::unique_ptr<Connection> OpenConnection(const Settings& settings, const ConnectionLimits& limits,
                                           const ConnectionPlace& place = {});

// Whether settings open a database file (SQLite, or Access through its copy) rather than a server
// or a data source.
bool OpensDatabaseFile(const Settings& settings);

// The connection of a run's settings, worked out once (at the first call, on any thread): the
// road, the target every block opens and whether the blocks may run side by side. A target that
// cannot be worked out makes every Open throw the same error.
class RunConnection {
 public:
  RunConnection(Settings settings, const ConnectionLimits& limits, ConnectionPlace place = {});
  ~RunConnection();
  RunConnection(const RunConnection&) = delete;
  RunConnection& operator=(const RunConnection&) = delete;

  // A new connection to the target; a database file is opened read-only. Throws Error.
  std::unique_ptr<Connection> Open() const;
  // See RoadRunsBlocksSideBySide.
  bool SideBySide() const;
  // See OpensDatabaseFile.
  bool OpensFile() const { return OpensDatabaseFile(settings_); }
  // Whether the server runs on this machine (a loopback address, localhost or a local socket):
  // its logins then take the same cores as the blocks.
  bool ServerOnThisMachine() const;
  // The road of its settings (workers left behind are counted by road).
  ConnectionRoad Road() const { return RoadOf(settings_); }

  struct Plan;

 private:
  const Plan& Resolved() const;

  Settings settings_;
  ConnectionLimits limits_;
  ConnectionPlace place_;
  mutable std::once_flag resolved_;
  mutable std::unique_ptr<Plan> plan_;
};

// True when a connection could be opened (and was closed again); otherwise false and errorText
// holds the driver's description.
bool TestConnection(const Settings& settings, const ConnectionLimits& limits,
                    std::string& errorText, const ConnectionPlace& place = {});

// A new SQLite database file (fails when the file already exists); used by the sample database.
std::unique_ptr<Connection> CreateSqliteDatabase(const std::string& path,
                                                 const ConnectionLimits& limits);

// An existing SQLite database file opened for writing (the sample database is filled this way).
std::unique_ptr<Connection> OpenSqliteDatabaseForWriting(const std::string& path,
                                                         const ConnectionLimits& limits);

}  // namespace panorello

namespace panorello {

// True when the blocks of a run may talk to the database of settings from several threads at
// once, each on its own connection: SQLite files (libsqlite3 built thread-safe) and the ODBC
// drivers known to be safe for that (PostgreSQL, MariaDB/MySQL, FreeTDS). Any other driver, and
// a connection string that cannot be read, gives false: its blocks run one after the other.
bool RoadRunsBlocksSideBySide(const Settings& settings);

}  // namespace panorello
