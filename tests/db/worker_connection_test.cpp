// A worker's blocks share one login: each block still starts from a new session, a connection
// that broke is replaced, time-outs and stops still reach a statement on a kept connection, and
// the session's time zone is the machine's.
#include "db/worker_connection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "db/db_test_support.h"
#include "db/deadline.h"
#include "support/test_support.h"

namespace panorello {
namespace {

using testing::Texts;

class WorkerReuse : public testing::ServerTest {
 protected:
  // The blocks run one after the other as one worker runs them: the first cell of each, or "!"
  // and the error.
  static Texts RunBlocks(const Settings& settings, const std::vector<std::string>& sqls,
                         const ConnectionLimits& limits = {}, ConnectionPlace place = {},
                         const QueryStop& stop = {}) {
    const auto run = std::make_shared<const RunConnection>(settings, limits, std::move(place));
    const auto worker = std::make_shared<WorkerConnection>();
    Texts firsts;
    for (const std::string& sql : sqls) {
      try {
        const std::optional<ResultGrid> grid = BlockQuery(run, limits, sql, stop, worker);
        firsts.push_back(grid ? testing::RowTexts(*grid, 0)[0] : "(vuoto)");
      } catch (const std::exception& e) {
        firsts.push_back(std::string("!") + e.what());
      }
    }
    return firsts;
  }

  // A statement on a connection of its own (the administrator's side).
  std::string Admin(const char* type, const std::string& sql) {
    const std::optional<ResultGrid> grid = OpenConnection(Native(type), {})->Query(sql);
    return grid ? testing::RowTexts(*grid, 0)[0] : "";
  }

  // Waits up to 5 s for the administrator's statement to give expected.
  void AwaitAdmin(const char* type, const std::string& sql, const std::string& expected) {
    for (int i = 0; i < 100 && Admin(type, sql) != expected; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(Admin(type, sql), expected) << sql;
  }
};

constexpr const char* kPgSession = "SELECT pg_backend_pid()";
constexpr const char* kMariaSession = "SELECT CONNECTION_ID()";

TEST_F(WorkerReuse, EveryBlockStartsFromANewSessionOnTheSameLogin) {
  struct Case {
    const char* type;
    const char* dirty;     // what a block leaves in its session
    const char* check;     // what the next block sees
    const char* expected;  // the start of the text
  };
  const Case cases[] = {
      {"POSTGRESQL", "SET search_path TO pg_catalog", "SHOW search_path", "\"$user\", public"},
      {"POSTGRESQL", "SELECT set_config('prova.valore', 'x', false)",
       "SELECT coalesce(nullif(current_setting('prova.valore', true), ''), 'nessuno')", "nessuno"},
      {"POSTGRESQL", "CREATE TEMP TABLE t_isol (i int)",
       "SELECT coalesce(to_regclass('pg_temp.t_isol')::text, 'nessuna')", "nessuna"},
      {"POSTGRESQL", "BEGIN ISOLATION LEVEL SERIALIZABLE", "SHOW transaction_isolation",
       "read committed"},
      {"POSTGRESQL", "PREPARE p_isol AS SELECT 1",
       "SELECT count(*)::text FROM pg_prepared_statements", "0"},
      {"POSTGRESQL", "SELECT pg_advisory_lock(42)::text",
       "SELECT count(*)::text FROM pg_locks WHERE locktype = 'advisory' AND pid = pg_backend_pid()",
       "0"},
      {"MYSQL", "SET @isol = 1", "SELECT @isol IS NULL", "1"},
      {"MYSQL", "SELECT @isol := 5", "SELECT @isol IS NULL", "1"},
      {"MYSQL", "SET SESSION sql_mode = 'ANSI_QUOTES'",
       "SELECT @@session.sql_mode = @@global.sql_mode", "1"},
      {"MYSQL", "CREATE TEMPORARY TABLE t_isol (i INT)", "SELECT COUNT(*) FROM t_isol",
       "![MariaDB]Table"},
      {"MYSQL", "START TRANSACTION", "SELECT @@in_transaction", "0"},
      {"MYSQL", "PREPARE p_isol FROM 'SELECT 1'", "EXECUTE p_isol",
       "![MariaDB]Unknown prepared statement"},
      {"MYSQL", "USE information_schema", "SELECT DATABASE() <> 'information_schema'", "1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.type) + ": " + c.dirty);
    const char* session = std::string(c.type) == "MYSQL" ? kMariaSession : kPgSession;
    const Texts got = RunBlocks(Native(c.type), {session, c.dirty, c.check, session});
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[2].substr(0, std::string(c.expected).size()), c.expected) << got[2];
    EXPECT_EQ(got[3], got[0]) << "a new login instead of the kept one";
  }
}

TEST_F(WorkerReuse, ASqliteConnectionThatChangedItsSessionIsNotTakenAgain) {
  testing::TempFolder folder;
  const std::string path = folder.File("dati.db");
  CreateSqliteDatabase(path, {})->Execute("CREATE TABLE t (n INTEGER)");
  const Settings file{.DbType = "ACCESS", .Database = path};
  EXPECT_EQ(RunBlocks(file, {"PRAGMA case_sensitive_like = 1", "SELECT 'a' LIKE 'A'",
                             "CREATE TEMP TABLE t_isol (i)",
                             "SELECT count(*) FROM temp.sqlite_master"})[1],
            "1");
  EXPECT_EQ(RunBlocks(file, {"CREATE TEMP TABLE t_isol (i)",
                             "SELECT count(*) FROM temp.sqlite_master"})[1],
            "0");
}

TEST_F(WorkerReuse, AConnectionThatBrokeIsReplacedForTheNextBlock) {
  const auto run_pg =
      std::make_shared<const RunConnection>(Native("POSTGRESQL"), ConnectionLimits{});
  const auto worker = std::make_shared<WorkerConnection>();
  const auto first_cell = [&](const std::string& sql) {
    return testing::RowTexts(*BlockQuery(run_pg, {}, sql, {}, worker), 0)[0];
  };
  // Ended by the administrator while it waited between blocks.
  const std::string pid = first_cell(kPgSession);
  Admin("POSTGRESQL", "SELECT pg_terminate_backend(" + pid + ")::text");
  AwaitAdmin("POSTGRESQL", "SELECT count(*)::text FROM pg_stat_activity WHERE pid = " + pid, "0");
  const std::string second = first_cell(kPgSession);
  EXPECT_NE(second, pid);
  // Ended during a block: that block fails, the next one logs in again.
  EXPECT_THROW(first_cell("SELECT pg_terminate_backend(pg_backend_pid())::text"), Error);
  EXPECT_NE(first_cell(kPgSession), second);

  const auto run_maria = std::make_shared<const RunConnection>(Native("MYSQL"), ConnectionLimits{});
  const auto maria_worker = std::make_shared<WorkerConnection>();
  const auto maria_cell = [&](const std::string& sql) {
    return testing::RowTexts(*BlockQuery(run_maria, {}, sql, {}, maria_worker), 0)[0];
  };
  const std::string id = maria_cell(kMariaSession);
  OpenConnection(Native("MYSQL"), {})->Execute("KILL CONNECTION " + id);
  AwaitAdmin("MYSQL", "SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE ID = " + id, "0");
  EXPECT_NE(maria_cell(kMariaSession), id);
}

TEST_F(WorkerReuse, TimeOutAndStopEndAStatementOnAKeptConnection) {
  struct Case {
    const char* type;
    const char* sleep;
    bool stop;  // the run's stop instead of the time-out
  };
  const Case cases[] = {
      {"POSTGRESQL", "SELECT pg_sleep(32)::text", false},
      {"POSTGRESQL", "SELECT pg_sleep(33)::text", true},
      {"MYSQL", "SELECT SLEEP(32)", false},
      {"MYSQL", "SELECT SLEEP(33)", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.type) + (c.stop ? " stop" : " time-out"));
    const char* session = std::string(c.type) == "MYSQL" ? kMariaSession : kPgSession;
    ConnectionLimits limits;
    limits.query_seconds = c.stop ? 20 : 1;
    CancelToken cancel;
    std::thread stopper;
    Texts got;
    const double seconds = testing::SecondsTaken([&] {
      if (c.stop) {
        stopper = std::thread([&cancel] {
          std::this_thread::sleep_for(std::chrono::milliseconds(1500));
          cancel.Cancel();
        });
      }
      got = RunBlocks(Native(c.type), {session, c.sleep}, limits, {}, QueryStop{.cancel = &cancel});
    });
    if (stopper.joinable()) stopper.join();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].rfind(c.stop ? "!" : "!Tempo scaduto", 0), 0u) << got[1];
    EXPECT_LT(seconds, 5.0);
    // How many such statements the server still runs.
    const std::string running =
        std::string(c.type) == "MYSQL"
            ? "SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE INFO = '" +
                  std::string(c.sleep) + "'"
            : "SELECT count(*)::text FROM pg_stat_activity WHERE state = 'active' AND query = '" +
                  std::string(c.sleep) + "'";
    AwaitAdmin(c.type, running, "0");
  }
}

