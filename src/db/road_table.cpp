#include "db/road_table.h"

#include <algorithm>

#include "db/target/connection_string.h"
#include "util/text.h"

namespace panorello {

namespace {

constexpr std::string_view kSqlServerDrivers[] = {"freetds", "sql server", "tdsodbc"};
constexpr std::string_view kSqlServerSafe[] = {"freetds", "tdsodbc", "for sql server", "msodbcsql"};
constexpr std::string_view kAccessDrivers[] = {"mdb"};
constexpr std::string_view kMariaDbDrivers[] = {"mariadb", "mysql"};
constexpr std::string_view kMariaDbSafe[] = {"mariadb", "maodbc", "mysql"};
constexpr std::string_view kPostgresDrivers[] = {"postgres", "psqlodbc"};
constexpr std::string_view kPostgresSafe[] = {"postgresql", "psqlodbc"};
constexpr std::string_view kSqliteOdbcDrivers[] = {"sqlite"};

const RoadRow kRoads[] = {
    {.code = "SQLSERVER",
     .road = ConnectionRoad::kSqlServer,
     .provider_text = SqlServerProviderText,
     .side_by_side = SideBySide::kByTarget,
     .driver_package = "tdsodbc",
     .driver_names = kSqlServerDrivers,
     .thread_safe_drivers = kSqlServerSafe,
     .family = ServerFamily::kSqlServer},
    {.code = "ACCESS",
     .road = ConnectionRoad::kDatabaseFile,
     .provider_text = JetProviderText,
     .side_by_side = SideBySide::kByTarget,
     .driver_package = "odbc-mdbtools",
     .driver_names = kAccessDrivers,
     .family = ServerFamily::kSqlite},
    {.code = "ORACLE",
     .road = ConnectionRoad::kOracle,
     .window_template =
         "Provider=OraOLEDB.Oracle;Data Source=TNS_NAME;User ID=utente;Password=password;",
     .provider_text = OracleProviderText,
     .side_by_side = SideBySide::kByTarget,
     .family = ServerFamily::kUnknown},
    {.code = "MYSQL",
     .road = ConnectionRoad::kMariaDb,
     .window_template = "Driver={MySQL ODBC 8.0 Unicode Driver};Server=server;Database=nome_db;"
                        "User=utente;Password=password;",
     .provider_text = MySqlProviderText,
     .side_by_side = SideBySide::kAlways,
     .driver_package = "odbc-mariadb",
     .driver_names = kMariaDbDrivers,
     .thread_safe_drivers = kMariaDbSafe,
     .family = ServerFamily::kMariaDb},
    {.code = "POSTGRESQL",
     .road = ConnectionRoad::kPostgres,
     .window_template = "Driver={PostgreSQL Unicode};Server=server;Port=5432;Database=nome_db;"
                        "Uid=utente;Pwd=password;",
     .provider_text = PostgresProviderText,
     .side_by_side = SideBySide::kAlways,
     .driver_package = "odbc-postgresql",
     .driver_names = kPostgresDrivers,
     .thread_safe_drivers = kPostgresSafe,
     .family = ServerFamily::kPostgres},
    {.code = "ODBC",
     .road = ConnectionRoad::kDataSource,
     .window_template = "DSN=nome_dsn;Uid=utente;Pwd=password;",
     .provider_text = DataSourceProviderText,
     .side_by_side = SideBySide::kByTarget,
     .driver_package = "libsqliteodbc",  // the SQLite3 driver, the usual one of a local DSN
     .driver_names = kSqliteOdbcDrivers,
     .family = ServerFamily::kUnknown},
};

// Any other code: SQL Server with the system's own login.
const RoadRow kUnknownRoad = {.code = "",
                              .road = ConnectionRoad::kSqlServer,
                              .provider_text = SqlServerIntegratedProviderText,
                              .side_by_side = SideBySide::kByTarget,
                              .driver_package = "tdsodbc",
                              .driver_names = kSqlServerDrivers,
                              .thread_safe_drivers = kSqlServerSafe,
                              .family = ServerFamily::kSqlServer,
                              .own_login = false};

bool NamesAny(const std::string& lowered, std::span<const std::string_view> parts) {
  return std::any_of(parts.begin(), parts.end(), [&](std::string_view part) {
    return lowered.find(part) != std::string::npos;
  });
}

}  // namespace

std::span<const RoadRow> KnownRoads() { return kRoads; }

const RoadRow& RoadRowOf(std::string_view db_type) {
  const std::string code = UpperCase(Trim(db_type));
  for (const RoadRow& row : kRoads) {
    if (row.code == code) return row;
  }
  return kUnknownRoad;
}

bool IsKnownDbType(std::string_view db_type) { return !RoadRowOf(db_type).code.empty(); }

const RoadRow& RowOfRoad(ConnectionRoad road) {
  for (const RoadRow& row : kRoads) {
    if (row.road == road) return row;
  }
  return kUnknownRoad;
}

const RoadRow* RoadOfDriver(std::string_view driver) {
  const std::string lowered = AsciiLowerCase(driver);
  for (const RoadRow& row : kRoads) {
    if (NamesAny(lowered, row.driver_names)) return &row;
  }
  return nullptr;
}

bool DriverIsThreadSafe(std::string_view driver) {
  const std::string lowered = AsciiLowerCase(driver);
  return std::any_of(std::begin(kRoads), std::end(kRoads), [&](const RoadRow& row) {
    return NamesAny(lowered, row.thread_safe_drivers);
  });
}

std::string KnownCodesText() {
  std::string out;
  const size_t n = std::size(kRoads);
  for (size_t i = 0; i < n; ++i) {
    if (i > 0) out += i + 1 == n ? " o " : ", ";
    out += kRoads[i].code;
  }
  return out;
}

ConnectionRoad RoadOf(const Settings& settings) {
  if (!Trim(settings.ConnectionString).empty()) return ConnectionRoad::kConnectionString;
  return RoadRowOf(settings.DbType).road;
}

}  // namespace panorello
