#pragma once
// The database types (DBTYPE codes) and everything that follows from each of them: one row per
// code. Every other file reads the codes from here.
#include <span>
#include <string>
#include <string_view>

#include "db/db_error.h"
#include "storage/settings.h"

namespace panorello {

// Where the connection of a Settings record goes.
enum class ConnectionRoad {
  kConnectionString,  // CONNECTIONSTRING is set: it is translated and opened as written
  kMariaDb,           // the MariaDB client library
  kPostgres,          // libpq
  kDatabaseFile,      // a SQLite or Access file
  kSqlServer,         // an ODBC driver for SQL Server
  kOracle,            // an ODBC driver for Oracle
  kDataSource,        // an ODBC data source name
};

// Whether the blocks of a run may use several connections at once.
enum class SideBySide {
  kAlways,    // the client library keeps no state between connections
  kByTarget,  // the file or the ODBC driver that the settings reach decides
};

struct RoadRow {
  std::string_view code;  // upper case; "" for the row of every unknown code
  ConnectionRoad road;
  // The window's sample for the connection-string field when this type is picked; "": none.
  std::string_view window_template;
  // The provider form of BuildConnectionString.
  std::string (*provider_text)(const Settings& settings);
  SideBySide side_by_side;
  // Its ODBC driver: the Debian package, the parts (lower case) that name it in a driver name or
  // library file, and the parts of the drivers known to be safe with one connection per thread.
  std::string_view driver_package;
  std::span<const std::string_view> driver_names;
  std::span<const std::string_view> thread_safe_drivers;
  ServerFamily family;
  bool own_login = true;  // false: the system's own login whatever INTEGRATED says
};

// The known codes, in the order the window lists them.
std::span<const RoadRow> KnownRoads();

// The row of a DBTYPE text (blanks around it removed, any letter case); for an unknown code or a
// blank one, the row of SQL Server with the system's own login.
const RoadRow& RoadRowOf(std::string_view db_type);
bool IsKnownDbType(std::string_view db_type);

// The row of a road's first code (the database file: ACCESS).
const RoadRow& RowOfRoad(ConnectionRoad road);

// The row whose driver an ODBC driver name or library file names, or nullptr; the rows are tried
// in table order.
const RoadRow* RoadOfDriver(std::string_view driver);

// Whether a driver name or library file names a driver known to be safe side by side.
bool DriverIsThreadSafe(std::string_view driver);

// The known codes for a message: "SQLSERVER, ACCESS, ORACLE, MYSQL, POSTGRESQL o ODBC".
std::string KnownCodesText();

// CONNECTIONSTRING when it is not blank, otherwise the road of the DBTYPE row.
ConnectionRoad RoadOf(const Settings& settings);

}  // namespace panorello