TEST_F(WorkerReuse, SessionsKeepTheMachinesTimeZone) {
  struct Case {
    const char* type;
    LocalZone zone;
    const char* sql;
    const char* expected;
  };
  const LocalZone kolkata{true, "Asia/Kolkata", 19800};
  const LocalZone unnamed{true, "", -12600};
  const LocalZone unknown_name{true, "Mars/Olympus_Mons", 19800};
  const char* pg = "SELECT '2026-01-01 00:00:00+00'::timestamptz";
  const char* maria = "SELECT FROM_UNIXTIME(1767225600)";
  const Case cases[] = {
      {"POSTGRESQL", kolkata, pg, "01/01/2026 05:30:00"},
      {"POSTGRESQL", unnamed, pg, "31/12/2025 20:30:00"},
      {"POSTGRESQL", unknown_name, pg, "01/01/2026 05:30:00"},
      {"MYSQL", kolkata, maria, "01/01/2026 05:30:00"},
      {"MYSQL", unnamed, maria, "31/12/2025 20:30:00"},
      {"MYSQL", unknown_name, maria, "01/01/2026 05:30:00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.type) + " " + c.zone.name);
    const FixedClock clock(DateTime{2026, 1, 1, 5, 30, 0}, c.zone);
    // Also after a reset: the zone belongs to every new session of the login.
    const char* dirty = std::string(c.type) == "MYSQL" ? "SET @x = 1" : "SET search_path TO public";
    const Texts got =
        RunBlocks(Native(c.type), {c.sql, dirty, c.sql}, {}, ConnectionPlace{.clock = &clock});
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], c.expected);
    EXPECT_EQ(got[2], c.expected);
  }
}

}  // namespace
}  // namespace panorello
