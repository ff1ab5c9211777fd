// The POSTGRESQL type through libpq against the PostgreSQL of the ctest fixture: the same cells
// as through psqlODBC, streaming, errors with their SQLSTATE, port 5432 by default, and psqlODBC
// connections that leave no log files behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <string>

#include "db/db_error.h"
#include "db/db_test_support.h"
#include "db/postgres/pg_engine.h"
#include "db/stall_listener.h"
#include "support/test_support.h"
#include "util/error.h"

namespace panorello {
namespace {

using testing::RecordingSink;
using testing::RowTexts;
using testing::StreamedRows;
using testing::Texts;

class Libpq : public testing::ServerTest {
 protected:
  std::unique_ptr<Connection> Open() { return OpenConnection(Native("POSTGRESQL"), {}); }
};

TEST_F(Libpq, CellsAsThroughPsqlOdbc) {
  const std::string sql =
      "SELECT 42::int AS i, 9007199254740993::bigint AS big, 7::smallint AS small, "
      "1234.5000::numeric(10,4) AS dec, 0.1::float8 AS dbl, 1.5::real AS sgl, "
      "'Perù – “più” € ✓'::text AS txt, 'abc'::varchar(5) AS vc, 'x'::char(3) AS ch, "
      "true AS yes, false AS no, DATE '2024-03-05' AS d, TIMESTAMP '2024-03-05 14:30:00' AS ts, "
      "TIMESTAMP '2024-03-05 00:00:00' AS midnight, TIMESTAMP '2024-03-05 14:30:00.75' AS frac, "
      "TIME '07:08:09' AS t, '\\x00ff10'::bytea AS bin, NULL::int AS nothing, "
      "NULL::text AS no_text, 1e20::float8 AS huge, -0.00001::float8 AS tiny, "
      "12345678901234567890.5::numeric AS wide, -0.5::numeric AS neg, 0::numeric AS zero, "
      "repeat('àb', 150000) AS long, 12::oid AS o, '{1,2}'::int[] AS arr, "
      "'1 day'::interval AS span, 'a1b2c3d4-0000-4000-8000-000000000001'::uuid AS id";
  const auto odbc = StreamedRows(*Pg(), sql);
  const auto libpq = StreamedRows(*Open(), sql);
  ASSERT_EQ(libpq.first, odbc.first);
  ASSERT_EQ(odbc.second.size(), 1u);
  ASSERT_EQ(libpq.second.size(), 1u);
  for (size_t c = 0; c < odbc.first.size(); ++c) {
    EXPECT_TRUE(libpq.second[0][c] == odbc.second[0][c])
        << odbc.first[c] << ": " << libpq.second[0][c].substr(0, 80) << " invece di "
        << odbc.second[0][c].substr(0, 80);
  }
}

TEST_F(Libpq, ValuesWithoutATypedFormComeAsTheServerWroteThem) {
  const auto [names, rows] = StreamedRows(
      *Open(),
      "SELECT 'infinity'::timestamp, '2024-03-05 BC'::date, 'NaN'::numeric, 'Infinity'::float8, "
      "TIMESTAMPTZ '2024-03-05 14:30:00+00' AT TIME ZONE 'UTC' AS utc, "
      "TIME WITH TIME ZONE '07:08:09+02'");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], (Texts{"5:infinity", "5:2024-03-05 BC", "5:NaN", "5:Infinity",
                            "6:05.03.2024 14:30:00", "8:07:08:09"}));
}

TEST(PostgresTarget, ServerNamesTheHostAndMaybeThePort) {
  struct Case {
    std::string server;
    std::string host;
    std::string port;
  };
  const Case cases[] = {{.server = "db.example", .host = "db.example", .port = "5432"},
                        {.server = "db.example:6543", .host = "db.example", .port = "6543"},
                        {.server = "[::1]:5433", .host = "::1", .port = "5433"},
                        {.server = "::1", .host = "::1", .port = "5432"},
                        {.server = "host:", .host = "host:", .port = "5432"}};
  for (const Case& c : cases) {
    const PostgresTarget target = PostgresTargetOf(Settings{.Server = c.server});
    EXPECT_EQ(target.host, c.host) << c.server;
    EXPECT_EQ(target.port, c.port) << c.server;
  }
}

TEST_F(Libpq, RowsStreamAndCollectAlike) {
  auto pg = Open();
  const auto [names, rows] =
      StreamedRows(*pg,
                   "SELECT g, CASE WHEN g % 7 = 0 THEN NULL ELSE 'r' || g END AS t "
                   "FROM generate_series(1, 25000) g ORDER BY g");
  ASSERT_EQ(rows.size(), 25000u);
  EXPECT_EQ(names, (Texts{"g", "t"}));
  EXPECT_EQ(rows[6], (Texts{"1:7", "0:"}));
  EXPECT_EQ(rows[24999], (Texts{"1:25000", "5:r25000"}));
  testing::ExpectSameAsGrid(*pg, "SELECT 1 AS n WHERE false");
  // Statements without a result and scripts for Execute.
  pg->Execute("CREATE TEMPORARY TABLE t (n int); INSERT INTO t VALUES (1), (2)");
  EXPECT_EQ(RowTexts(*pg->Query("SELECT sum(n) FROM t"), 0), Texts{"3"});
  RecordingSink sink;
  EXPECT_THROW(pg->QueryRows("SET search_path TO public", sink), Error);
  EXPECT_THROW(pg->Query(" \t"), Error);
  EXPECT_THROW(Open()->Query("COPY (SELECT 1) TO STDOUT"), Error);
}

