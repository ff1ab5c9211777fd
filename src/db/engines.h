#pragma once
// The two engines behind Connection. Internal to src/db.
#include <memory>
#include <string>
#include <vector>

#include "db/connection.h"
#include "storage/app_context.h"

namespace panorello {

enum class SqliteAccess {
  ReadOnly,   // an existing file that the statements cannot change
  ReadWrite,  // an existing file; never creates one
  CreateNew,  // a new file that must not exist yet
};

// A SQLite database file. Throws Error.
std::unique_ptr<Connection> OpenSqliteFile(const std::string& path, const ConnectionLimits& limits,
                                           SqliteAccess access);

// An ODBC connection string as the driver manager reads it. Throws Error with the first
// diagnostic message.
std::unique_ptr<Connection> OpenOdbc(const std::string& connection_string,
                                     const ConnectionLimits& limits);

// The driver names registered with the driver manager (odbcinst.ini).
std::vector<std::string> RegisteredOdbcDrivers();

// The driver of a data source name (odbc.ini, user or system), or "" when there is none.
std::string DataSourceDriver(const std::string& dsn);

}  // namespace panorello
