#include "util/files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "util/error.h"
#include "util/log.h"
#include "util/text.h"

namespace panorello {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;
namespace fs = std::filesystem;
using Names = std::vector<std::string>;

// The names in a folder: a leftover temporary file of the atomic write shows up here.
Names FolderEntries(const std::string& folder) {
  Names names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

// Runs write with the file size limited to limit bytes (SIGXFSZ ignored); returns its error text.
template <typename Write>
std::string WithFileSizeLimit(rlim_t limit, Write write) {
  struct rlimit saved {};
  EXPECT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = limit;
  EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string message = "(no error)";
  try {
    write();
  } catch (const Error& e) {
    message = e.what();
  }
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, old_handler);
  return message;
}

// One "/" between folder and name (also at the root); the parent ends at the LAST "/", "\" is none.
TEST(PathTest, AppFileAndParentFolder) {
  EXPECT_EQ(AppFile("/opt/dash", "config.ini"), "/opt/dash/config.ini");
  EXPECT_EQ(AppFile("/", "config.ini"), "/config.ini");
  const std::pair<std::string, std::string> parents[] = {
      {"/a/b.txt", "/a"}, {"b.txt", ""}, {"a\\b.txt", ""}, {"a/b/", "a/b"}};
  for (const auto& [path, parent] : parents) EXPECT_EQ(ParentFolder(path), parent) << path;
  EXPECT_EQ(ExecutableFolder(), fs::canonical(std::string(PANORELLO_BINARY_DIR) + "/tests"));
}

// Only regular files count (links followed); anything else answers false without throwing.
TEST(FileExistsTest, OnlyRegularFilesLinksFollowed) {
  TempFolder tmp;
  WriteBytes(tmp.File("file.txt"), "x");
  fs::create_directory(tmp.File("dir"));
  fs::create_symlink(tmp.File("file.txt"), tmp.File("link"));
  fs::create_symlink(tmp.File("missing"), tmp.File("dangling"));
  EXPECT_TRUE(FileExists(tmp.File("file.txt")));
  EXPECT_TRUE(FileExists(tmp.File("link")));
  for (const std::string& path : {tmp.File("dir"), tmp.File("dangling"), std::string()}) {
    EXPECT_FALSE(FileExists(path)) << path;
  }
}

// Every missing folder of the chain is made (doubled "/" too); blank paths do nothing; a file in
// the way raises naming the folder.
TEST(EnsureFolderTest, CreatesTheWholeChainOrRaises) {
  TempFolder tmp;
  for (const std::string suffix : {"/a/b/", "//e//f"}) {
    EnsureFolder(tmp.Path() + suffix);
    EXPECT_TRUE(fs::is_directory(tmp.Path() + suffix)) << suffix;
  }
  EXPECT_NO_THROW(EnsureFolder("   "));
  EXPECT_NO_THROW(EnsureFolder("/"));
  WriteBytes(tmp.File("blocker"), "x");
  try {
    EnsureFolder(tmp.File("blocker/sub"));
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("Impossibile creare la cartella " + tmp.File("blocker")),
              std::string::npos)
        << e.what();
  }
}

// Exactly the bytes given, folders created, no temporary left. A new file gets the requested mode
// (0600 for the password file); an existing file keeps its own; a symbolic link stays a link and
// its target is written.
TEST(WriteTextFileTest, BytesModesAndLinks) {
  TempFolder tmp;
  WriteTextFile(tmp.File("a/secret.ini"), "a\r\nb\r\n", 0600);
  EXPECT_EQ(ReadBytes(tmp.File("a/secret.ini")), "a\r\nb\r\n");
  EXPECT_EQ(ModeOf(tmp.File("a/secret.ini")), 0600u);
  const mode_t mask = umask(0);
  umask(mask);
  WriteTextFile(tmp.File("page.html"), "");  // not the 0600 of a bare temporary file
  EXPECT_EQ(ModeOf(tmp.File("page.html")), 0644u & ~mask);
  EXPECT_EQ(ReadBytes(tmp.File("page.html")), "");
  WriteBytes(tmp.File("shared.txt"), "old");
  ASSERT_EQ(chmod(tmp.File("shared.txt").c_str(), 0664), 0);
  WriteTextFile(tmp.File("shared.txt"), "new", 0600);
  EXPECT_EQ(ModeOf(tmp.File("shared.txt")), 0664u);
  fs::create_symlink(tmp.File("shared.txt"), tmp.File("link.txt"));
  WriteTextFile(tmp.File("link.txt"), "via link");
  EXPECT_TRUE(fs::is_symlink(tmp.File("link.txt")));
  EXPECT_EQ(ReadBytes(tmp.File("shared.txt")), "via link");
  EXPECT_EQ(FolderEntries(tmp.Path()), (Names{"a", "link.txt", "page.html", "shared.txt"}));
}

