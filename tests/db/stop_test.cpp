// Stopping a query: a time-out or the run's stop ends the statement on the server (MariaDB and
// PostgreSQL lists no longer show it within 2 s, SQLite is interrupted); SIGTERM ends a batch run
// within 2 s with the failure lines already logged; a stalled named instance costs one connect
// limit for all blocks; a worker left in a driver is named and new blocks past the cap fail.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <future>
#include <thread>

#include "db/deadline.h"
#include "db/engines.h"
#include "db_test_support.h"
#include "stall_listener.h"
#include "support/rendered.h"
#include "support/test_support.h"

namespace panorello {
namespace {

using testing::SecondsTaken;

// An endless SQLite statement: only an interrupt ends it.
constexpr const char* kEndless =
    "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n) SELECT max(x) FROM n";

class Stop : public testing::ServerTest {
 protected:
  // The statements of the fixture's server whose text starts with sql and that still run.
  int Running(const Settings& settings, const std::string& sql) {
    const bool maria = settings.DbType == "MYSQL";
    std::string quoted = "'";
    for (const char ch : sql) quoted += ch == '\'' ? std::string("''") : std::string(1, ch);
    quoted += "%'";
    const std::string listed =
        maria ? "SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE INFO LIKE " + quoted
              : "SELECT count(*) FROM pg_stat_activity WHERE state = 'active' AND query LIKE " +
                    quoted;
    const auto grid = OpenConnection(settings, {})->Query(listed);
    return grid ? std::stoi(testing::RowTexts(*grid, 0)[0]) : -1;
  }
  // Whether the statement left the server's list within 2 s.
  bool GoneWithinTwoSeconds(const Settings& settings, const std::string& sql) {
    for (int i = 0; i < 20; ++i) {
      if (Running(settings, sql) == 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }
};

TEST_F(Stop, TimeOutAndStopEndTheStatementOnTheServer) {
  testing::TempFolder folder;
  CreateSqliteDatabase(folder.File("dati.db"), {}).reset();
  const Settings sqlite{.DbType = "ACCESS", .Database = folder.File("dati.db")};
  struct Case {
    Settings settings;
    std::string sql;  // unique among the tests that may run at the same time
    bool stop;        // raised after 0.5 s; otherwise the 1 s query limit passes
  };
  const Case cases[] = {
      {Native("MYSQL"), "SELECT SLEEP(40), 'fermo-limite'", false},
      {Native("MYSQL"), "SELECT SLEEP(40), 'fermo-stop'", true},
      {Native("POSTGRESQL"), "SELECT pg_sleep(40), 'fermo-limite'", false},
      {Native("POSTGRESQL"), "SELECT pg_sleep(40), 'fermo-stop'", true},
      {sqlite, kEndless, false},
      {sqlite, kEndless, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.settings.DbType + (c.stop ? " stop" : " limite"));
    std::atomic<bool> flag{false};
    const CancelToken cancel(&flag);
    std::thread raise([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      if (c.stop) flag = true;
    });
    const ConnectionLimits limits{.connect_seconds = 5, .query_seconds = c.stop ? 30 : 1};
    ErrorKind kind = ErrorKind::kGeneral;
    bool left_behind = false;
    const double seconds = SecondsTaken([&] {
      try {
        BlockQuery(std::make_shared<const RunConnection>(c.settings, limits), limits, c.sql,
                   QueryStop{.cancel = &cancel});
      } catch (const AbandonedQueryError& e) {
        left_behind = true;
        kind = e.kind();
      } catch (const Error& e) {
        kind = e.kind();
      }
    });
    raise.join();
    EXPECT_EQ(kind, c.stop ? ErrorKind::kCancelled : ErrorKind::kTimeout);
    EXPECT_LT(seconds, (c.stop ? 0.5 : 1) + 1);
    EXPECT_FALSE(left_behind);  // the statement ended within a moment of its cancel
    if (c.settings.DbType != "ACCESS") {
      EXPECT_TRUE(GoneWithinTwoSeconds(c.settings, c.sql));
    }
  }
}

// SIGTERM 3 s into a batch run whose first block failed at once and whose second sleeps.
TEST_F(Stop, SigtermEndsTheBatchRunWithinTwoSecondsKeepingItsFailureLines) {
  for (const char* type : {"POSTGRESQL", "MYSQL"}) {
    SCOPED_TRACE(type);
    const Settings server = Native(type);
    const std::string sleep = std::string(type) == "MYSQL" ? "SELECT SLEEP(40), 'fermo-segnale'"
                                                           : "SELECT pg_sleep(40), 'fermo-segnale'";
    testing::TempFolder home;
    testing::WriteBytes(
        home.File("config.ini"),
        testing::ConfigText({"DBTYPE=" + server.DbType, "SERVER=" + server.Server,
                             "DATABASE=" + server.Database, "USER=" + server.User,
                             "PASSWORD=" + server.Password, "OUTPUTFILE=" + home.File("page.html"),
                             "OPENBROWSER=0"}));
    testing::WriteBytes(home.File("blocks.ini"),
                        testing::BlockText(1, "Manca", "", "SELECT * FROM tabella_che_manca") +
                            testing::BlockText(2, "Lento", "", sleep));
    std::string program = std::string(PANORELLO_BINARY_DIR) + "/panorello";
    std::string run = "/RUN";
    std::string panorello_home = "PANORELLO_HOME=" + home.Path();
    std::string path = "PATH=/usr/bin:/bin";
    char* argv[] = {program.data(), run.data(), nullptr};
    char* envp[] = {panorello_home.data(), path.data(), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp), 0);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_EQ(Running(server, sleep), 1);
    kill(pid, SIGTERM);
    int status = 0;
    const double seconds = SecondsTaken([&] { waitpid(pid, &status, 0); });
    EXPECT_LT(seconds, 2);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGTERM) << status;
    EXPECT_FALSE(std::filesystem::exists(home.File("page.html")));
    EXPECT_TRUE(GoneWithinTwoSeconds(server, sleep));

    // The failure line carries its own time, seconds before the signal's line.
    const std::string log = testing::ReadBytes(home.File("panorello.log"));
    const size_t failed = log.find(" - Errore blocco 1 (Manca): ");
    const size_t stopped = log.find(" - Generazione interrotta");
    ASSERT_NE(failed, std::string::npos) << log;
    ASSERT_NE(stopped, std::string::npos) << log;
    auto seconds_of_day = [&](size_t at) {
      const std::string clock = log.substr(at - 8, 8);  // hh:nn:ss
      return std::stoi(clock.substr(0, 2)) * 3600 + std::stoi(clock.substr(3, 2)) * 60 +
             std::stoi(clock.substr(6, 2));
    };
    EXPECT_GE((seconds_of_day(stopped) - seconds_of_day(failed) + 86400) % 86400, 2) << log;
  }
}

bool FreeTdsMissing() {
  const std::vector<std::string> drivers = RegisteredOdbcDrivers();
  return std::find(drivers.begin(), drivers.end(), "FreeTDS") == drivers.end();
}

// Four blocks against a named instance whose browser answers and whose port never does: side by
// side, one connect limit in all.
TEST(StoppedRoads, StalledNamedInstanceCostsOneConnectLimit) {
  if (FreeTdsMissing()) GTEST_SKIP() << "driver FreeTDS non installato (pacchetto tdsodbc)";
  testing::StallListener listener({"silent", "--browser"});
  ASSERT_TRUE(listener.ok());
  testing::TestContext t;
  t->limits = {.connect_seconds = 2, .query_seconds = 2};
  t->settings = Settings{.DbType = "SQLSERVER",
                         .Server = listener.host() + "\\STALLO",
                         .Database = "d",
                         .User = "u",
                         .Password = "p"};
  for (int i = 1; i <= 4; ++i) {
    Block b{.Title = "Istanza " + std::to_string(i), .Sql = "SELECT 1"};
    t->blocks.SaveBlock(-1, b);
  }
  std::string page;
  const double seconds = SecondsTaken([&] { page = testing::RenderedPage(*t, ""); });
  EXPECT_EQ(testing::CountOf(page, "<div class=\"error\">"), 4u) << page;
  EXPECT_LT(seconds, 2 + 2);
}

// A driver that keeps its login waiting whatever its time-out (FreeTDS with TDS 5.0): the block's
// worker is left behind and named; with a cap of one, the next block fails at once.
TEST(StoppedRoads, WorkersLeftInADriverAreNamedAndCapped) {
  if (FreeTdsMissing()) GTEST_SKIP() << "driver FreeTDS non installato (pacchetto tdsodbc)";
  testing::StallListener listener({"accept"});
  ASSERT_TRUE(listener.ok());
  testing::TestContext t;
  t->limits = {.connect_seconds = 1, .query_seconds = 1};
  t->run.jobs = 1;
  t->run.stuck = std::make_shared<StuckWorkers>(1);
  t->settings.ConnectionString = "Driver=FreeTDS;Server=" + listener.host() +
                                 ";Port=" + listener.port() + ";UID=u;PWD=p;TDS_Version=5.0;";
  for (int i = 1; i <= 2; ++i) {
    Block b{.Title = "Fermo " + std::to_string(i), .Sql = "SELECT 1"};
    t->blocks.SaveBlock(-1, b);
  }
  const double seconds = SecondsTaken([&] { testing::RenderedPage(*t, ""); });
  EXPECT_LT(seconds, 1 + 1 + 1);
  const std::vector<std::string> log = testing::LogMessages(t.folder.Path());
  ASSERT_EQ(log.size(), 3u);
  EXPECT_TRUE(log[0].starts_with("Errore blocco 1 (Fermo 1): Tempo scaduto")) << log[0];
  EXPECT_EQ(log[1], "Blocco 1: il driver non ha annullato la query");
  EXPECT_TRUE(log[2].starts_with("Errore blocco 2 (Fermo 2): Blocco non eseguito: 1 query"))
      << log[2];
  EXPECT_EQ(t->run.stuck->Total(), 1);
}

// A worker left behind leaves the count when its driver finally lets go.
TEST(StoppedRoads, ALeftWorkerIsCountedUntilItEnds) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  const ConnectionOpener stuck_open = [released]() -> std::unique_ptr<Connection> {
    released.wait();  // deaf to any cancel, as some drivers are while they connect
    throw Error("rilasciato");
  };
  const QueryStop stop{.stuck = std::make_shared<StuckWorkers>()};
  EXPECT_THROW(QueryWithDeadline(stuck_open, "SELECT 1", {.connect_seconds = 1}, stop),
               AbandonedQueryError);
  EXPECT_EQ(stop.stuck->Total(), 1);
  release.set_value();
  for (int i = 0; i < 50 && stop.stuck->Total() > 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(stop.stuck->Total(), 0);
}

}  // namespace
}  // namespace panorello
