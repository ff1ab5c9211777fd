#include "db/connection.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>

#include "db/access/access_cache.h"
#include "db/db_error.h"
#include "db/engines.h"
#include "db/error_hints.h"
#include "db/postgres/pg_engine.h"
#include "db/target/connection_string.h"
#include "db/target/connection_target.h"
#include "db/target/provider_translation.h"
#include "db/target/sql_browser.h"
#include "storage/app_context.h"
#include "util/error.h"
#include "util/files.h"
#include "util/text.h"

namespace panorello {

namespace {

constexpr std::chrono::milliseconds kBrowserWait{2000};

// A Jet or ACE database file starts with a fixed signature; SQLite files and everything else
// go to libsqlite3, which names what is wrong with them.
FileFormat ProbeFile(const std::string& path) {
  struct stat st {};
  // Only a regular file is read: opening a FIFO would wait for a writer.
  if (::stat(path.c_str(), &st) != 0) return FileFormat::Missing;
  if (!S_ISREG(st.st_mode)) return FileFormat::Other;
  std::ifstream in(path, std::ios::binary);
  if (!in) return FileFormat::Missing;
  char header[20] = {};
  in.read(header, sizeof header);
  const std::string_view signature(
      header + 4, static_cast<size_t>(std::max<std::streamsize>(in.gcount() - 4, 0)));
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

// The file of an explicit MDBTools string ("Driver={MDBTools};DBQ=..."), or "".
std::string MdbToolsFile(const std::string& odbc) {
  const std::vector<ConnectionPair> pairs = ParseConnectionString(odbc);
  const ConnectionPair* driver = FindPair(pairs, "Driver");
  const ConnectionPair* file = FindPair(pairs, "DBQ");
  if (driver == nullptr || file == nullptr) return {};
  return LowerCase(driver->value).rfind("mdbtools", 0) == 0 ? file->value : std::string();
}

// SERVER as HOST, HOST:PORT or HOST,PORT (port 3306 when none is given).
MariaDbTarget MariaDbTargetOf(const Settings& settings) {
  MariaDbTarget t;
  t.host = Trim(settings.Server);
  if (const size_t sep = t.host.find_last_of(":,"); sep != std::string::npos) {
    unsigned int port = 0;
    const std::string digits = Trim(t.host.substr(sep + 1));
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (ec != std::errc{} || end != digits.data() + digits.size() || port == 0 || port > 65535) {
      throw Error("Porta non valida nel server " + settings.Server +
                  ": indicare il server come NOME oppure NOME:PORTA");
    }
    t.port = port;
    t.host = Trim(t.host.substr(0, sep));
  }
  t.database = settings.Database;
  t.user = settings.User;
  t.password = settings.Password;
  return t;
}

}  // namespace

// The browser's answer is short or never comes: its wait is a small part of the connect limit.
InstancePortLookup BrowserLookup(const ConnectionLimits& limits) {
  const auto wait = std::min<std::chrono::milliseconds>(
      std::chrono::seconds(limits.connect_seconds), kBrowserWait);
  return [wait](const std::string& host, const std::string& instance) {
    return SqlBrowserPort(host, instance, wait);
  };
}

ConnectionPlace ConnectionPlaceOf(const AppContext& ctx) {
  return ConnectionPlace{AppFile(ctx.app_folder, "cache"), {}, &ctx.clock};
}

std::optional<ResultGrid> Connection::Query(const std::string& sql) {
  GridSink sink;
  if (!QueryRows(sql, sink)) return std::nullopt;
  return sink.Take();
}

namespace {

// Access files go to their SQLite copy, never to the MDBTools ODBC driver: a database file is
// taken as if it were SQLite, then the file itself decides.
FileFormat AsSqlite(const std::string& path) {
  return ProbeFile(path) == FileFormat::Missing ? FileFormat::Missing : FileFormat::Other;
}

// Block queries and the connection test only read: the company's file stays as it is.
std::unique_ptr<Connection> OpenDatabaseFile(const std::string& path,
                                             const ConnectionLimits& limits,
                                             const ConnectionPlace& place) {
  if (ProbeFile(path) == FileFormat::Access) return OpenAccessFile(path, place, limits);
  return OpenSqliteFile(path, limits, SqliteAccess::ReadOnly);
}

// A data source whose driver cannot be learnt gets no options: the driver manager then reports
// the problem when it opens the string.
std::string DataSourceDriverOrNone(const std::string& dsn) {
  try {
    return DataSourceDriver(dsn);
  } catch (const Error&) {
    return {};
  }
}

std::unique_ptr<Connection> OpenTranslated(const std::string& connection_string,
                                           const ConnectionLimits& limits,
                                           const ConnectionPlace& place) {
  const OpenTarget target = TranslateConnectionStringLazily(connection_string, DriversOrNone,
                                                            AsSqlite, BrowserLookup(limits));
  if (target.sqlite_file) return OpenDatabaseFile(target.path, limits, place);
  const std::string access = MdbToolsFile(target.odbc);
  if (!access.empty() && ProbeFile(access) == FileFormat::Access) {
    return OpenAccessFile(access, place, limits);
  }
  // A data source named without a driver: its driver decides the options all the same.
  std::string dsn_driver;
  const std::vector<ConnectionPair> pairs = ParseConnectionString(target.odbc);
  const ConnectionPair* dsn = FindPair(pairs, "DSN");
  if (dsn != nullptr && FindPair(pairs, "Driver") == nullptr) {
    dsn_driver = DataSourceDriverOrNone(dsn->value);
  }
  return OpenOdbc(WithDriverOptions(target.odbc, limits, dsn_driver), limits);
}

// Errors of opening may repeat the string or a value of it (a path that swallowed the pairs
// after an unclosed brace): passwords never reach the page or the log.
template <typename Open>
std::unique_ptr<Connection> WithPasswordsMasked(const Open& open) {
  try {
    return open();
  } catch (const DbError& e) {
    throw DbError(MaskPasswords(e.what()), e.diagnostic(), e.kind());
  } catch (const Error& e) {
    throw Error(MaskPasswords(e.what()), e.kind());
  }
}

}  // namespace

std::unique_ptr<Connection> OpenConnectionString(const std::string& connection_string,
                                                 const ConnectionLimits& limits,
                                                 const ConnectionPlace& place) {
  return WithPasswordsMasked([&] { return OpenTranslated(connection_string, limits, place); });
}

std::unique_ptr<Connection> OpenConnection(const Settings& settings, const ConnectionLimits& limits,
                                           const ConnectionPlace& place) {
  switch (RoadOf(settings)) {
    case ConnectionRoad::kConnectionString:
      return OpenConnectionString(settings.ConnectionString, limits, place);
    case ConnectionRoad::kMariaDb:
      return OpenMariaDb(MariaDbTargetOf(settings), limits);
    case ConnectionRoad::kPostgres:
      return OpenPostgres(PostgresTargetOf(settings), limits);
    case ConnectionRoad::kDatabaseFile:
      return WithPasswordsMasked([&] {
        const OpenTarget file = DatabaseFileTarget(settings.Database, DriversOrNone, AsSqlite);
        return OpenDatabaseFile(file.path, limits, place);
      });
    default:
      return WithPasswordsMasked([&] {
        const OdbcTarget target = OdbcTargetOf(
            settings, limits, {DriversOrNone, BrowserLookup(limits), DataSourceDriverOrNone});
        return OpenOdbc(target.odbc, limits);
      });
  }
}

bool TestConnection(const Settings& settings, const ConnectionLimits& limits,
                    std::string& errorText, const ConnectionPlace& place) {
  try {
    std::unique_ptr<Connection> connection = OpenConnection(settings, limits, place);
    connection.reset();  // closed again
    return true;
  } catch (const std::exception& e) {
    errorText = DescribeFailure(e, settings);
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

namespace panorello {

namespace {

bool DriverIsThreadSafe(std::string_view name) {
  const std::string driver = LowerCase(name);
  // Registered names and library file names of the drivers that are safe with one connection per
  // thread. The MDBTools and SQLite3 ODBC drivers are not documented as thread-safe.
  static constexpr std::string_view kSafe[] = {"postgresql", "psqlodbc",       "mariadb",
                                               "maodbc",     "mysql",          "freetds",
                                               "tdsodbc",    "for sql server", "msodbcsql"};
  return std::any_of(std::begin(kSafe), std::end(kSafe),
                     [&](std::string_view part) { return driver.find(part) != std::string::npos; });
}

bool TargetRunsSideBySide(const OpenTarget& target) {
  if (target.sqlite_file) return sqlite3_threadsafe() != 0;
  const std::vector<ConnectionPair> pairs = ParseConnectionString(target.odbc);
  if (const ConnectionPair* driver = FindPair(pairs, "Driver")) {
    return DriverIsThreadSafe(driver->value);
  }
  if (const ConnectionPair* dsn = FindPair(pairs, "DSN")) {
    return DriverIsThreadSafe(DataSourceDriver(dsn->value));
  }
  return false;
}

}  // namespace

bool RoadRunsBlocksSideBySide(const Settings& settings) {
  try {
    switch (RoadOf(settings)) {
      case ConnectionRoad::kMariaDb:
      case ConnectionRoad::kPostgres:
        return true;  // their client libraries keep no state between connections
      case ConnectionRoad::kConnectionString:
        return TargetRunsSideBySide(
            TranslateConnectionStringLazily(settings.ConnectionString, DriversOrNone, ProbeFile));
      case ConnectionRoad::kDatabaseFile:
        return TargetRunsSideBySide(
            DatabaseFileTarget(settings.Database, DriversOrNone, ProbeFile));
      default:
        return DriverIsThreadSafe(
            OdbcTargetOf(settings, {}, {DriversOrNone, {}, DataSourceDriver}).driver);
    }
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace panorello
