#include "app/startup.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <sstream>

#include "db/connection.h"
#include "storage/blocks_file.h"
#include "support/test_support.h"
#include "util/files.h"

namespace panorello {
namespace {

using testing::BlockText;
using testing::ConfigText;
using testing::LogLines;
using testing::ReadBytes;
using testing::TestContext;
using testing::WriteBytes;

// A folder whose settings point at a small SQLite file, with blocks of two dashboards.
struct Startup : TestContext {
  Startup() {
    CreateSqliteDatabase(folder.File("dati.db"), ctx->limits)
        ->Execute("CREATE TABLE t (n INTEGER)");
    config = {"DBTYPE=ACCESS", "DATABASE=" + folder.File("dati.db"),
              "OUTPUTFILE=" + folder.File("page.html"), "PAGETITLE=Prova", "OPENBROWSER=0"};
    WriteBytes(folder.File("blocks.ini"),
               BlockText(1, "Blocco vendite", "Vendite", "SELECT 1 AS uno") +
                   BlockText(2, "Blocco acquisti", "Acquisti", "SELECT 2 AS due"));
  }
  int Run(const std::vector<std::string>& args, bool terminal = false) {
    if (!config.empty()) WriteBytes(folder.File("config.ini"), ConfigText(config));
    std::ostringstream o, e;
    const int code = Main(
        *ctx, args,
        [&](AppContext&) {
          ++windows;
          return 0;
        },
        o, BatchIo{e, terminal, graphical});
    out = o.str();
    err = e.str();
    return code;
  }
  std::vector<std::string> Log(const std::string& name = "panorello.log") const {
    return LogLines(folder.File(name));
  }
  std::vector<std::string> config;
  int windows = 0;
  bool graphical = true;
  std::string out, err;
};

TEST(JobsFromText, WholeNumbersFromOneToThirtyTwoElseFour) {
  const std::pair<const char*, int> cases[] = {
      {nullptr, 4}, {"1", 1}, {"32", 32}, {"33", 4}, {"4x", 4}, {"007", 7},
  };
  for (const auto& [text, jobs] : cases)
    EXPECT_EQ(JobsFromText(text), jobs) << (text ? text : "null");
}

TEST(Main, CommandLineFormsChooseTheRoadAndTheDashboard) {
  const std::string all = "Tutte le dashboard";
  const struct {
    std::vector<std::string> args;
    const char* open_setting;
    std::string label;  // "" for the window road
  } cases[] = {
      {{}, "OPENBROWSER=1", ""},
      {{"/DASH=Vendite", "/OPEN"}, "OPENBROWSER=0", ""},
      {{"/RUNNOW"}, "OPENBROWSER=0", all},
      {{"x", "/AUTORUN"}, "OPENBROWSER=1", all},
      {{"/RUN", "/DASH=Vendite", "/OPEN"}, "OPENBROWSER=0", "Vendite"},
      // /DEMO is a word of its own and never takes over a /RUN batch run.
      {{"/RUN", "/DASH=/demo"}, "OPENBROWSER=0", "/demo"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    Startup t;
    t.config.back() = c.open_setting;
    ASSERT_EQ(t.Run(c.args), 0);
    EXPECT_EQ(t->blocks.BlockCount(), 2);  // settings and blocks are loaded on both roads
    EXPECT_EQ(t.windows, c.label.empty() ? 1 : 0);
    const std::string page = ReadBytes(t.folder.File("page.html"));
    EXPECT_EQ(page.empty(), c.label.empty());
    if (c.label.empty()) continue;
    // The dashboard named on the command line reaches the page.
    EXPECT_NE(page.find("Dashboard: " + c.label + " &nbsp;"), std::string::npos);
  }
}

// A blocks.ini with text the reader passes over: one warning line naming it, before the batch
// lines; the window road gets the same text to show.
TEST(Main, SkippedBlocksTextIsLoggedOnce) {
  Startup t;
  const std::string block = BlockText(1, "Uno", "", "SELECT 1 AS n");
  WriteBytes(t.folder.File("blocks.ini"), block + "[block]\r\nTITLE=perso\r\n");
  const int64_t line = static_cast<int64_t>(testing::CountOf(block, "\r\n")) + 1;
  ASSERT_EQ(t.Run({"/RUN"}), 0);
  const auto log = t.Log();
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[0], SkippedTextWarning("blocks.ini", {line, "[block]"}));
  EXPECT_EQ(log[1], "Avvio batch. CMD=/RUN");
  EXPECT_EQ(t.Run({}), 0);
  EXPECT_EQ(t->blocks_warning, log[0]);
}

TEST(Main, FailedBatchSaysWhyOnStandardError) {
  for (bool terminal : {false, true}) {
    Startup t;
    WriteBytes(t.folder.File("file"), "x");
    t.config[2] = "OUTPUTFILE=" + t.folder.File("file/page.html");
    EXPECT_EQ(t.Run({"/RUN"}, terminal), kExitFailed);
    const auto log = t.Log();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[3].rfind("Errore RunDashboardGeneration: ", 0), 0u);
    EXPECT_EQ(log[4], "Batch terminato con errore");
    EXPECT_TRUE(t.reporter.messages.empty());
    // One line under cron; on a terminal the summary follows it.
    const std::string reason = log[3].substr(31);
    EXPECT_EQ(t.err,
              "Batch terminato con errore: " + reason + "\n" +
                  (terminal ? "Riepilogo: 0 blocchi, 0 con errore; pagina non scritta; log " +
                                  t.folder.File("panorello.log") + "\n"
                            : ""));
  }
}

TEST(Main, TheTerminalSummaryCountsTheFailedBlocks) {
  Startup t;
  WriteBytes(t.folder.File("blocks.ini"), BlockText(1, "Buono", "", "SELECT 1 AS uno") +
                                              BlockText(7, "Rotto", "", "SELECT * FROM manca"));
  EXPECT_EQ(t.Run({"/RUN"}, true), kExitBlockErrors);
  EXPECT_EQ(t.err, "Riepilogo: 2 blocchi, 1 con errore; pagina " + t.folder.File("page.html") +
                       "; log " + t.folder.File("panorello.log") + "\n");
}

TEST(Main, WithoutAGraphicalSessionOnlyAnExplicitOpenStartsTheBrowser) {
  const struct {
    std::vector<std::string> args;
    const char* setting;
    bool graphical, opened, skipped;
  } cases[] = {
      {{"/RUN"}, "OPENBROWSER=1", false, false, true},
      {{"/RUN"}, "OPENBROWSER=1", true, true, false},
      {{"/RUN", "/OPEN"}, "OPENBROWSER=0", false, true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args) + c.setting + (c.graphical ? " display" : ""));
    Startup t;
    t.config.back() = c.setting;
    t.graphical = c.graphical;
    EXPECT_EQ(t.Run(c.args), kExitOk);
    EXPECT_EQ(t.browser.opened.size(), c.opened ? 1u : 0u);
    const auto log = t.Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), "Browser non aperto: nessuna sessione grafica"),
              c.skipped ? 1 : 0);
  }
  // An explicit /OPEN whose browser cannot be started still fails the run.
  Startup t;
  t.graphical = false;
  t.browser.fail = true;
  EXPECT_EQ(t.Run({"/RUN", "/OPEN"}), kExitFailed);
}

