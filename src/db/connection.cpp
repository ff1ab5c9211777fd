#include "db/connection.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>

#include "db/access/access_cache.h"
#include "db/db_error.h"
#include "db/engines.h"
#include "db/error_hints.h"
#include "db/postgres/pg_engine.h"
#include "db/road_table.h"
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
  return ConnectionPlace{
      AppFile(ctx.app_folder, "cache"), {}, &ctx.clock, std::make_shared<AccessCopyFailures>()};
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

// Errors of working out or opening a target may repeat the string or a value of it (a path that
// swallowed the pairs after an unclosed brace): passwords never reach the page or the log.
template <typename Work>
auto WithPasswordsMasked(const Work& work) {
  try {
    return work();
  } catch (const DbError& e) {
    throw DbError(MaskPasswords(e.what()), e.diagnostic(), e.kind());
  } catch (const Error& e) {
    throw Error(MaskPasswords(e.what()), e.kind());
  }
}

}  // namespace

// What each connection of a run opens.
struct RunConnection::Plan {
  enum class Kind { kFile, kAccessCopy, kOdbc, kMariaDb, kPostgres };
  Kind kind = Kind::kOdbc;
  std::string path;    // kFile (SQLite or Access, the file decides), kAccessCopy
  std::string odbc;    // kOdbc: the complete string, the driver's options included
  std::string driver;  // kOdbc: its driver, or the driver of its data source
  MariaDbTarget mariadb;
  PostgresTarget postgres;
  bool side_by_side = false;
  bool this_machine = false;   // kMariaDb, kPostgres: the server runs here
  LocalZone zone;              // told to server sessions (PostgreSQL, MariaDB)
  std::exception_ptr failure;  // working it out failed: every open throws this
};

namespace {

using Plan = RunConnection::Plan;

Plan FilePlan(std::string path) {
  Plan plan{.kind = Plan::Kind::kFile, .path = std::move(path)};
  // An Access file is read through its copy by one block at a time.
  plan.side_by_side = sqlite3_threadsafe() != 0 && ProbeFile(plan.path) != FileFormat::Access;
  return plan;
}

Plan OdbcPlan(std::string odbc, std::string driver) {
  Plan plan{.kind = Plan::Kind::kOdbc, .odbc = std::move(odbc), .driver = std::move(driver)};
  plan.side_by_side = DriverIsThreadSafe(plan.driver);
  return plan;
}

Plan ConnectionStringPlan(const std::string& connection_string, const ConnectionLimits& limits) {
  const OpenTarget target = TranslateConnectionStringLazily(connection_string, DriversOrNone,
                                                            AsSqlite, BrowserLookup(limits));
  if (target.sqlite_file) return FilePlan(target.path);
  const std::string access = MdbToolsFile(target.odbc);
  if (!access.empty() && ProbeFile(access) == FileFormat::Access) {
    return Plan{.kind = Plan::Kind::kAccessCopy, .path = access};
  }
  // A data source named without a driver: its driver decides the options all the same.
  std::string dsn_driver;
  const std::vector<ConnectionPair> pairs = ParseConnectionString(target.odbc);
  const ConnectionPair* dsn = FindPair(pairs, "DSN");
  const ConnectionPair* driver = FindPair(pairs, "Driver");
  if (dsn != nullptr && driver == nullptr) dsn_driver = DataSourceDriverOrNone(dsn->value);
  return OdbcPlan(WithDriverOptions(target.odbc, limits, dsn_driver),
                  driver != nullptr ? driver->value : dsn_driver);
}

// A host that names this machine: none or a socket folder (a local socket), localhost, a
// loopback address.
bool IsThisMachine(const std::string& host) {
  const std::string h = LowerCase(Trim(host));
  return h.empty() || h.front() == '/' || h == "localhost" || h.rfind("127.", 0) == 0 ||
         h == "::1" || h == "[::1]";
}

Plan SettingsPlan(const Settings& settings, const ConnectionLimits& limits) {
  const ConnectionRoad road = RoadOf(settings);
  switch (road) {
    case ConnectionRoad::kConnectionString:
      return WithPasswordsMasked(
          [&] { return ConnectionStringPlan(settings.ConnectionString, limits); });
    case ConnectionRoad::kMariaDb: {
      Plan plan{.kind = Plan::Kind::kMariaDb, .mariadb = MariaDbTargetOf(settings)};
      plan.this_machine = IsThisMachine(plan.mariadb.host);
      return plan;
    }
    case ConnectionRoad::kPostgres: {
      LoadLibpq();  // before the blocks start: their time is then the server's
      Plan plan{.kind = Plan::Kind::kPostgres, .postgres = PostgresTargetOf(settings)};
      plan.this_machine = IsThisMachine(plan.postgres.host);
      return plan;
    }
    case ConnectionRoad::kDatabaseFile:
      return WithPasswordsMasked([&] {
        return FilePlan(DatabaseFileTarget(settings.Database, DriversOrNone, AsSqlite).path);
      });
    default:
      return WithPasswordsMasked([&] {
        OdbcTarget target = OdbcTargetOf(
            settings, limits, {DriversOrNone, BrowserLookup(limits), DataSourceDriverOrNone});
        return OdbcPlan(std::move(target.odbc), std::move(target.driver));
      });
  }
}

// plan_of(), or the plan that throws its failure at every open.
template <typename PlanOf>
Plan Resolve(const PlanOf& plan_of) {
  try {
    return plan_of();
  } catch (...) {
    return Plan{.failure = std::current_exception()};
  }
}

std::unique_ptr<Connection> OpenPlan(const Plan& plan, const ConnectionLimits& limits,
                                     const ConnectionPlace& place) {
  if (plan.failure) std::rethrow_exception(plan.failure);
  switch (plan.kind) {
    case Plan::Kind::kMariaDb:
      return OpenMariaDb(plan.mariadb, limits, plan.zone);
    case Plan::Kind::kPostgres:
      return OpenPostgres(plan.postgres, limits, plan.zone);
    case Plan::Kind::kFile:
      return WithPasswordsMasked([&] { return OpenDatabaseFile(plan.path, limits, place); });
    case Plan::Kind::kAccessCopy:
      return WithPasswordsMasked([&] { return OpenAccessFile(plan.path, place, limits); });
    case Plan::Kind::kOdbc:
      break;
  }
  return WithPasswordsMasked([&] { return OpenOdbc(plan.odbc, limits, plan.driver); });
}

}  // namespace

