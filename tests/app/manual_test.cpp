// The installed manual pages: `cmake --install` into a temporary DESTDIR, then `man -l`.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "storage/block_list.h"
#include "storage/blocks_file.h"
#include "storage/settings.h"
#include "support/test_support.h"
#include "util/files.h"

namespace panorello {
namespace {

using testing::ReadBytes;

// The installed section-5 manual renders and names every key of config.ini and blocks.ini that
// the readers know, the markers and the render modes; the README travels with it.
TEST(InstalledManual, DocumentsEveryKeyTheReadersKnow) {
  if (std::system("command -v man > /dev/null") != 0) GTEST_SKIP() << "man missing";
  testing::TempFolder root;
  const std::string install = std::string("DESTDIR='") + root.File("dest") + "' '" +
                              PANORELLO_CMAKE_COMMAND + "' --install '" + PANORELLO_BINARY_DIR +
                              "' --prefix /usr > '" + root.File("install.txt") + "' 2>&1";
  ASSERT_EQ(std::system(install.c_str()), 0) << ReadBytes(root.File("install.txt"));
  EXPECT_TRUE(FileExists(root.File("dest/usr/share/doc/panorello/README.md")));
  const std::string page = root.File("dest/usr/share/man/man5/panorello.5.gz");
  const std::string render = "MANWIDTH=200 man -l '" + page + "' > '" + root.File("man.txt") +
                             "' 2> '" + root.File("man.err") + "'";
  ASSERT_EQ(std::system(render.c_str()), 0) << ReadBytes(root.File("man.err"));
  const std::string text = ReadBytes(root.File("man.txt"));
  EXPECT_TRUE(ReadBytes(root.File("man.err")).empty()) << ReadBytes(root.File("man.err"));

  std::vector<std::string> words = SettingKeyNames();
  // The keys of blocks.ini are those its writer puts before "=" (the reader reads back each).
  BlockList one;
  Block block;
  one.SaveBlock(-1, block);
  const std::string written = BlocksFileText(one);
  for (size_t start = 0; start < written.size();) {
    const size_t end = written.find("\r\n", start);
    const std::string line = written.substr(start, end - start);
    words.push_back(line.substr(0, line.find('=')));
    start = end + 2;
  }
  for (const char* mode : {"KPI", "TABLE", "CHART", "CHARTTABLE", "AUTO"}) words.push_back(mode);
  for (const std::string& w : words) {
    if (w.empty()) continue;  // the empty query line
    EXPECT_NE(text.find(w), std::string::npos) << w;
  }
}

}  // namespace
}  // namespace panorello
