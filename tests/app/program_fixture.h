#pragma once
// The built program itself, copied into a temporary folder (it finds its files beside itself)
// with a SQLite file, a config.ini pointing at it and one block.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <vector>

#include "db/connection.h"
#include "support/test_support.h"
#include "util/files.h"

namespace panorello {

class Program : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string built = std::string(PANORELLO_BINARY_DIR) + "/panorello";
    ASSERT_TRUE(FileExists(built)) << "build the panorello target first: " << built;
    std::filesystem::copy_file(built, File("panorello"));
    std::filesystem::permissions(File("panorello"), std::filesystem::perms::owner_all);
    CreateSqliteDatabase(File("dati.db"), ConnectionLimits{})
        ->Execute("CREATE TABLE t (n INTEGER)");
    Config({});
    testing::WriteBytes(File("blocks.ini"), testing::BlockText(1, "Uno", "", "SELECT 1 AS n"));
  }
  std::string File(const std::string& name) const { return folder.File(name); }
  // config.ini with the SQLite file, page.html, no browser; extra lines replace keys of these
  // (the first line of a key wins).
  void Config(const std::vector<std::string>& extra) {
    std::vector<std::string> lines = extra;
    for (const std::string& line :
         std::vector<std::string>{"DBTYPE=ACCESS", "DATABASE=" + File("dati.db"),
                                  "OUTPUTFILE=" + File("page.html"), "OPENBROWSER=0"}) {
      lines.push_back(line);
    }
    testing::WriteBytes(File("config.ini"), testing::ConfigText(lines));
  }
  // Runs the copy as cron would, at most 30 s: a plain environment (no display, no terminal)
  // plus `env` (NAME=value words); returns the exit status (124: it had to be stopped), or -1
  // when it did not exit.
  int Run(const std::string& args, const std::string& env = "") {
    const std::string command = "cd '" + folder.Path() + "' && env -i PATH=/usr/bin:/bin HOME='" +
                                folder.Path() + "' " + env + " timeout 30 ./panorello " + args +
                                " > out.txt 2> err.txt < /dev/null";
    const int status = std::system(command.c_str());
    out = testing::ReadBytes(File("out.txt"));
    err = testing::ReadBytes(File("err.txt"));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string Log() const { return testing::ReadBytes(File("panorello.log")); }

  testing::TempFolder folder;
  std::string out, err;
};

}  // namespace panorello
