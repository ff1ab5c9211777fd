// `cmake --install` into a DESTDIR, then the installed program run by an unprivileged user with a
// home of its own: where its files go.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/test_support.h"
#include "util/files.h"

namespace panorello {
namespace {

using testing::ReadBytes;
using testing::WriteBytes;

constexpr const char* kNobody = "65534";

class Installed : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "running as another user needs root (setpriv)";
    if (std::system("command -v setpriv > /dev/null") != 0) GTEST_SKIP() << "setpriv missing";
    ASSERT_EQ(chmod(root.Path().c_str(), 0755), 0);
    const std::string install = std::string("DESTDIR='") + root.File("dest") + "' '" +
                                PANORELLO_CMAKE_COMMAND + "' --install '" + PANORELLO_BINARY_DIR +
                                "' --prefix /usr > '" + root.File("install.txt") + "' 2>&1";
    ASSERT_EQ(std::system(install.c_str()), 0) << ReadBytes(root.File("install.txt"));
    program = root.File("dest/usr/bin/panorello");
    ASSERT_TRUE(FileExists(program));
    home = UserFolder("home");
  }
  // A folder the unprivileged user owns.
  std::string UserFolder(const std::string& name) {
    const std::string path = root.File(name);
    std::filesystem::create_directory(path);
    EXPECT_EQ(chown(path.c_str(), 65534, 65534), 0);
    return path;
  }
  // Runs `exe args` as nobody, from its home, with a cron-like environment plus `env`.
  int Run(const std::string& exe, const std::string& args, const std::string& env = "") {
    const std::string command = "cd '" + home + "' && env -i PATH=/usr/bin:/bin HOME='" + home +
                                "' " + env + " setpriv --reuid=" + kNobody + " --regid=" + kNobody +
                                " --clear-groups '" + exe + "' " + args + " > '" +
                                root.File("out.txt") + "' 2> '" + root.File("err.txt") + "'";
    const int status = std::system(command.c_str());
    out = ReadBytes(root.File("out.txt"));
    err = ReadBytes(root.File("err.txt"));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  testing::TempFolder root;
  std::string program, home, out, err;
};

TEST_F(Installed, DemoAndRunWriteIntoTheUsersConfigFolder) {
  const std::string data = home + "/.config/panorello";
  EXPECT_EQ(Run(program, "/DEMO"), 0) << err;
  EXPECT_TRUE(err.empty()) << err;
  const std::string page = ReadBytes(data + "/dashboard_demo.html");
  // The demonstration blocks came from share/panorello: the page has blocks.
  EXPECT_NE(page.find("<div class=\"block\">"), std::string::npos);
  EXPECT_TRUE(FileExists(data + "/panorello.log"));

  EXPECT_EQ(Run(program, "/RUN"), 0) << err;
  EXPECT_TRUE(FileExists(data + "/dashboard.html"));
  EXPECT_FALSE(FileExists(root.File("dest/usr/bin/panorello.log")));
}

}  // namespace
}  // namespace panorello