TEST(Main, UnreadableFileStopsStartUpWithTwo) {
  // Files that exist but cannot be read as a regular file, also for root: reading /proc/self/mem at
  // offset 0 fails; a folder, a FIFO or a link to a device must not count as a missing file.
  const std::function<void(const std::string&)> plants[] = {
      [](const std::string& p) { ASSERT_EQ(symlink("/proc/self/mem", p.c_str()), 0); },
      [](const std::string& p) { ASSERT_EQ(symlink("/dev/zero", p.c_str()), 0); },
      [](const std::string& p) { ASSERT_EQ(mkdir(p.c_str(), 0755), 0); },
      [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); },
  };
  for (const char* file : {"config.ini", "blocks.ini"}) {
    for (size_t kind = 0; kind < std::size(plants); ++kind) {
      SCOPED_TRACE(std::string(file) + " " + std::to_string(kind));
      Startup t;
      const bool config = file == std::string("config.ini");
      if (config) {
        t.config.clear();  // Run leaves the planted file in its place
      } else {
        t.config.push_back("LOGFILE=" + t.folder.File("logs/mio.log"));
      }
      unlink(t.folder.File(file).c_str());
      plants[kind](t.folder.File(file));
      EXPECT_EQ(t.Run({"/RUN"}), kExitStartup);
      EXPECT_EQ(t.windows, 0);  // once the settings are read, their log file is used
      const auto log = t.Log(config ? "panorello.log" : "logs/mio.log");
      ASSERT_EQ(log.size(), 1u);
      EXPECT_EQ(log[0].rfind("Errore avvio: ", 0), 0u);
      EXPECT_NE(log[0].find(file), std::string::npos);
      EXPECT_EQ(t.err, log[0] + "\n");
      EXPECT_FALSE(FileExists(t.folder.File("page.html")) ||
                   FileExists(t.folder.File("dashboard.html")));
    }
  }
}

TEST(Main, SampleDatabaseCheckOnTheWindowRoad) {
  const struct {
    std::string type, database;
    bool created;
  } cases[] = {{" access ", "/x/DEMO_Panorello.mdb", true},
               {"ACCESS", "/x/archivio.mdb", false},
               {"ODBC", "/x/demo_panorello.mdb", false}};
  for (const auto& c : cases) {
    Startup t;
    t.config[0] = "DBTYPE=" + c.type;
    t.config[1] = "DATABASE=" + c.database;
    t.Run({});
    EXPECT_EQ(FileExists(t.folder.File("demo_panorello.mdb")), c.created) << c.database;
    EXPECT_EQ(t.windows, 1);
  }
}

TEST(Main, DemoSwitchFailsWithOneWhenTheSampleCannotBeCreated) {
  Startup u;
  WriteBytes(u.folder.File("blocks_demo.ini"), ReadBytes(testing::DemoBlocksSource()));
  const std::string blocks_before = ReadBytes(u.folder.File("blocks.ini"));
  ASSERT_EQ(mkdir(u.folder.File("demo_panorello.mdb").c_str(), 0755), 0);  // name taken
  EXPECT_EQ(u.Run({"/DEMO"}, true), kExitFailed);
  EXPECT_EQ(u.Log().back(), "Batch terminato con errore");
  EXPECT_NE(u.err.find("Errore creazione DB demo: "), std::string::npos) << u.err;
  EXPECT_TRUE(u.browser.opened.empty());
  EXPECT_EQ(u.windows, 0);
  EXPECT_EQ(ReadBytes(u.folder.File("blocks.ini")), blocks_before);
}

}  // namespace
}  // namespace panorello