TEST_F(Libpq, FailuresCarryTheirSqlstate) {
  struct Case {
    std::function<void()> action;
    std::string sqlstate;
    std::string part;
  };
  auto pg = Open();
  RecordingSink sink;
  Settings wrong_password = Native("POSTGRESQL");
  wrong_password.Password = "sbagliata";
  const Case cases[] = {
      {.action = [&] { pg->Query("SELECT * FROM tabella_che_non_esiste"); },
       .sqlstate = "42P01",
       .part = "tabella_che_non_esiste"},
      // Division by zero on row 2000, after rows were handed on.
      {.action =
           [&] {
             pg->QueryRows("SELECT 1 / (2000 - g) AS x FROM generate_series(1, 3000) g", sink);
           },
       .sqlstate = "22012",
       .part = "division by zero"},
      {.action = [&] { OpenConnection(wrong_password, {}); },
       .sqlstate = "28P01",
       .part = "password authentication failed for user \"" + env_["USER"] + "\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sqlstate);
    try {
      c.action();
      ADD_FAILURE() << "nessun errore";
    } catch (const DbError& e) {
      EXPECT_EQ(e.diagnostic().sqlstate, c.sqlstate);
      EXPECT_NE(std::string(e.what()).find(c.part), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(sink.rows.size(), 1999u);
  EXPECT_EQ(RowTexts(*pg->Query("SELECT 'ancora viva'"), 0), Texts{"ancora viva"});
}

TEST_F(Libpq, ServerWithoutPortMeansPort5432AndTheEnvironmentCompletesTheRest) {
  testing::StallListener proxy(
      {"proxy", "--port", "5432", "--upstream", "127.0.0.1:" + env_["PG_PORT"]});
  if (!proxy.ok()) GTEST_SKIP() << "nessun indirizzo di loopback libero sulla porta 5432";
  testing::TempFolder home;
  // No password in the settings: ~/.pgpass (libpq's own file) gives it.
  testing::WriteBytes(home.File(".pgpass"),
                      proxy.host() + ":5432:*:" + env_["USER"] + ":" + env_["PASSWORD"] + "\n");
  std::filesystem::permissions(home.File(".pgpass"), std::filesystem::perms::owner_read |
                                                         std::filesystem::perms::owner_write);
  ASSERT_EQ(setenv("PGPASSFILE", home.File(".pgpass").c_str(), 1), 0);
  // PGOPTIONS still reaches the session beside the program's own settings.
  ASSERT_EQ(setenv("PGOPTIONS", "-c work_mem=7MB", 1), 0);
  Settings s = Typed("POSTGRESQL", env_["USER"], "");
  s.Server = proxy.host();
  auto grid = OpenConnection(s, {})->Query(
      "SELECT inet_server_port() <> 5432 AS forwarded, current_user, "
      "current_setting('work_mem'), current_setting('DateStyle')");
  unsetenv("PGPASSFILE");
  unsetenv("PGOPTIONS");
  ASSERT_TRUE(grid.has_value());
  EXPECT_EQ(RowTexts(*grid, 0), (Texts{"True", env_["USER"], "7MB", "ISO, MDY"}));
  // An explicit string naming the ODBC driver still goes through ODBC, port and all.
  s.ConnectionString = Postgres(env_["USER"], env_["PASSWORD"]);
  s.Server = "host.invalid";
  std::string error;
  EXPECT_TRUE(TestConnection(s, {}, error)) << error;
}

// Debian registers psqlODBC with CommLog=1 at the driver level: whatever the string says (the log
// asked for by hand included), the process removes the log the driver leaves once the connection
// is closed.
TEST_F(Libpq, PsqlOdbcConnectionsLeaveNoLogFiles) {
  // psqlODBC names its log after the program and the process: psqlodbc_<program>_<user><pid>.log.
  const std::string mine = std::to_string(getpid()) + ".log";
  for (const std::string& extra : {std::string("CommLog=1;"), std::string()}) {
    ASSERT_TRUE(OpenConnectionString(Postgres(env_["USER"], env_["PASSWORD"]) + extra, {})
                    ->Query("SELECT 1")
                    .has_value());
    for (const auto& entry : std::filesystem::directory_iterator("/tmp")) {
      const std::string name = entry.path().filename().string();
      EXPECT_FALSE(name.starts_with("psqlodbc_") && name.ends_with(mine) &&
                   !std::isdigit(static_cast<unsigned char>(name[name.size() - mine.size() - 1])))
          << extra << name;
    }
  }
}

}  // namespace
}  // namespace panorello
