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
    WriteBytes(folder.File("bin/xdg-open"), "#!/bin/sh\necho \"$1\" >> \"" + folder.File("opened") + "\"\n");
    std::filesystem::permissions(folder.File("bin/xdg-open"), std::filesystem::perms::owner_all);
  }
  // Runs the copy with a plain environment (no display, the stand-in opener first on PATH);
  // returns the exit status, or -1 when it did not exit.
  int Run(const std::string& args) {
    const std::string command = "cd '" + folder.Path() + "' && env -i PATH='" + folder.File("bin") +
                                ":/usr/bin:/bin' HOME='" + folder.Path() + "' ./panorello " + args +
                                " > out.txt 2> err.txt < /dev/null";
    const int status = std::system(command.c_str());
    out = ReadBytes(folder.File("out.txt"));
    err = ReadBytes(folder.File("err.txt"));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  void WriteSqliteConfig(const std::string& output) {
    if (!FileExists(folder.File("dati.db"))) {
      CreateSqliteDatabase(folder.File("dati.db"), ConnectionLimits{})->Execute("CREATE TABLE t (n INTEGER)");
    }
    WriteBytes(folder.File("config.ini"),
               testing::ConfigText({"DBTYPE=ACCESS", "DATABASE=" + folder.File("dati.db"),
                                    "OUTPUTFILE=" + output, "OPENBROWSER=0"}));
    WriteBytes(folder.File("blocks.ini"), testing::BlockText(1, "Uno", "", "SELECT 1 AS n"));
  }
  testing::TempFolder folder;
  std::string out, err;
};

TEST_F(Program, HelpWindowRoadWithoutDisplayAndBatchExitCodes) {
  WriteSqliteConfig(folder.File("page.html"));
  for (const char* arg : {"--help", "'/?'", "/RUN -h"}) {  // help wins and touches nothing
    EXPECT_EQ(Run(arg), 0) << arg;
    EXPECT_EQ(out.rfind("Uso: panorello", 0), 0u) << out;
    EXPECT_FALSE(FileExists(folder.File("page.html")) || FileExists(folder.File("panorello.log")));
  }
  EXPECT_EQ(Run(""), 2);  // no display: the batch switches are named instead
  EXPECT_NE(err.find("/RUN"), std::string::npos) << err;
  EXPECT_FALSE(FileExists(folder.File("page.html")));

  EXPECT_EQ(Run("/RUN"), 0) << err;
  EXPECT_TRUE(err.empty()) << err;  // not a terminal: no progress lines
  EXPECT_NE(ReadBytes(folder.File("page.html")).find("<div class=\"title\">Uno</div>"), std::string::npos);
  EXPECT_EQ(LogLines(folder.File("panorello.log")).back(), "Batch completato con successo");

  WriteBytes(folder.File("file"), "x");
  WriteSqliteConfig(folder.File("file/page.html"));
  EXPECT_EQ(Run("/RUN"), 1);
  EXPECT_EQ(LogLines(folder.File("panorello.log")).back(), "Batch terminato con errore");
}

TEST_F(Program, DemoSwitchWritesAndOpensTheDemoPage) {
  WriteBytes(folder.File("blocks_demo.ini"), ReadBytes(testing::DemoBlocksSource()));
  EXPECT_EQ(Run("/demo"), 0) << err;
  const std::string page = folder.File("dashboard_demo.html");
  EXPECT_NE(ReadBytes(page).find("<title>Panorello Demo - Zavo Software</title>"), std::string::npos);
  EXPECT_FALSE(FileExists(folder.File("config.ini")) || FileExists(folder.File("blocks.ini")));
  EXPECT_EQ(LogLines(folder.File("panorello.log")).back(), "Batch completato con successo");
  for (int i = 0; i < 50 && ReadBytes(folder.File("opened")).empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the opener runs detached
  }
  EXPECT_EQ(ReadBytes(folder.File("opened")), page + "\n");
}

}  // namespace
}  // namespace panorello
