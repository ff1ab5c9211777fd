// Against real servers: PostgreSQL and MariaDB of the ctest fixture through their ODBC drivers,
// ODBC data sources in a test odbc.ini, and a silent server.
#include <gtest/gtest.h>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <cstdlib>
#include <string>

#include "db/db_test_support.h"
#include "db/stall_listener.h"
#include "support/test_support.h"
#include "util/error.h"

namespace panorello {
namespace {

using testing::ExpectSameAsGrid;
using testing::Explicit;
using testing::RecordingSink;
using testing::RowTexts;
using testing::Texts;

using ServerTest = testing::ServerTest;

TEST_F(ServerTest, PasswordsWithSemicolonBraceAndQuoteLogIn) {
  for (const char c : std::string(";}={"))
    ASSERT_NE(env_["SEMI_PASSWORD"].find(c), std::string::npos);
  for (const std::string& connection : {Postgres(env_["SEMI_USER"], env_["SEMI_PASSWORD"]),
                                        MariaDb(env_["SEMI_USER"], env_["SEMI_PASSWORD"])}) {
    std::string error;
    EXPECT_TRUE(TestConnection(Explicit(connection), {}, error)) << error;
  }
}

// The same login through data sources of psqlODBC and MariaDB's driver: the values of the
// settings reach the driver whole.
TEST_F(ServerTest, DataSourceLoginsCarrySeparatorsAndBraces) {
  testing::TempFolder folder;
  testing::WriteBytes(
      folder.File("odbc.ini"),
      "[Pg Semi]\nDriver=PostgreSQL Unicode\nServername=127.0.0.1\nPort=" + env_["PG_PORT"] +
          "\nDatabase=" + env_["DATABASE"] +
          "\n[Maria Semi]\nDriver=MariaDB Unicode\nServer=127.0.0.1\nPort=" + env_["MARIADB_PORT"] +
          "\nDatabase=" + env_["DATABASE"] + "\n");
  ASSERT_EQ(setenv("ODBCINI", folder.File("odbc.ini").c_str(), 1), 0);
  for (const char* dsn : {"Pg Semi", "Maria Semi"}) {
    const Settings s{.DbType = "ODBC",
                     .Database = dsn,
                     .User = env_["SEMI_USER"],
                     .Password = env_["SEMI_PASSWORD"]};
    std::string error;
    EXPECT_TRUE(TestConnection(s, {}, error)) << dsn << ": " << error;
  }
  unsetenv("ODBCINI");
}

TEST_F(ServerTest, RowsAcrossFetchBlocksCollectedOrStreamed) {
  auto pg = Pg();
  for (const char* sql :
       {"SELECT g AS n, g * 0.5::float8 AS half, TIMESTAMP '2024-01-01' + g * INTERVAL '1 minute' "
        "AS ts, CASE WHEN g % 7 = 0 THEN NULL ELSE 'r' || g END AS maybe, 1.50::numeric(5,2) AS d, "
        "g % 2 = 0 AS pari FROM generate_series(1, 25000) g",
        "SELECT 1 AS n WHERE false"}) {
    ExpectSameAsGrid(*pg, sql);
  }
  // No result columns, and a failure on row 2000 after the first row arrays were read.
  RecordingSink sink;
  EXPECT_THROW(pg->QueryRows("SET search_path TO public", sink), Error);
  EXPECT_THROW(pg->QueryRows("SELECT 1 / (2000 - g) AS x FROM generate_series(1, 3000) g", sink),
               Error);
}

TEST_F(ServerTest, ALongValueIsReadWithoutRunningTheStatementAgain) {
  // psqlODBC reports text columns at MaxVarcharSize: a 1 MB value far into the result (after
  // whole fetch blocks were handed on) is longer than its column said. The statement advances a
  // sequence once per execution.
  auto pg = Pg();
  pg->Execute("CREATE TEMPORARY SEQUENCE conta");
  const std::string sql =
      "SELECT g AS n, CASE WHEN g = 2900 THEN repeat('y', 1048576) ELSE 'r' || g END AS t, "
      "CASE WHEN g = 1 THEN nextval('conta') END AS s FROM generate_series(1, 3000) g ORDER BY g";
  RecordingSink sink;
  ASSERT_TRUE(pg->QueryRows(sql, sink));
  ASSERT_EQ(sink.rows.size(), 3000u);
  EXPECT_EQ(sink.rows[2899][1], "5:" + std::string(1048576, 'y'));
  EXPECT_EQ(sink.rows[2900][1], "5:r2901");
  EXPECT_EQ(RowTexts(*pg->Query("SELECT last_value FROM conta"), 0), Texts{"1"});
}

// The SQLite3 ODBC driver never frees a small block per connection: the driver's, not ours.
#if defined(__SANITIZE_ADDRESS__)
using DriverLeakAllowance = __lsan::ScopedDisabler;
#else
struct DriverLeakAllowance {};
#endif

// A data source of a test odbc.ini on the SQLite3 ODBC driver: its dates as the SQLite engine
// shows them.
TEST(OdbcDataSource, DateColumnsShowWhatTheSqliteEngineShows) {
  [[maybe_unused]] DriverLeakAllowance allowance;
  testing::TempFolder folder;
  const std::string db = folder.File("date.db");
  auto file = CreateSqliteDatabase(db, {});
  file->Execute("CREATE TABLE v (n INTEGER, quando DATETIME, giorno DATE)");
  file->Execute(
      "INSERT INTO v VALUES (1, '2024-03-05 14:30:00', '2024-03-05'), "
      "(2, '2024-03-05 00:00:00.250', '2024-02-29'), (3, 'n/d', '31/03/2024'), (4, '', NULL)");
  testing::WriteBytes(folder.File("odbc.ini"),
                      "[PanorelloTest]\nDriver=SQLite3\nDatabase=" + db + "\n");
  ASSERT_EQ(setenv("ODBCINI", folder.File("odbc.ini").c_str(), 1), 0);
  const std::string sql = "SELECT n, quando, giorno FROM v ORDER BY n";
  const std::optional<ResultGrid> engine = file->Query(sql);
  const std::optional<ResultGrid> odbc =
      OpenConnection(Settings{.DbType = "ODBC", .Database = "PanorelloTest"}, {})->Query(sql);
  unsetenv("ODBCINI");
  ASSERT_TRUE(engine && odbc);
  ASSERT_EQ(odbc->Rows(), 4u);
  for (size_t r = 0; r < 4; ++r) EXPECT_EQ(RowTexts(*odbc, r), RowTexts(*engine, r)) << r;
  EXPECT_EQ(RowTexts(*odbc, 0)[1], "05/03/2024 14:30:00");
  EXPECT_EQ(odbc->At(1, 1).type, CellType::DateTime);
  EXPECT_EQ(odbc->At(2, 2).type, CellType::Text);
}

TEST(ConnectTimeOut, SilentServerDoesNotHangTheConnection) {
  testing::StallListener silent({"silent"});
  ASSERT_TRUE(silent.ok());
  const std::string at = "Server=" + silent.host() + ";Port=" + silent.port() + ";";
  testing::TempFolder folder;
  // The MariaDB driver ignores the login time-out attribute: a data source's driver is looked up
  // so that the driver's own option applies.
  testing::WriteBytes(folder.File("odbc.ini"),
                      "[Silenzio]\nDriver=MariaDB Unicode\nServer=" + silent.host() +
                          "\nPort=" + silent.port() + "\nDatabase=d\n");
  ASSERT_EQ(setenv("ODBCINI", folder.File("odbc.ini").c_str(), 1), 0);
  const Settings cases[] = {
      {.DbType = "MYSQL", .Server = silent.host() + ":" + silent.port()},
      {.DbType = "POSTGRESQL", .Server = silent.host() + ":" + silent.port()},
      Explicit("Driver={PostgreSQL Unicode};" + at + "Database=d;Uid=u;Pwd=p;"),
      {.DbType = "ODBC", .Database = "Silenzio"}};
  for (const Settings& s : cases) {
    // Without a time-out of its own the connection waits for as long as the listener lives.
    std::string error;
    const double seconds = testing::SecondsTaken(
        [&] { EXPECT_FALSE(TestConnection(s, ConnectionLimits{.connect_seconds = 2}, error)); });
    EXPECT_LT(seconds, 8) << BuildConnectionString(s) << ": " << error;
  }
  unsetenv("ODBCINI");
}

}  // namespace
}  // namespace panorello