RunConnection::RunConnection(Settings settings, const ConnectionLimits& limits,
                             ConnectionPlace place)
    : settings_(std::move(settings)), limits_(limits), place_(std::move(place)) {}

RunConnection::~RunConnection() = default;

const RunConnection::Plan& RunConnection::Resolved() const {
  std::call_once(resolved_, [this] {
    plan_ = std::make_unique<Plan>(Resolve([this] { return SettingsPlan(settings_, limits_); }));
    if (RoadOf(settings_) != ConnectionRoad::kConnectionString &&
        RoadRowOf(settings_.DbType).side_by_side == SideBySide::kAlways) {
      plan_->side_by_side = true;
    }
    plan_->zone = place_.clock != nullptr ? place_.clock->Zone() : SystemLocalZone();
  });
  return *plan_;
}

std::unique_ptr<Connection> RunConnection::Open() const {
  return OpenPlan(Resolved(), limits_, place_);
}

bool RunConnection::SideBySide() const { return Resolved().side_by_side; }

bool RunConnection::ServerOnThisMachine() const { return Resolved().this_machine; }

std::unique_ptr<Connection> OpenConnectionString(const std::string& connection_string,
                                                 const ConnectionLimits& limits,
                                                 const ConnectionPlace& place) {
  const Plan plan = Resolve([&] {
    return WithPasswordsMasked([&] { return ConnectionStringPlan(connection_string, limits); });
  });
  return OpenPlan(plan, limits, place);  // no server road: no zone to tell
}

std::unique_ptr<Connection> OpenConnection(const Settings& settings, const ConnectionLimits& limits,
                                           const ConnectionPlace& place) {
  return RunConnection(settings, limits, place).Open();
}

bool OpensDatabaseFile(const Settings& settings) {
  try {
    switch (RoadOf(settings)) {
      case ConnectionRoad::kDatabaseFile:
        return true;
      case ConnectionRoad::kConnectionString: {
        const OpenTarget target =
            TranslateConnectionStringLazily(settings.ConnectionString, DriversOrNone, AsSqlite);
        return target.sqlite_file || !MdbToolsFile(target.odbc).empty();
      }
      default:
        return false;
    }
  } catch (const std::exception&) {
    return false;
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

bool RoadRunsBlocksSideBySide(const Settings& settings) {
  return RunConnection(settings, ConnectionLimits{}, ConnectionPlace{}).SideBySide();
}

}  // namespace panorello
