#pragma once
// Database connections over two engines: unixODBC for servers and DSNs, libsqlite3 for files.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/result_grid.h"
#include "storage/app_context.h"
#include "storage/settings.h"

namespace panorello {

// Receives a result row by row, for bodies that are written while the rows arrive.
class RowSink {
 public:
  virtual ~RowSink() = default;
  // Once, after the statement ran and before its first row (also when no row follows).
  virtual void Columns(const std::vector<std::string>& names) = 0;
  // One row: count cells, left to right. The views are valid during the call only.
  virtual void Row(const CellView* cells, size_t count) = 0;
  // Everything received so far is void: the result is read again from the start (Columns, then
  // the rows). Happens when a driver reported a value size that was too small.
  virtual void Restart() = 0;
};

class Connection {
 public:
  virtual ~Connection() = default;
  // Runs one statement and fetches its whole result; std::nullopt when it returned no rows.
  // Throws Error (the database's own message) on failure, for an empty text and for a statement
  // without result columns.
  virtual std::optional<ResultGrid> Query(const std::string& sql) = 0;
  // Runs one statement and hands its rows to sink as they are read, without holding the result;
  // returns whether any row came. Fails as Query does; a failure may come after some rows.
  virtual bool QueryRows(const std::string& sql, RowSink& sink) = 0;
  // Runs one statement whose result is not read.
  virtual void Execute(const std::string& sql) = 0;
};

// Opens a connection string (after translation of the provider forms); a database file is opened
// read-only. Throws Error.
std::unique_ptr<Connection> OpenConnectionString(const std::string& connection_string,
                                                 const ConnectionLimits& limits);

// BuildConnectionString of settings, then OpenConnectionString.
std::unique_ptr<Connection> OpenConnection(const Settings& settings, const ConnectionLimits& limits);

// True when a connection could be opened (and was closed again); otherwise false and errorText
// holds the driver's description.
bool TestConnection(const Settings& settings, const ConnectionLimits& limits, std::string& errorText);

// A new SQLite database file (fails when the file already exists); used by the sample database.
std::unique_ptr<Connection> CreateSqliteDatabase(const std::string& path, const ConnectionLimits& limits);

// An existing SQLite database file opened for writing (the sample database is filled this way).
std::unique_ptr<Connection> OpenSqliteDatabaseForWriting(const std::string& path,
                                                         const ConnectionLimits& limits);

}  // namespace panorello
