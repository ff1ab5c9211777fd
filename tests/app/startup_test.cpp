#include "app/startup.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <sys/stat.h>

#include <algorithm>
#include <sstream>

#include "support/test_support.h"
#include "db/connection.h"
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
    CreateSqliteDatabase(folder.File("dati.db"), ctx->limits)->Execute("CREATE TABLE t (n INTEGER)");
    config = {"DBTYPE=ACCESS", "DATABASE=" + folder.File("dati.db"),
              "OUTPUTFILE=" + folder.File("page.html"), "PAGETITLE=Prova", "OPENBROWSER=0"};
    WriteBytes(folder.File("blocks.ini"),
               BlockText(1, "Blocco vendite", "Vendite", "SELECT 1 AS uno") +
                   BlockText(2, "Blocco acquisti", "Acquisti", "SELECT 2 AS due"));
  }
  int Run(const std::vector<std::string>& args, bool terminal = false) {
    WriteBytes(folder.File("config.ini"), ConfigText(config));
    std::ostringstream o, e;
    const int code = Main(*ctx, args, [&](AppContext&) { ++windows; return 0; }, o, e, terminal);
    out = o.str();
    err = e.str();
    return code;
  }
  std::string Page() const { return ReadBytes(folder.File("page.html")); }
  std::vector<std::string> Log() const { return LogLines(folder.File("panorello.log")); }
  std::vector<std::string> config;
  int windows = 0;
  std::string out, err;
};

TEST(Main, RoadChoice) {
  struct Case {
    std::vector<std::string> args;
    bool window;
  } cases[] = {
      {{}, true},
      {{"/DASH=Vendite"}, true},
      {{"/OPEN"}, true},
      {{"/run"}, false},
      {{"/RUNNOW"}, false},
      {{"/AUTORUN"}, false},
      {{"x", "/Run"}, false},
  };
  for (const Case& c : cases) {
    Startup t;
    const int code = t.Run(c.args);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(t.windows, c.window ? 1 : 0) << ::testing::PrintToString(c.args);
    EXPECT_EQ(FileExists(t.folder.File("page.html")), !c.window);
    EXPECT_EQ(t->blocks.BlockCount(), 2);  // settings and blocks are loaded on both roads
    EXPECT_EQ(t->settings.PageTitle, "Prova");
  }
}

TEST(Main, DashboardNameForms) {
  struct Case {
    std::vector<std::string> args;
    std::string label;
    std::vector<std::string> titles;
  } cases[] = {
      {{"/RUN", "/DASH=Vendite"}, "Vendite", {"Blocco vendite"}},
      {{"/run", "/dash=vendite"}, "vendite", {"Blocco vendite"}},
      {{"/RUN", "/DASH=\"Acquisti\""}, "Acquisti", {"Blocco acquisti"}},
      {{"/RUN", "/DASH=\"Vendite", "Nord\""}, "&quot;Vendite", {}},
      {{"/RUN", "/DASH=\"\""}, "Tutte le dashboard", {"Blocco vendite", "Blocco acquisti"}},
      {{"/RUN", "/DASH="}, "Tutte le dashboard", {"Blocco vendite", "Blocco acquisti"}},
      {{"/RUN", "/DASH=\""}, "&quot;", {}},
      {{"/RUN", "/DASH=Acquisti", "/DASH=Vendite"}, "Acquisti", {"Blocco acquisti"}},
      {{"/AUTORUN"}, "Tutte le dashboard", {"Blocco vendite", "Blocco acquisti"}},
  };
  for (const Case& c : cases) {
    Startup t;
    ASSERT_EQ(t.Run(c.args), 0);
    const std::string page = t.Page();
    EXPECT_NE(page.find("Dashboard: " + c.label + " &nbsp;"), std::string::npos)
        << ::testing::PrintToString(c.args);
    for (const char* title : {"Blocco vendite", "Blocco acquisti"}) {
      const bool expected = std::find(c.titles.begin(), c.titles.end(), title) != c.titles.end();
      EXPECT_EQ(page.find(title) != std::string::npos, expected) << title;
    }
  }
}

TEST(Main, OpenSwitchAndSetting) {
  struct Case {
    std::vector<std::string> args;
    std::string setting;
    bool opened;
  } cases[] = {
      {{"/RUN", "/DASH=Vendite", "/OPEN"}, "OPENBROWSER=0", true},
      {{"/run", "/open"}, "OPENBROWSER=0", true},
      {{"/RUN"}, "OPENBROWSER=1", true},
      {{"/RUN"}, "OPENBROWSER=0", false},
  };
  for (const Case& c : cases) {
    Startup t;
    t.config.back() = c.setting;
    ASSERT_EQ(t.Run(c.args), 0);
    EXPECT_EQ(t.browser.opened.size(), c.opened ? 1u : 0u) << ::testing::PrintToString(c.args);
  }
}

TEST(Main, BatchLogLinesAndTrimmedCommandLine) {
  Startup t;
  // Two spaces, /run, two spaces, /DASH=x and one space, as separate arguments joined by one space.
  ASSERT_EQ(t.Run({"", "/run", "", "/DASH=x", ""}), 0);
  const std::string page = t.folder.File("page.html");
  EXPECT_EQ(t.Log(), (std::vector<std::string>{"Avvio batch. CMD=/run  /DASH=x",
                                               "Inizio RunDashboardGeneration",
                                               "Scrittura file " + page,
                                               "Fine RunDashboardGeneration OK",
                                               "Batch completato con successo"}));
  EXPECT_TRUE(t.err.empty());
}

