#pragma once
// The engines behind Connection. Internal to src/db.
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/connection.h"
#include "util/error.h"
#include "util/local_zone.h"

struct sqlite3;

namespace panorello {

// The error of a statement text that holds no statement.
inline constexpr const char* kEmptyStatementText =
    "Testo SQL vuoto: nessuna istruzione da eseguire";

// Throws Error(kEmptyStatementText) when sql holds nothing but spaces, tabs and line breaks.
inline void RefuseBlankStatement(const std::string& sql) {
  if (sql.find_first_not_of(" \t\r\n") == std::string::npos) throw Error(kEmptyStatementText);
}

enum class SqliteAccess {
  ReadOnly,   // an existing file that the statements cannot change
  ReadWrite,  // an existing file; never creates one
  CreateNew,  // a new file that must not exist yet
};

// A SQLite database file. Throws Error.
std::unique_ptr<Connection> OpenSqliteFile(const std::string& path, const ConnectionLimits& limits,
                                           SqliteAccess access);

// A SQLite file that nothing changes any more (the copy of an Access file), read-only; setup runs
// on the new handle before its first statement (functions to register). Throws Error.
std::unique_ptr<Connection> OpenSqliteCopy(const std::string& path, const ConnectionLimits& limits,
                                           const std::function<void(sqlite3*)>& setup);

// An ODBC connection string as the driver manager reads it; driver (its name, or the driver of its
// data source) tells whose server answers. Throws Error with the first diagnostic message.
std::unique_ptr<Connection> OpenOdbc(const std::string& connection_string,
                                     const ConnectionLimits& limits, std::string_view driver);

// Where a MariaDB or MySQL server is and who logs in.
struct MariaDbTarget {
  std::string host;
  unsigned int port = 3306;
  std::string database;
  std::string user;
  std::string password;
};

// A MariaDB or MySQL server through its client library; rows stream from the server. Throws
// DbError with the server's codes.
// zone, when known, becomes the session's time zone.
std::unique_ptr<Connection> OpenMariaDb(const MariaDbTarget& target, const ConnectionLimits& limits,
                                        const LocalZone& zone = {});

// The driver names registered with the driver manager (odbcinst.ini).
std::vector<std::string> RegisteredOdbcDrivers();

// The driver of a data source name (odbc.ini, user or system), or "" when there is none.
std::string DataSourceDriver(const std::string& dsn);

}  // namespace panorello
