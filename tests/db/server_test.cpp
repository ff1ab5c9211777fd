// Against real servers: PostgreSQL and MariaDB of the ctest fixture through their ODBC drivers,
// ODBC data sources in a test odbc.ini, and a silent server.
#include <gtest/gtest.h>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <cstdlib>
#include <string>

#include "db_test_support.h"
#include "stall_listener.h"
#include "support/test_support.h"
#include "util/error.h"

namespace panorello {
namespace {

using testing::ExpectSameAsGrid;
using testing::Explicit;
using testing::RecordingSink;
using testing::Repeat;
using testing::RowTexts;
using testing::Texts;

using ServerTest = testing::ServerTest;

TEST_F(ServerTest, PasswordsWithSemicolonBraceAndQuoteLogIn) {
  ASSERT_NE(env_["SEMI_PASSWORD"].find(';'), std::string::npos);
  for (const std::string& connection : {Postgres(env_["SEMI_USER"], env_["SEMI_PASSWORD"]),
                                        MariaDb(env_["SEMI_USER"], env_["SEMI_PASSWORD"])}) {
    std::string error;
    EXPECT_TRUE(TestConnection(Explicit(connection), {}, error)) << error;
  }
}

TEST_F(ServerTest, FailedLoginsGiveTheDriverMessage) {
  const std::pair<std::string, Texts> cases[] = {
      {Postgres(env_["USER"], "sbagliata"),
       {"password authentication failed for user \"" + env_["USER"] + "\""}},
      {MariaDb(env_["USER"], "sbagliata"),
       {"[ma-", "Access denied for user '" + env_["USER"] + "'"}},
      {"Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=" + env_["REFUSED_PORT"] +
           ";Database=x;Uid=u;Pwd=p;",
       {"Connection refused"}},
      {MariaDb("u", "p", "REFUSED_PORT"), {"Can't connect to server on '127.0.0.1'"}}};
  for (const auto& [connection, parts] : cases) {
    std::string error;
    EXPECT_FALSE(TestConnection(Explicit(connection), {}, error)) << connection;
    for (const std::string& part : parts) EXPECT_NE(error.find(part), std::string::npos) << error;
  }
}

TEST_F(ServerTest, EveryColumnTypeIntoCellText) {
  const auto [names, rows] = testing::StreamedRows(
      *Pg(),
      "SELECT 42::int, 9007199254740993::bigint, 7::smallint, 1234.5000::numeric(10,4), "
      "0.1::float8, 1.5::real, 'Perù – “più” € ✓'::text, 'abc'::varchar(5), true, false, "
      "DATE '2024-03-05', TIMESTAMP '2024-03-05 14:30:00', TIMESTAMP '2024-03-05 00:00:00', "
      "TIME '07:08:09', '\\x00ff10'::bytea, NULL::int, NULL::text, 1e20::float8, "
      "-0.00001::float8, 12345678901234567890.5::numeric");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], (Texts{"1:42",
                            "1:9007199254740993",
                            "1:7",
                            "4:1234,5",
                            "2:0,1",
                            "3:1,5",
                            "5:Perù – “più” € ✓",
                            "5:abc",
                            "9:True",
                            "9:False",
                            "7:05.03.2024",
                            "6:05.03.2024 14:30:00",
                            "6:05.03.2024",
                            "8:07:08:09",
                            "10:00FF10",
                            "0:",
                            "0:",
                            "2:1E+20",
                            "2:-1E-05",
                            "4:12345678901234567890,5"}));
}

TEST_F(ServerTest, QueryPastTheTimeOutIsStopped) {
  const ConnectionLimits limits{.query_seconds = 1};
  EXPECT_THROW(OpenConnectionString(Postgres(env_["USER"], env_["PASSWORD"]), limits)
                   ->Query("SELECT pg_sleep(5)"),
               Error);
  EXPECT_THROW(OpenConnectionString(MariaDb(env_["USER"], env_["PASSWORD"]), limits)
                   ->Query("SELECT SLEEP(5)"),
               Error);
}

TEST_F(ServerTest, RowsAcrossFetchBlocksCollectedOrStreamed) {
  auto pg = Pg();
  for (const char* sql :
       {"SELECT g AS n, g * 0.5::float8 AS half, TIMESTAMP '2024-01-01' + g * INTERVAL '1 minute' "
        "AS ts, CASE WHEN g % 7 = 0 THEN NULL ELSE 'r' || g END AS maybe, 1.50::numeric(5,2) AS d, "
        "g % 2 = 0 AS pari FROM generate_series(1, 25000) g",
        "SELECT 1 AS n WHERE false",
        "SELECT repeat('àb', 70000) AS t, 1 AS n UNION ALL SELECT 'corto', 2"}) {
    ExpectSameAsGrid(*pg, sql);
  }
  ExpectSameAsGrid(*Maria(),
                   "SELECT 1 AS n, 'è' AS t, CAST(2.5 AS DOUBLE) AS d UNION ALL "
                   "SELECT 2, REPEAT('x', 20000), NULL");
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
  // MariaDB describes the value at its full size: read in pieces from the start.
  const std::optional<ResultGrid> maria =
      Maria()->Query("SELECT 1 AS n, REPEAT('z', 1048576) AS t UNION ALL SELECT 2, 'corto'");
  ASSERT_TRUE(maria.has_value());
  EXPECT_EQ(RowTexts(*maria, 0)[1], std::string(1048576, 'z'));
  EXPECT_EQ(RowTexts(*maria, 1)[1], "corto");
}