TEST(Main, FailedBatchExitsWithOne) {
  for (bool terminal : {false, true}) {
    Startup t;
    WriteBytes(t.folder.File("file"), "x");
    t.config[2] = "OUTPUTFILE=" + t.folder.File("file/page.html");
    EXPECT_EQ(t.Run({"/RUN"}, terminal), 1);
    const auto log = t.Log();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[3].rfind("Errore RunDashboardGeneration: ", 0), 0u);
    EXPECT_EQ(log[4], "Batch terminato con errore");
    EXPECT_TRUE(t.reporter.messages.empty());  // batch runs are silent
    EXPECT_EQ(t.err.empty(), !terminal);
  }
}

// A file that exists but cannot be read, also for root: reading /proc/self/mem at offset 0 fails.
void MakeUnreadable(const std::string& path) {
  ASSERT_EQ(symlink("/proc/self/mem", path.c_str()), 0);
}

TEST(Main, UnreadableConfigStopsStartUp) {
  Startup t;
  const std::string blocks_before = ReadBytes(t.folder.File("blocks.ini"));
  std::ostringstream o, e;
  MakeUnreadable(t.folder.File("config.ini"));
  const int code = Main(*t, {"/RUN"}, [](AppContext&) { return 0; }, o, e, false);
  EXPECT_EQ(code, kExitStartup);
  const auto log = LogLines(t.folder.File("panorello.log"));
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].rfind("Errore avvio: ", 0), 0u);
  EXPECT_NE(log[0].find("config.ini"), std::string::npos);
  EXPECT_EQ(e.str(), log[0] + "\n");
  EXPECT_FALSE(FileExists(t.folder.File("page.html")));
  EXPECT_EQ(ReadBytes(t.folder.File("blocks.ini")), blocks_before);
}

TEST(Main, UnreadableBlocksStopsStartUpAndLogsWhereTheSettingsSay) {
  Startup t;
  t.config.push_back("LOGFILE=" + t.folder.File("logs/mio.log"));
  unlink(t.folder.File("blocks.ini").c_str());
  MakeUnreadable(t.folder.File("blocks.ini"));
  EXPECT_EQ(t.Run({}), kExitStartup);
  EXPECT_EQ(t.windows, 0);
  const auto log = LogLines(t.folder.File("logs/mio.log"));
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find("blocks.ini"), std::string::npos);
  EXPECT_EQ(t.err, log[0] + "\n");
}

TEST(Main, HelpPrintsUsageAndTouchesNothing) {
  for (const char* arg : {"--help", "-h", "/?"}) {
    Startup t;
    EXPECT_EQ(t.Run({"/RUN", arg}), 0);
    EXPECT_EQ(t.out, UsageText());
    EXPECT_NE(t.out.find("/DASH=nome"), std::string::npos);
    EXPECT_FALSE(FileExists(t.folder.File("page.html")));
    EXPECT_FALSE(FileExists(t.folder.File("panorello.log")));
  }
}

TEST(Main, SampleDatabaseCheck) {
  struct Case {
    std::string type;
    std::string database;
    bool created;
  } cases[] = {
      {" access ", "/x/DEMO_Panorello.mdb", true},
      {"ACCESS", "C:\\dati\\demo_panorello.mdb", true},
      {"ACCESS", "/x/archivio.mdb", false},
      {"ODBC", "/x/demo_panorello.mdb", false},
  };
  for (const Case& c : cases) {
    Startup t;
    t.config[0] = "DBTYPE=" + c.type;
    t.config[1] = "DATABASE=" + c.database;
    t.Run({});
    EXPECT_EQ(FileExists(t.folder.File("demo_panorello.mdb")), c.created) << c.database;
    EXPECT_EQ(t.windows, 1);
  }
}

TEST(Main, DemoSwitchRunsTheDemonstrationWithoutAWindow) {
  Startup t;
  WriteBytes(t.folder.File("blocks_demo.ini"), ReadBytes(testing::DemoBlocksSource()));
  const std::string config_before = ConfigText(t.config);
  const std::string blocks_before = ReadBytes(t.folder.File("blocks.ini"));
  EXPECT_EQ(t.Run({"/demo"}), 0);
  EXPECT_EQ(t.windows, 0);
  const std::string page_path = t.folder.File("dashboard_demo.html");
  EXPECT_EQ(t.browser.opened, std::vector<std::string>{page_path});
  const auto log = t.Log();
  ASSERT_EQ(log.size(), 8u);
  EXPECT_EQ(log[0], "Avvio batch. CMD=/demo");
  EXPECT_EQ(log[1], "Creazione database demo: " + t.folder.File("demo_panorello.mdb"));
  EXPECT_EQ(log[7], "Batch completato con successo");
  EXPECT_EQ(ReadBytes(t.folder.File("config.ini")), config_before);
  EXPECT_EQ(ReadBytes(t.folder.File("blocks.ini")), blocks_before);
  EXPECT_EQ(ReadBytes(page_path).find("class=\"error\""), std::string::npos);
}

TEST(Main, DemoSwitchFailsWhenTheSampleCannotBeCreated) {
  Startup t;
  ASSERT_EQ(mkdir(t.folder.File("demo_panorello.mdb-journal").c_str(), 0755), 0);
  EXPECT_EQ(t.Run({"/DEMO"}, true), 1);
  const auto log = t.Log();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[2].rfind("Errore creazione tabelle: ", 0), 0u);
  EXPECT_EQ(log[3], "Batch terminato con errore");
  EXPECT_NE(t.err.find("Errore creazione tabelle: "), std::string::npos);
  EXPECT_TRUE(t.browser.opened.empty());
}

}  // namespace
}  // namespace panorello
