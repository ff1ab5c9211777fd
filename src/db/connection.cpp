#include "db/connection.h"

#include <algorithm>
#include <fstream>
#include <string>

#include "db/connection_string.h"
#include "db/engines.h"
#include "db/provider_translation.h"
#include "util/error.h"

namespace panorello {

namespace {

// A Jet or ACE database file starts with a fixed signature; SQLite files and everything else
// go to libsqlite3, which names what is wrong with them.
FileFormat ProbeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return FileFormat::Missing;
  char header[20] = {};
  in.read(header, sizeof header);
  const std::string_view signature(header + 4, static_cast<size_t>(std::max<std::streamsize>(in.gcount() - 4, 0)));
  if (signature.rfind("Standard Jet DB", 0) == 0 || signature.rfind("Standard ACE DB", 0) == 0) {
    return FileFormat::Access;
  }
  return FileFormat::Other;
}

// The registered drivers, or none when the driver manager cannot be asked (a SQLite file still
// opens then).
std::vector<std::string> DriversOrNone() {
  try {
    return RegisteredOdbcDrivers();
  } catch (const Error&) {
    return {};
  }
}

}  // namespace

std::unique_ptr<Connection> OpenConnectionString(const std::string& connection_string,
                                                 const ConnectionLimits& limits) {
  const OpenTarget target =
      TranslateConnectionStringLazily(connection_string, DriversOrNone, ProbeFile);
  // Block queries and the connection test only read: the company's file stays as it is.
  if (target.sqlite_file) return OpenSqliteFile(target.path, limits, SqliteAccess::ReadOnly);
  // A data source named without a driver: its driver decides the options all the same.
  std::string dsn_driver;
  const std::vector<ConnectionPair> pairs = ParseConnectionString(target.odbc);
  const ConnectionPair* dsn = FindPair(pairs, "DSN");
  if (dsn != nullptr && FindPair(pairs, "Driver") == nullptr) {
    try {
      dsn_driver = DataSourceDriver(dsn->value);
    } catch (const Error&) {
      // Then the driver manager reports the problem when it opens the string.
    }
  }
  return OpenOdbc(WithDriverOptions(target.odbc, limits, dsn_driver), limits);
}

std::unique_ptr<Connection> OpenConnection(const Settings& settings, const ConnectionLimits& limits) {
  return OpenConnectionString(BuildConnectionString(settings), limits);
}

bool TestConnection(const Settings& settings, const ConnectionLimits& limits,
                    std::string& errorText) {
  try {
    std::unique_ptr<Connection> connection = OpenConnection(settings, limits);
    connection.reset();  // closed again
    return true;
  } catch (const std::exception& e) {
    errorText = e.what();
    return false;
  }
}

std::unique_ptr<Connection> CreateSqliteDatabase(const std::string& path,
                                                 const ConnectionLimits& limits) {
  return OpenSqliteFile(path, limits, SqliteAccess::CreateNew);
}

std::unique_ptr<Connection> OpenSqliteDatabaseForWriting(const std::string& path,
                                                         const ConnectionLimits& limits) {
  return OpenSqliteFile(path, limits, SqliteAccess::ReadWrite);
}

}  // namespace panorello
