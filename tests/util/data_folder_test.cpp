#include "util/data_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/test_support.h"
#include "util/error.h"
#include "util/files.h"

namespace panorello {
namespace {

using testing::TempFolder;
using testing::WriteBytes;

// The order of the rule. "bin" is an installed program's folder: writable (as /usr/bin is for
// root) but holding none of the program's files, so not the data folder.
TEST(ChooseDataFolder, OrderOfTheRule) {
  TempFolder t;
  std::filesystem::create_directory(t.File("exe"));
  std::filesystem::create_directory(t.File("bin"));
  WriteBytes(t.File("exe/blocks_demo.ini"), "");
  const std::string bin = t.File("bin");
  const std::string home = t.File("h");
  const struct {
    ProcessEnvironment env;
    std::string exe;
    std::string expected;
  } cases[] = {
      {.env = {.panorello_home = t.File("mia/"), .home = home},
       .exe = t.File("exe"),
       .expected = t.File("mia")},
      {.env = {.home = home}, .exe = t.File("exe"), .expected = t.File("exe")},
      {.env = {.home = home}, .exe = bin, .expected = t.File("h/.config/panorello")},
      {.env = {.xdg_config_home = t.File("xdg"), .home = home},
       .exe = bin,
       .expected = t.File("xdg/panorello")},
      {.env = {.xdg_config_home = "rel", .home = home},  // relative: ignored
       .exe = bin,
       .expected = t.File("h/.config/panorello")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(ChooseDataFolder(c.env, c.exe), c.expected);
    struct stat st {};
    ASSERT_EQ(stat(c.expected.c_str(), &st), 0);
    if (c.expected != t.File("exe")) {
      EXPECT_EQ(st.st_mode & 0777, 0700u);  // created private
    }
  }
  // Each of the program's files makes a portable folder, config.ini and blocks.ini too.
  for (const char* name : {"config.ini", "blocks.ini"}) {
    WriteBytes(AppFile(bin, name), "");
    EXPECT_EQ(ChooseDataFolder({.home = home}, bin), bin) << name;
    std::filesystem::remove(AppFile(bin, name));
  }
}

TEST(ChooseDataFolder, FailuresNameWhatToCheck) {
  TempFolder t;
  WriteBytes(t.File("file"), "x");
  ProcessEnvironment no_home;
  ProcessEnvironment file_home;
  file_home.home = t.File("file");
  for (const ProcessEnvironment& env : {no_home, file_home}) {
    try {
      ChooseDataFolder(env, "/nessuna/cartella");
      ADD_FAILURE() << "no error for home " << env.home;
    } catch (const Error& e) {
      const std::string text = e.what();
      EXPECT_NE(text.find(env.home.empty() ? "HOME" : t.File("file")), std::string::npos) << text;
      EXPECT_NE(text.find("PANORELLO_HOME"), std::string::npos) << text;
    }
  }
}

TEST(ShippedDataFolders, ExecutableFolderThenInstalledDataWithoutRepeats) {
  EXPECT_EQ(ShippedDataFolders("/d", "/usr/bin", "/usr/bin/../share/panorello"),
            (std::vector<std::string>{"/usr/bin", "/usr/bin/../share/panorello"}));
  EXPECT_EQ(ShippedDataFolders("/opt/p", "/opt/p", "/opt/share/panorello"),
            (std::vector<std::string>{"/opt/share/panorello"}));
}

}  // namespace
}  // namespace panorello