TEST_F(ServerTest, EmptyResultsAndFailuresComeAsTheDriverMessage) {
  auto pg = Pg();
  EXPECT_FALSE(pg->Query("SELECT 1 WHERE false").has_value());
  EXPECT_THROW(pg->Query("  "), Error);
  RecordingSink sink;
  try {
    pg->QueryRows("SELECT * FROM tabella_che_non_esiste", sink);
    ADD_FAILURE() << "nessun errore";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("tabella_che_non_esiste"), std::string::npos) << e.what();
  }
  EXPECT_EQ(sink.columns_calls, 0);
  EXPECT_THROW(pg->QueryRows("SET search_path TO public", sink), Error);
  // Division by zero on row 2000, after the first row arrays were read.
  EXPECT_THROW(pg->QueryRows("SELECT 1 / (2000 - g) AS x FROM generate_series(1, 3000) g", sink),
               Error);
}

// The SQLite3 ODBC driver never frees a small block per connection: the driver's, not ours.
#if defined(__SANITIZE_ADDRESS__)
using DriverLeakAllowance = __lsan::ScopedDisabler;
#else
struct DriverLeakAllowance {};
#endif

TEST(OdbcDataSource, DataSourceInTestOdbcIni) {
  [[maybe_unused]] DriverLeakAllowance allowance;
  testing::TempFolder folder;
  const std::string db = folder.File("dsn.db");
  CreateSqliteDatabase(db, {})->Execute("CREATE TABLE v (n INTEGER, s TEXT, r REAL)");
  OpenConnectionString("Driver=SQLite3;Database=" + db + ";", {})
      ->Execute("INSERT INTO v VALUES (7, 'Città', 2.5)");
  testing::WriteBytes(folder.File("odbc.ini"),
                      "[PanorelloTest]\nDriver=SQLite3\nDatabase=" + db + "\n");
  ASSERT_EQ(setenv("ODBCINI", folder.File("odbc.ini").c_str(), 1), 0);
  Settings s{.DbType = "ODBC", .Database = "PanorelloTest"};
  auto grid = OpenConnection(s, {})->Query("SELECT n, s, r FROM v");
  ASSERT_TRUE(grid.has_value());
  EXPECT_EQ(RowTexts(*grid, 0), (Texts{"7", "Città", "2,5"}));
  s.Database = "NonRegistrato";
  std::string error;
  EXPECT_FALSE(TestConnection(s, {}, error));
  EXPECT_EQ(error.rfind("[unixODBC][Driver Manager]Data source name not found and no default "
                        "driver specified — L'origine dati ODBC (DSN) indicata non esiste",
                        0),
            0u)
      << error;
  unsetenv("ODBCINI");
}

TEST(OdbcDataSource, DateColumnsShowWhatTheSqliteEngineShows) {
  [[maybe_unused]] DriverLeakAllowance allowance;
  testing::TempFolder folder;
  const std::string db = folder.File("date.db");
  auto file = CreateSqliteDatabase(db, {});
  file->Execute("CREATE TABLE v (n INTEGER, quando DATETIME, giorno DATE)");
  file->Execute(
      "INSERT INTO v VALUES (1, '2024-03-05 14:30:00', '2024-03-05'), "
      "(2, '2024-03-05 00:00:00.250', '2024-02-29'), (3, 'n/d', '31/03/2024'), (4, '', NULL)");
  const std::string sql = "SELECT n, quando, giorno FROM v ORDER BY n";
  const std::optional<ResultGrid> engine = file->Query(sql);
  const std::optional<ResultGrid> odbc =
      OpenConnectionString("Driver=SQLite3;Database=" + db + ";", {})->Query(sql);
  ASSERT_TRUE(engine && odbc);
  ASSERT_EQ(odbc->Rows(), 4u);
  for (size_t r = 0; r < 4; ++r) EXPECT_EQ(RowTexts(*odbc, r), RowTexts(*engine, r)) << r;
  EXPECT_EQ(RowTexts(*odbc, 0)[1], "05/03/2024 14:30:00");
  EXPECT_EQ(odbc->At(1, 1).type, CellType::DateTime);
  EXPECT_EQ(odbc->At(2, 2).type, CellType::Text);
}

TEST(OdbcTimeOut, SilentServerDoesNotHangTheConnection) {
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
      Explicit("Driver={PostgreSQL Unicode};" + at + "Database=d;Uid=u;Pwd=p;"),
      Explicit("Driver={MySQL ODBC 8.0 Unicode Driver};" + at + "Database=d;User=u;Password=p;"),
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
