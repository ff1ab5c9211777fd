// The built program as cron or a shell sees it: help, version, exit statuses, standard error.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "app/program_fixture.h"

namespace panorello {
namespace {

using testing::ReadBytes;
using testing::WriteBytes;

TEST_F(Program, HelpVersionAndWindowRoadWithoutDisplay) {
  for (const char* arg : {"--help", "/RUN -h"}) {  // help wins and touches nothing
    EXPECT_EQ(Run(arg), 0) << arg;
    EXPECT_EQ(out.rfind("Uso: panorello", 0), 0u) << out;
    EXPECT_NE(out.find("Cartella dei dati in uso: " + folder.Path() + "\n"), std::string::npos);
    EXPECT_FALSE(FileExists(File("page.html")) || FileExists(File("panorello.log")));
  }
  EXPECT_EQ(Run("--version"), 0);
  EXPECT_EQ(out, std::string("panorello ") + PANORELLO_VERSION + "\n");
  EXPECT_EQ(Run(""), 2);  // no window program beside it: the batch switches are named instead
  EXPECT_NE(err.find("/RUN"), std::string::npos) << err;
  EXPECT_NE(err.find("panorello-gui"), std::string::npos) << err;
  EXPECT_FALSE(FileExists(File("page.html")));

  // With panorello-gui beside it, the window road is handed over (which then finds no display).
  const std::string gui = std::string(PANORELLO_BINARY_DIR) + "/panorello-gui";
  if (!FileExists(gui)) GTEST_SKIP() << "built without the window";
  std::filesystem::copy_file(gui, File("panorello-gui"));
  std::filesystem::permissions(File("panorello-gui"), std::filesystem::perms::owner_all);
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
    WriteBytes(File("blocks.ini"), testing::BlockText(1, "Uno", "", "SELECT 1 AS n") +
                                       testing::BlockText(2, "Rotto", "", c.sql));
    EXPECT_EQ(Run("/RUN"), c.status) << c.sql;
    EXPECT_EQ(err, c.err);
  }
}

TEST_F(Program, ALogThatCannotBeWrittenGoesToStandardError) {
  WriteBytes(File("file"), "x");
  const std::string log = File("file/panorello.log");
  Config({"LOGFILE=" + log});
  EXPECT_EQ(Run("/RUN"), 0);
  EXPECT_TRUE(FileExists(File("page.html")));
  EXPECT_EQ(err.rfind("Impossibile scrivere il log " + log + ": ", 0), 0u) << err;
  EXPECT_NE(err.find(" - Avvio batch. CMD=/RUN\n"), std::string::npos) << err;
  EXPECT_NE(err.find(" - Batch completato con successo\n"), std::string::npos) << err;
}

// The demo page is opened where DISPLAY names a graphical session, through the desktop opener.
TEST_F(Program, DemoSwitchOpensThePageOnlyWithADisplay) {
  WriteBytes(File("blocks_demo.ini"), ReadBytes(testing::DemoBlocksSource()));
  // A stand-in for the desktop opener: records the path it was given.
  std::filesystem::create_directory(File("bin"));
  WriteBytes(File("bin/xdg-open"), "#!/bin/sh\necho \"$1\" >> \"" + File("opened") + "\"\n");
  std::filesystem::permissions(File("bin/xdg-open"), std::filesystem::perms::owner_all);
  const std::string path = "PATH=" + File("bin") + ":/usr/bin:/bin";
  for (bool display : {false, true}) {
    SCOPED_TRACE(display ? "display" : "no display");
    std::filesystem::remove(File("opened"));
    EXPECT_EQ(Run("/demo", path + (display ? " DISPLAY=:99" : "")), 0) << err;
    EXPECT_TRUE(err.empty()) << err;
    // The opener runs detached: wait for it.
    for (int i = 0; display && i < 50 && ReadBytes(File("opened")).empty(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(ReadBytes(File("opened")), display ? File("dashboard_demo.html") + "\n" : "");
  }
}

}  // namespace
}  // namespace panorello
