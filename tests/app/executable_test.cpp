// The built program itself, copied into a temporary folder (it finds its files beside itself).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "support/test_support.h"
#include "db/connection.h"
#include "util/files.h"

namespace panorello {
namespace {

using testing::BlockText;
using testing::ConfigText;
using testing::LogLines;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

struct Outcome {
  int code = -1;
  std::string out;
  std::string err;
};

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

  // Runs the copy with a plain environment: no display, the stand-in opener first on PATH.
  Outcome Run(const std::string& args) {
    const std::string command = "cd '" + folder.Path() + "' && env -i PATH='" + folder.File("bin") +
                                ":/usr/bin:/bin' HOME='" + folder.Path() + "' ./panorello " + args +
                                " > out.txt 2> err.txt < /dev/null";
    const int status = std::system(command.c_str());
    Outcome o;
    o.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    o.out = ReadBytes(folder.File("out.txt"));
    o.err = ReadBytes(folder.File("err.txt"));
    return o;
  }

  void WriteSqliteConfig(const std::string& output) {
    if (!FileExists(folder.File("dati.db"))) {
      CreateSqliteDatabase(folder.File("dati.db"), ConnectionLimits{})->Execute("CREATE TABLE t (n INTEGER)");
    }
    WriteBytes(folder.File("config.ini"),
               ConfigText({"DBTYPE=ACCESS", "DATABASE=" + folder.File("dati.db"), "OUTPUTFILE=" + output,
                           "OPENBROWSER=0"}));
    WriteBytes(folder.File("blocks.ini"), BlockText(1, "Uno", "", "SELECT 1 AS n"));
  }

  TempFolder folder;
};

TEST_F(Program, HelpOnStandardOutput) {
  for (const char* arg : {"--help", "-h", "'/?'"}) {
    const Outcome o = Run(arg);
    EXPECT_EQ(o.code, 0) << arg;
    EXPECT_EQ(o.out.rfind("Uso: panorello", 0), 0u) << o.out;
    EXPECT_TRUE(o.err.empty());
  }
}

TEST_F(Program, BatchSuccessAndFailureExitCodes) {
  WriteSqliteConfig(folder.File("page.html"));
  Outcome o = Run("/RUN");
  EXPECT_EQ(o.code, 0) << o.err;
  EXPECT_TRUE(o.err.empty()) << o.err;  // not a terminal: no progress lines
  EXPECT_NE(ReadBytes(folder.File("page.html")).find("<div class=\"title\">Uno</div>"), std::string::npos);
  auto log = LogLines(folder.File("panorello.log"));
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "Batch completato con successo");

  WriteBytes(folder.File("file"), "x");
  WriteSqliteConfig(folder.File("file/page.html"));
  o = Run("/RUN");
  EXPECT_EQ(o.code, 1);
  log = LogLines(folder.File("panorello.log"));
  EXPECT_EQ(log.back(), "Batch terminato con errore");
}

TEST_F(Program, UnreadableConfigExitsWithTwo) {
  ASSERT_EQ(symlink("/proc/self/mem", folder.File("config.ini").c_str()), 0);
  const Outcome o = Run("/RUN");
  EXPECT_EQ(o.code, 2);
  EXPECT_EQ(o.err.rfind("Errore avvio: ", 0), 0u) << o.err;
  EXPECT_FALSE(FileExists(folder.File("dashboard.html")));
}

TEST_F(Program, WindowRoadWithoutADisplayNamesTheBatchSwitches) {
  WriteSqliteConfig(folder.File("page.html"));
  const Outcome o = Run("");
  EXPECT_EQ(o.code, 2);
  EXPECT_NE(o.err.find("/RUN"), std::string::npos) << o.err;
  EXPECT_FALSE(FileExists(folder.File("page.html")));
}

TEST_F(Program, DemoSwitchWritesAndOpensTheDemoPage) {
  std::filesystem::copy_file(std::string(PANORELLO_SOURCE_DIR) + "/src/demo/blocks_demo.ini",
                             folder.File("blocks_demo.ini"));
  const Outcome o = Run("/DEMO");
  EXPECT_EQ(o.code, 0) << o.err;
  const std::string page = folder.File("dashboard_demo.html");
  EXPECT_NE(ReadBytes(page).find("<title>Panorello Demo - Zavo Software</title>"), std::string::npos);
  EXPECT_TRUE(FileExists(folder.File("demo_panorello.mdb")));
  EXPECT_FALSE(FileExists(folder.File("config.ini")));
  EXPECT_FALSE(FileExists(folder.File("blocks.ini")));
  // The opener runs detached; give it a moment.
  for (int i = 0; i < 50 && ReadBytes(folder.File("opened")).empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(ReadBytes(folder.File("opened")), page + "\n");
}

}  // namespace
}  // namespace panorello