// Failures raise "Impossibile ..." naming the path, replace nothing (not a folder, not a pipe), and
// leave no temporary file; a write failing half way keeps the old file whole.
TEST(WriteTextFileTest, FailuresKeepTheOldFileAndLeaveNothingBehind) {
  TempFolder tmp;
  WriteBytes(tmp.File("plainfile"), "keep");
  fs::create_directory(tmp.File("adir"));
  ASSERT_EQ(mkfifo(tmp.File("pipe").c_str(), 0600), 0);
  for (const std::string& target : {tmp.File("adir"), tmp.File("plainfile/x.txt"), tmp.File("pipe"),
                                    tmp.File(std::string(300, 'n'))}) {
    try {
      WriteTextFile(target, "new text");
      ADD_FAILURE() << "no error for " << target;
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()).find("Impossibile"), 0u) << e.what();
      EXPECT_NE(std::string(e.what()).find(target), std::string::npos) << e.what();
    }
  }
  const std::string message = WithFileSizeLimit(
      1000, [&] { WriteTextFile(tmp.File("plainfile"), std::string(200000, 'x')); });
  EXPECT_EQ(message.find("Impossibile scrivere il file " + tmp.File("plainfile")), 0u) << message;
  EXPECT_EQ(ReadBytes(tmp.File("plainfile")), "keep");
  EXPECT_TRUE(fs::is_fifo(tmp.File("pipe")));
  EXPECT_EQ(FolderEntries(tmp.Path()), (Names{"adir", "pipe", "plainfile"}));
  EXPECT_TRUE(fs::is_empty(tmp.File("adir")));
}

// Nothing shows before Commit; without Commit nothing changes and no temporary file stays; a
// second Commit, a truncation past the end or after Commit raise.
TEST(AtomicFileWriterTest, CommitOrNothing) {
  TempFolder tmp;
  WriteBytes(tmp.File("page.html"), "old");
  for (const char* name : {"page.html", "new.html"})
    AtomicFileWriter(tmp.File(name)).Append(std::string(100000, 'y'));
  EXPECT_EQ(ReadBytes(tmp.File("page.html")), "old");
  EXPECT_EQ(FolderEntries(tmp.Path()), Names{"page.html"});
  AtomicFileWriter writer(tmp.File("page.html"));
  writer.Append(std::string(200000, 'z'));
  EXPECT_THROW(writer.TruncateTo(200001), Error);
  EXPECT_EQ(ReadBytes(tmp.File("page.html")), "old");
  writer.Commit();
  EXPECT_THROW(writer.Commit(), Error);
  EXPECT_THROW(writer.TruncateTo(0), Error);
  EXPECT_EQ(ReadBytes(tmp.File("page.html")), std::string(200000, 'z'));
  EXPECT_EQ(FolderEntries(tmp.Path()), Names{"page.html"});
}

// A recognisable text of n bytes (so that a wrong cut shows).
std::string Piece(char tag, size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s.push_back(i % 100 == 99 ? '\n' : static_cast<char>(tag + i % 7));
  return s;
}

// Taking back the end of the page, within the buffer or into the file written so far; writing
// goes on from the mark.
TEST(AtomicFileWriterTest, TruncateToAMark) {
  const struct {
    size_t kept;
    size_t taken_back;
  } cases[] = {
      {.kept = 100, .taken_back = 200},
      {.kept = 70000, .taken_back = 300000},
  };
  for (const auto& c : cases) {
    TempFolder folder;
    AtomicFileWriter writer(folder.File("p.html"));
    writer.Append(Piece('A', c.kept));
    const uint64_t mark = writer.Size();
    writer.Append(Piece('B', c.taken_back));
    writer.TruncateTo(mark);
    writer.Append(Piece('C', 50));
    writer.Commit();
    EXPECT_TRUE(ReadBytes(folder.File("p.html")) == Piece('A', c.kept) + Piece('C', 50)) << c.kept;
  }
}

constexpr uid_t kNobody = 65534;

// A symbolic link at link_path to target, owned by owner (root only).
void PlantLink(const std::string& target, const std::string& link_path, uid_t owner) {
  fs::create_symlink(target, link_path);
  ASSERT_EQ(lchown(link_path.c_str(), owner, owner), 0) << link_path;
}

// Links of root or of the running user are followed, at any component; one of another account is
// refused wherever it stands, even in that account's own folder, naming the link and its owner,
// for the page writer and for the log alike, and nothing changes.
TEST(TrustedLinksTest, OnlyOursOrRootsAtEveryComponent) {
  if (geteuid() != 0) GTEST_SKIP() << "links of another account can only be made as root";
  TempFolder tmp;
  WriteBytes(tmp.File("target"), "precious");
  fs::create_directory(tmp.File("share"));
  ASSERT_EQ(chown(tmp.File("share").c_str(), kNobody, kNobody), 0);
  PlantLink(tmp.File("target"), tmp.File("share/last.html"), kNobody);
  PlantLink(tmp.Path(), tmp.File("share/middle"), kNobody);
  fs::create_symlink(tmp.Path(), tmp.File("ours"));
  for (const char* refused : {"share/last.html", "share/middle/target"}) {
    SCOPED_TRACE(refused);
    try {
      WriteTextFile(tmp.File(refused), "page");
      ADD_FAILURE() << "written through the planted link";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), ErrorKind::kFile);
      EXPECT_NE(std::string(e.what()).find(" è un collegamento simbolico di un altro utente "
                                           "(nobody, uid 65534)"),
                std::string::npos)
          << e.what();
    }
    WriteLog(tmp.File(refused), tmp.Path(), FixedClock(DateTime{2026, 12, 6, 5, 14, 48}), "riga");
    EXPECT_EQ(ReadBytes(tmp.File("target")), "precious");
  }
  WriteTextFile(tmp.File("ours/ours/share/../target"), "new");
  EXPECT_EQ(ReadBytes(tmp.File("target")), "new");
}

