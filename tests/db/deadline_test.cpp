// Blocks against servers that stall (loopback listeners started here, in front of the fixture's
// PostgreSQL or alone): each block ends within its limit + 2 s as an error box, and
// the next block is rendered.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "db_test_support.h"
#include "stall_listener.h"
#include "support/rendered.h"
#include "support/test_support.h"

namespace panorello {
namespace {

using testing::SecondsTaken;

enum class Road { Libpq, FreeTds };
enum class Phase { Login, Result };

struct StallCase {
  const char* name;
  Road road;
  std::vector<std::string> listener;  // mode and options; a proxy forwards to the road's server
  Phase phase;
  std::string extra = "";  // appended to an ODBC connection string
};

class Deadline : public testing::ServerTest {
 protected:
  Settings SettingsFor(Road road, const testing::StallListener& at, const std::string& extra) {
    Settings s = Typed("POSTGRESQL", env_["USER"], env_["PASSWORD"]);
    s.Server = at.host() + ":" + at.port();
    if (road == Road::FreeTds) {
      s.ConnectionString = "Driver=FreeTDS;Server=" + at.host() + ";Port=" + at.port() +
                           ";Database=d;UID=u;PWD=p;" + extra;
    }
    return s;
  }
};

std::string BigResult(Road road) {
  if (road == Road::FreeTds) return "SELECT n AS stallo FROM numeri";  // the listener's own result
  return "SELECT g, repeat('x', 100) AS t FROM generate_series(1, 300000) g";
}

TEST_F(Deadline, StalledServersEndTheBlockInTimeAndTheNextBlockRenders) {
  const StallCase cases[] = {
      {"PostgreSQL, durante il risultato",
       Road::Libpq,
       {"proxy", "--after", "200000"},
       Phase::Result},
      // TDS 5.0 logins wait for ever whatever the time-outs say: the block is left behind
      // (it ends once its listener goes, while the case below runs).
      {"FreeTDS 5.0, senza fine", Road::FreeTds, {"accept"}, Phase::Login, "TDS_Version=5.0;"},
      {"FreeTDS, durante il risultato", Road::FreeTds, {"tds-result"}, Phase::Result}};
  testing::TestContext context;
  context->limits = {.connect_seconds = 2, .query_seconds = 3};
  for (const StallCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = c.listener;
    if (args[0] == "proxy") args.insert(args.end(), {"--upstream", "127.0.0.1:" + env_["PG_PORT"]});
    testing::StallListener listener(args);
    ASSERT_TRUE(listener.ok());
    context->settings = SettingsFor(c.road, listener, c.extra);
    Block block{.Title = "Bloccato",
                .Sql = c.phase == Phase::Result ? BigResult(c.road) : "SELECT 1 AS n",
                .RenderMode = c.phase == Phase::Result ? "TABLE" : "AUTO"};
    std::string stalled;
    const double seconds = SecondsTaken([&] { stalled = testing::RenderedBlock(*context, block); });
    // Connecting to a listener on loopback takes milliseconds: a result's limit is the query's.
    const int limit = c.phase == Phase::Login ? 2 : 3;
    EXPECT_LT(seconds, limit + 2);
    EXPECT_GT(seconds, 1.5);  // it did stall
    EXPECT_NE(stalled.find("<div class=\"sep\"></div><div class=\"error\">Errore query: "),
              std::string::npos)
        << stalled.substr(0, 300);
    EXPECT_EQ(stalled.find("<td"), std::string::npos);  // rows written before the stall are gone
    if (c.road == Road::Libpq) {
      EXPECT_NE(stalled.find("Tempo scaduto"), std::string::npos) << stalled;
    }

    context->settings = Native("POSTGRESQL");
    block.Title = "Successivo";
    block.Sql = "SELECT 'dopo' AS stato, 2 AS n";
    const std::string next = testing::RenderedBlock(*context, block);
    EXPECT_NE(next.find("dopo"), std::string::npos) << next;
    EXPECT_EQ(next.find("error"), std::string::npos) << next;
  }
}

TEST_F(Deadline, QueryLimitCountsFromTheConnectionAndCancelsTheStatement) {
  testing::TestContext context;
  context->limits = {.connect_seconds = 2, .query_seconds = 3};
  const std::pair<Settings, std::string> cases[] = {
      {Native("POSTGRESQL"), "SELECT pg_sleep(2.5), 'fatto' AS stato"},
      {Native("POSTGRESQL"), "SELECT pg_sleep(30)"}};
  for (const auto& [settings, sql] : cases) {
    SCOPED_TRACE(sql);
    context->settings = settings;
    std::string body;
    EXPECT_LT(SecondsTaken([&] { body = testing::RenderedQuery(*context, sql, "AUTO"); }), 3 + 2);
    const bool slow = sql.find("30") != std::string::npos;
    EXPECT_EQ(body.find("fatto") != std::string::npos, !slow) << body;
    EXPECT_EQ(body.starts_with("<div class=\"error\">Errore query: "), slow) << body;
  }
  // The cancelled statements are gone from the server (which takes a moment to see the cancel).
  const auto running = [&] {
    auto grid = OpenConnection(Native("POSTGRESQL"), {})
                    ->Query(
                        "SELECT count(*) FROM pg_stat_activity WHERE state = 'active' AND "
                        "query = 'SELECT pg_sleep(30)'");
    return grid ? testing::RowTexts(*grid, 0)[0] : "";
  };
  for (int i = 0; i < 40 && running() != "0"; ++i) ::usleep(50000);
  EXPECT_EQ(running(), "0");
}

// A SQLite file locked by another program (the sqlite3 shell in a transaction of its own): the
// block waits for the query limit at most and says so, without a server or network to check.
TEST(DatabaseFile, LockedByAnotherProgramSaysSoWithinTheQueryLimit) {
  testing::TempFolder folder;
  const std::string path = folder.File("bloccato.db");
  CreateSqliteDatabase(path, {})->Execute("CREATE TABLE t (n INTEGER)");
  FILE* holder = ::popen(("exec sqlite3 " + path + " >/dev/null 2>&1").c_str(), "w");
  ASSERT_NE(holder, nullptr);
  std::fputs("BEGIN EXCLUSIVE;\n", holder);
  std::fflush(holder);
  bool locked = false;
  for (int i = 0; i < 100 && !locked; ++i) {
    try {
      OpenSqliteDatabaseForWriting(path, {.query_seconds = 0})->Execute("BEGIN IMMEDIATE");
      ::usleep(20000);
    } catch (const Error&) {
      locked = true;
    }
  }
  ASSERT_TRUE(locked);
  testing::TestContext context;
  context->limits = {.connect_seconds = 1, .query_seconds = 2};
  context->settings = Settings{.DbType = "ACCESS", .Database = path};
  std::string box;
  const double seconds = SecondsTaken([&] {
    box = testing::RenderedBlock(*context, Block{.Title = "B", .Sql = "SELECT n FROM t"});
  });
  ::pclose(holder);
  EXPECT_GT(seconds, 1.5);
  EXPECT_LT(seconds, 2 + 1.5);
  EXPECT_NE(box.find("database bloccato da un altro programma"), std::string::npos) << box;
  for (const char* word : {"server", "firewall", "rete"}) {
    EXPECT_EQ(box.find(word), std::string::npos) << box;
  }
}

}  // namespace
}  // namespace panorello
