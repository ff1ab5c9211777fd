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

// The order of the rule. "/nessuna/cartella" stands for an executable folder the user cannot
// write (root writes everywhere else); the install test runs the real case as another user.
TEST(ChooseDataFolder, OrderOfTheRule) {
  TempFolder t;
  std::filesystem::create_directory(t.File("exe"));
  const std::string missing = "/nessuna/cartella";
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
      {.env = {.home = home}, .exe = missing, .expected = t.File("h/.config/panorello")},
      {.env = {.xdg_config_home = t.File("xdg"), .home = home},
       .exe = missing,
       .expected = t.File("xdg/panorello")},
      {.env = {.xdg_config_home = "rel", .home = home},  // relative: ignored
       .exe = missing,
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