// Root writes into another account's folder as that account: the page, the log and the folders
// they need belong to it, and a file of root's there is not replaced.
TEST(TrustedLinksTest, RootWritesAsTheFolderOwner) {
  if (geteuid() != 0) GTEST_SKIP() << "another account's folder can only be made as root";
  TempFolder tmp;
  fs::create_directory(tmp.File("www"));
  ASSERT_EQ(chown(tmp.File("www").c_str(), kNobody, kNobody), 0);
  WriteTextFile(tmp.File("www/page.html"), "page");
  WriteLog(tmp.File("www/log/run.log"), tmp.Path(), FixedClock(DateTime{2026, 12, 6, 5, 14, 48}),
           "riga");
  for (const char* name : {"www/page.html", "www/log", "www/log/run.log"}) {
    struct stat st {};
    ASSERT_EQ(stat(tmp.File(name).c_str(), &st), 0) << name;
    EXPECT_EQ(st.st_uid, kNobody) << name;
  }
  WriteBytes(tmp.File("www/root.html"), "root");
  WriteTextFile(tmp.File("www/root.html"), "page");  // replaced: now the account's, not root's
  struct stat replaced {};
  ASSERT_EQ(stat(tmp.File("www/root.html").c_str(), &replaced), 0);
  EXPECT_EQ(replaced.st_uid, kNobody);
  WriteBytes(tmp.File("www/root.html"), "root");
  ASSERT_EQ(chown(tmp.File("www/root.html").c_str(), 0, 0), 0);
  ASSERT_EQ(chmod(tmp.File("www").c_str(), 0555), 0);  // not even its owner may write there now
  EXPECT_THROW(WriteTextFile(tmp.File("www/root.html"), "page"), Error);
  EXPECT_EQ(ReadBytes(tmp.File("www/root.html")), "root");
  EXPECT_EQ(std::count_if(fs::directory_iterator(tmp.File("www")), fs::directory_iterator(),
                          [](const auto&) { return true; }),
            3);
}

// Opening the log never waits: a FIFO and a folder are refused, a character device is accepted.
TEST(OpenForAppendTest, NeverWaitsAndTakesRegularFilesAndDevices) {
  TempFolder tmp;
  ASSERT_EQ(mkfifo(tmp.File("fifo").c_str(), 0644), 0);
  fs::create_directory(tmp.File("dir"));
  for (const std::string& path : {tmp.File("fifo"), tmp.File("dir")}) {
    EXPECT_THROW(OpenForAppend(path), Error) << path;
  }
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

// Missing file or folder: empty text; old Windows-1252 files decoded; an unreadable file raises.
TEST(ReadTextFileTest, MissingContentAndUnreadable) {
  TempFolder tmp;
  EXPECT_EQ(ReadTextFile(tmp.File("missing.txt")), "");
  EXPECT_EQ(ReadTextFile(tmp.Path()), "");
  WriteBytes(tmp.File("old.ini"), "TITLE=Citt\xE0 \x80\r\n");
  EXPECT_EQ(ReadTextFile(tmp.File("old.ini")), "TITLE=Città €\r\n");
  EXPECT_EQ(ReadIniText(tmp.File("old.ini")), "TITLE=Città €\n");
  if (geteuid() == 0) return;  // root reads files without permission
  ASSERT_EQ(chmod(tmp.File("old.ini").c_str(), 0), 0);
  EXPECT_THROW(ReadTextFile(tmp.File("old.ini")), Error);
  EXPECT_THROW(ReadIniText(tmp.File("old.ini")), Error);
  EXPECT_EQ(ReadIniText(tmp.File("missing.txt")), "");
}

// First matching line wins; key trimmed and compared without case, value untrimmed and cut at the
// first "="; lines without "=" skipped; no comments or sections; the requested key is not trimmed.
TEST(IniValueTest, FirstMatchingLineWins) {
  const std::string cases[][3] = {
      {"Server = x=1\r\nSERVER=y\r\n", "server", " x=1"},
      {"[Generale]\n;KEY=x\nKEY=y", "KEY", "y"},
      {"KEY=\r\nKEY=second", "KEY", ""},
      {"KEY\r\n  key  =  spaced  ", "KEY", "  spaced  "},
      {"OTHER=1", "KEY", "default"},
      {"città=è", "CITTÀ", "è"},
      {"KEY=v", " KEY", "default"},
  };
  for (const auto& [content, key, expected] : cases) {
    EXPECT_EQ(IniValue(NormalizeNewlines(content), key, "default"), expected) << content;
  }
}

}  // namespace
}  // namespace panorello
