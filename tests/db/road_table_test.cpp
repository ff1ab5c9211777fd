// The DBTYPE codes and what follows from each of them.
#include "db/road_table.h"

#include <gtest/gtest.h>

#include <string>

#include "util/text.h"

namespace panorello {
namespace {

TEST(RoadTable, CodesUnknownCodesAndDrivers) {
  for (const RoadRow& row : KnownRoads()) {
    // Blanks around it and any letter case find the same row.
    EXPECT_EQ(&RoadRowOf("  " + LowerCase(row.code) + " "), &row) << row.code;
    EXPECT_TRUE(row.own_login) << row.code;
  }
  // Only spaces are trimmed; anything else is SQL Server with the system's own login.
  for (const char* other : {"", "SQLITE", "MY SQL", "\tACCESS"}) {
    EXPECT_FALSE(IsKnownDbType(other)) << other;
    EXPECT_EQ(RoadRowOf(other).road, ConnectionRoad::kSqlServer) << other;
    EXPECT_FALSE(RoadRowOf(other).own_login) << other;
  }
  EXPECT_EQ(KnownCodesText(), "SQLSERVER, ACCESS, ORACLE, MYSQL, POSTGRESQL o ODBC");

  const struct {
    const char* driver;  // a registered name or a library file
    const char* package;
    ServerFamily family;
    bool thread_safe;
  } drivers[] = {
      {"PostgreSQL Unicode", "odbc-postgresql", ServerFamily::kPostgres, true},
      {"/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so", "odbc-postgresql", ServerFamily::kPostgres,
       true},
      {"MariaDB Unicode", "odbc-mariadb", ServerFamily::kMariaDb, true},
      {"MySQL ODBC 8.0 Unicode Driver", "odbc-mariadb", ServerFamily::kMariaDb, true},
      {"FreeTDS", "tdsodbc", ServerFamily::kSqlServer, true},
      {"ODBC Driver 18 for SQL Server", "tdsodbc", ServerFamily::kSqlServer, true},
      {"SQLite3", "libsqliteodbc", ServerFamily::kUnknown, false},
      {"MDBTools", "odbc-mdbtools", ServerFamily::kSqlite, false},
  };
  for (const auto& d : drivers) {
    const RoadRow* row = RoadOfDriver(d.driver);
    ASSERT_NE(row, nullptr) << d.driver;
    EXPECT_EQ(row->driver_package, d.package) << d.driver;
    EXPECT_EQ(row->family, d.family) << d.driver;
    EXPECT_EQ(DriverIsThreadSafe(d.driver), d.thread_safe) << d.driver;
  }
  EXPECT_EQ(RoadOfDriver("Pervasive"), nullptr);
}

}  // namespace
}  // namespace panorello
