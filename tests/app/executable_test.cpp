// The built program itself, copied into a temporary folder (it finds its files beside itself).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "db/connection.h"
#include "support/test_support.h"
#include "util/files.h"

namespace panorello {
namespace {

using testing::LogLines;
using testing::ReadBytes;
using testing::WriteBytes;

class Program : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string built = std::string(PANORELLO_BINARY_DIR) + "/panorello";
    ASSERT_TRUE(FileExists(built)) << "build the panorello target first: " << built;
    std::filesystem::copy_file(built, folder.File("panorello"));
    std::filesystem::permissions(folder.File("panorello"), std::filesystem::perms::owner_all);
    // A stand-in for the desktop opener: records the path it was given.
    std::filesystem::create_directory(folder.File("bin"));
    WriteBytes(folder.File("bin/xdg-open"),
               "#!/bin/sh\necho \"$1\" >> \"" + folder.File("opened") + "\"\n");
    std::filesystem::permissions(folder.File("bin/xdg-open"), std::filesystem::perms::owner_all);
  }
  // Runs the copy as cron would: a plain environment (no display, no terminal, the stand-in
  // opener first on PATH) plus `env` (NAME=value words); returns the exit status, or -1 when it
  // did not exit.
  int Run(const std::string& args, const std::string& env = "") {
    const std::string command = "cd '" + folder.Path() + "' && env -i PATH='" + folder.File("bin") +
                                ":/usr/bin:/bin' HOME='" + folder.Path() + "' " + env +
                                " ./panorello " + args + " > out.txt 2> err.txt < /dev/null";
    const int status = std::system(command.c_str());
    out = ReadBytes(folder.File("out.txt"));
    err = ReadBytes(folder.File("err.txt"));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  void WriteSqliteConfig(const std::string& output, const std::vector<std::string>& more = {}) {
    if (!FileExists(folder.File("dati.db"))) {
      CreateSqliteDatabase(folder.File("dati.db"), ConnectionLimits{})
          ->Execute("CREATE TABLE t (n INTEGER)");
    }
    std::vector<std::string> lines = {"DBTYPE=ACCESS", "DATABASE=" + folder.File("dati.db"),
                                      "OUTPUTFILE=" + output, "OPENBROWSER=0"};
    lines.insert(lines.end(), more.begin(), more.end());
    WriteBytes(folder.File("config.ini"), testing::ConfigText(lines));
    WriteBytes(folder.File("blocks.ini"), testing::BlockText(1, "Uno", "", "SELECT 1 AS n"));
  }
  // Waits for the detached opener; returns what it recorded.
  std::string Opened() {
    for (int i = 0; i < 50 && ReadBytes(folder.File("opened")).empty(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return ReadBytes(folder.File("opened"));
  }
  testing::TempFolder folder;
  std::string out, err;
};

TEST_F(Program, HelpVersionAndWindowRoadWithoutDisplay) {
  WriteSqliteConfig(folder.File("page.html"));
  for (const char* arg : {"--help", "/RUN -h"}) {  // help wins and touches nothing
    EXPECT_EQ(Run(arg), 0) << arg;
    EXPECT_EQ(out.rfind("Uso: panorello", 0), 0u) << out;
    EXPECT_NE(out.find("Cartella dei dati in uso: " + folder.Path() + "\n"), std::string::npos);
    EXPECT_FALSE(FileExists(folder.File("page.html")) || FileExists(folder.File("panorello.log")));
  }
  EXPECT_EQ(Run("--version"), 0);
  EXPECT_EQ(out, std::string("panorello ") + PANORELLO_VERSION + "\n");
  EXPECT_EQ(Run(""), 2);  // no window program beside it: the batch switches are named instead
  EXPECT_NE(err.find("/RUN"), std::string::npos) << err;
  EXPECT_NE(err.find("panorello-gui"), std::string::npos) << err;
  EXPECT_FALSE(FileExists(folder.File("page.html")));

  // With panorello-gui beside it, the window road is handed over (which then finds no display).
  const std::string gui = std::string(PANORELLO_BINARY_DIR) + "/panorello-gui";
  if (!FileExists(gui)) GTEST_SKIP() << "built without the window";
  std::filesystem::copy_file(gui, folder.File("panorello-gui"));
  std::filesystem::permissions(folder.File("panorello-gui"), std::filesystem::perms::owner_all);
  EXPECT_EQ(Run(""), 2);
  EXPECT_NE(err.find("impossibile aprire la finestra"), std::string::npos) << err;
}

// The exit statuses and what cron would mail: nothing on success, one line per failed block.
TEST_F(Program, ExitStatusAndCronOutput) {
  const struct {
    std::string sql;
    int status;
    std::string err;
  } cases[] = {
      {.sql = "SELECT 1 AS n", .status = 0, .err = ""},
      {.sql = "SELECT * FROM manca",
       .status = 3,
       .err = "Errore blocco 2 (Rotto): no such table: manca\n"},
  };
  for (const auto& c : cases) {
    WriteSqliteConfig(folder.File("page.html"));
    WriteBytes(folder.File("blocks.ini"), testing::BlockText(1, "Uno", "", "SELECT 1 AS n") +
                                              testing::BlockText(2, "Rotto", "", c.sql));
    EXPECT_EQ(Run("/RUN"), c.status) << c.sql;
    EXPECT_EQ(err, c.err);
  }
}

TEST_F(Program, ALogThatCannotBeWrittenGoesToStandardError) {
  WriteBytes(folder.File("file"), "x");
  const std::string log = folder.File("file/panorello.log");
  WriteSqliteConfig(folder.File("page.html"), {"LOGFILE=" + log});
  EXPECT_EQ(Run("/RUN"), 0);
  EXPECT_TRUE(FileExists(folder.File("page.html")));
  EXPECT_EQ(err.rfind("Impossibile scrivere il log " + log + ": ", 0), 0u) << err;
  EXPECT_NE(err.find(" - Avvio batch. CMD=/RUN\n"), std::string::npos) << err;
  EXPECT_NE(err.find(" - Batch completato con successo\n"), std::string::npos) << err;
}

TEST_F(Program, DemoSwitchWritesTheDemoPageAndOpensItOnlyWithADisplay) {
  WriteBytes(folder.File("blocks_demo.ini"), ReadBytes(testing::DemoBlocksSource()));
  const std::string page = folder.File("dashboard_demo.html");
  for (bool display : {false, true}) {
    SCOPED_TRACE(display ? "display" : "no display");
    std::filesystem::remove(folder.File("opened"));
    EXPECT_EQ(Run("/demo", display ? "DISPLAY=:99" : ""), 0) << err;
    EXPECT_TRUE(err.empty()) << err;
    EXPECT_TRUE(FileExists(page));
    EXPECT_FALSE(FileExists(folder.File("config.ini")) || FileExists(folder.File("blocks.ini")));
    const auto log = LogLines(folder.File("panorello.log"));
    EXPECT_EQ(log.back(), "Batch completato con successo");
    EXPECT_EQ(log[log.size() - 2] == "Browser non aperto: nessuna sessione grafica", !display);
    EXPECT_EQ(Opened(), display ? page + "\n" : "");
  }
}

}  // namespace
}  // namespace panorello
