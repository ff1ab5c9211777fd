// Links planted by other accounts, FIFOs, files that are the same file, leftovers of killed
// writers, control characters and cut lines in the log.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/test_support.h"
#include "util/error.h"
#include "util/files.h"
#include "util/log.h"

namespace panorello {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;
namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

// A symbolic link at link_path to target, owned by owner (root only).
void PlantLink(const std::string& target, const std::string& link_path, uid_t owner) {
  fs::create_symlink(target, link_path);
  ASSERT_EQ(lchown(link_path.c_str(), owner, owner), 0) << link_path;
}

// Which links are followed: the running user's and those of the folder's owner; one of another
// account in a folder it does not own is refused for the page writer and for the log, and nothing
// changes.
TEST(TrustedLinksTest, FollowedOnlyForUsOrTheFolderOwner) {
  if (geteuid() != 0) GTEST_SKIP() << "links of another account can only be made as root";
  TempFolder tmp;
  WriteBytes(tmp.File("target"), "precious");
  fs::create_directory(tmp.File("share"));
  ASSERT_EQ(chown(tmp.File("share").c_str(), kNobody, kNobody), 0);
  struct Case {
    std::string link;
    uid_t owner;
    bool followed;
  };
  const Case cases[] = {
      {tmp.File("mine.html"), 0, true},
      {tmp.File("planted.html"), kNobody, false},
      {tmp.File("share/owners.html"), kNobody, true},
  };
  for (const Case& c : cases) {
    PlantLink(tmp.File("target"), c.link, c.owner);
    if (c.followed) {
      EXPECT_EQ(ResolveTrustedLinks(c.link), tmp.File("target")) << c.link;
      continue;
    }
    try {
      WriteTextFile(c.link, "page");
      ADD_FAILURE() << "written through " << c.link;
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), ErrorKind::kFile);
      EXPECT_NE(std::string(e.what()).find("collegamento simbolico di un altro utente"),
                std::string::npos)
          << e.what();
    }
    EXPECT_THROW(OpenForAppend(c.link), Error);
    WriteLog(c.link, tmp.Path(), FixedClock(DateTime{2026, 12, 6, 5, 14, 48}), "riga");
    EXPECT_TRUE(fs::is_symlink(c.link));
  }
  EXPECT_EQ(ReadBytes(tmp.File("target")), "precious");
}

// Opening the log never waits: a FIFO (with or without a reader) and a folder are refused, a
// character device is accepted.
TEST(OpenForAppendTest, NeverWaitsAndTakesRegularFilesAndDevices) {
  TempFolder tmp;
  ASSERT_EQ(mkfifo(tmp.File("fifo").c_str(), 0644), 0);
  EXPECT_THROW(OpenForAppend(tmp.File("fifo")), Error);
  const int reader = ::open(tmp.File("fifo").c_str(), O_RDONLY | O_NONBLOCK);
  EXPECT_THROW(OpenForAppend(tmp.File("fifo")), Error);
  ::close(reader);
  fs::create_directory(tmp.File("dir"));
  EXPECT_THROW(OpenForAppend(tmp.File("dir")), Error);
  const int device = OpenForAppend("/dev/null");
  EXPECT_GE(device, 0);
  ::close(device);
}

// The same file under another name (hard link, symbolic link) is found; another file is not, and
// neither is a path that does not exist yet.
TEST(SameFileAsTest, DeviceAndInode) {
  TempFolder tmp;
  WriteBytes(tmp.File("config.ini"), "x");
  WriteBytes(tmp.File("other.ini"), "x");
  fs::create_hard_link(tmp.File("config.ini"), tmp.File("hard.html"));
  fs::create_symlink(tmp.File("config.ini"), tmp.File("soft.html"));
  const std::vector<std::string> own = {tmp.File("other.ini"), tmp.File("config.ini")};
  EXPECT_EQ(SameFileAs(tmp.File("hard.html"), own), tmp.File("config.ini"));
  EXPECT_EQ(SameFileAs(tmp.File("soft.html"), own), tmp.File("config.ini"));
  EXPECT_EQ(SameFileAs(tmp.File("config.ini"), {tmp.File("other.ini")}), "");
  EXPECT_EQ(SameFileAs(tmp.File("missing.html"), own), "");
}

// Writing a page removes the unlocked leftovers of killed writers of the same page older than a
// few seconds, and keeps a locked one, a fresh one and those of other pages.
TEST(AtomicFileWriterTest, RemovesStaleTemporariesOnly) {
  TempFolder tmp;
  auto old_file = [&](const std::string& name) {
    WriteBytes(tmp.File(name), "leftover");
    const struct timeval past[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimes(tmp.File(name).c_str(), past), 0);
  };
  old_file(".page.html.AbC123");
  old_file(".page.html.held99");
  old_file(".other.html.AbC123");
  WriteBytes(tmp.File(".page.html.fresh1"), "being written");
  const int holder = ::open(tmp.File(".page.html.held99").c_str(), O_RDONLY);
  ASSERT_EQ(flock(holder, LOCK_EX), 0);
  WriteTextFile(tmp.File("page.html"), "page");
  ::close(holder);
  EXPECT_FALSE(fs::exists(tmp.File(".page.html.AbC123")));
  for (const char* kept : {".page.html.held99", ".other.html.AbC123", ".page.html.fresh1"}) {
    EXPECT_TRUE(fs::exists(tmp.File(kept))) << kept;
  }
  EXPECT_EQ(ReadBytes(tmp.File("page.html")), "page");
}

TEST(VisibleControlsTest, EveryControlButTabIsEscaped) {
  const std::pair<std::string, std::string> cases[] = {
      {"a\r\nb", "a\\r\\nb"},
      {"\x1b[31mrosso\x1b[0m", "\\x1b[31mrosso\\x1b[0m"},
      {std::string("x\0y", 3), "x\\x00y"},
      {"tab\tok \x7f", "tab\tok \\x7f"},
      {"perch\xc3\xa9 \xc2\x9b", "perch\xc3\xa9 \\u009b"},
  };
  for (const auto& [in, want] : cases) EXPECT_EQ(VisibleControls(in), want) << in;
}

// A log whose last line was cut short (a full disk) gets its next line on a line of its own; a
// forged "line" in a message stays inside its own line.
TEST(LogLineTest, CutLineIsEndedAndMessagesCannotForgeLines) {
  TempFolder tmp;
  const FixedClock clock(DateTime{2026, 12, 6, 5, 14, 48});
  WriteBytes(tmp.File("run.log"), "06/12/2026 05:14:47 - Avvi");
  WriteLog(tmp.File("run.log"), tmp.Path(), clock, "Avvio batch. CMD=/RUN\r\n06/12/2026 - finto");
  EXPECT_EQ(ReadBytes(tmp.File("run.log")),
            "06/12/2026 05:14:47 - Avvi\r\n"
            "06/12/2026 05:14:48 - Avvio batch. CMD=/RUN\\r\\n06/12/2026 - finto\r\n");
}

}  // namespace
}  // namespace panorello
