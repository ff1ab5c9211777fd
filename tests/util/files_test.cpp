#include "util/files.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "util/error.h"

namespace panorello {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;
namespace fs = std::filesystem;

// The names in a folder: a leftover temporary file of the atomic write shows up here.
std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}
using Names = std::vector<std::string>;

mode_t ModeOf(const std::string& path) {
  struct stat st{};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

// Changes the current folder for one scope.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::string& folder) : old_(fs::current_path()) {
    fs::current_path(folder);
  }
  ~CurrentFolder() { fs::current_path(old_); }

 private:
  fs::path old_;
};

// Path pieces: one "/" between folder and name (also at the root); the parent is the text
// before the LAST "/" and "\" is no separator.
TEST(PathTest, AppFileAndParentFolder) {
  EXPECT_EQ(AppFile("/opt/dash", "config.ini"), "/opt/dash/config.ini");
  EXPECT_EQ(AppFile("/", "config.ini"), "/config.ini");
  EXPECT_EQ(AppFile("/opt/dash/", "sub/x.ini"), "/opt/dash/sub/x.ini");
  const std::pair<std::string, std::string> parents[] = {
      {"/a/b.txt", "/a"}, {"/b.txt", ""}, {"b.txt", ""}, {"a/b/c", "a/b"}, {"a\\b.txt", ""},
      {"a/b/", "a/b"},
  };
  for (const auto& [path, parent] : parents) EXPECT_EQ(ParentFolder(path), parent) << path;
  EXPECT_EQ(ExecutableFolder(), fs::canonical(std::string(PANORELLO_BINARY_DIR) + "/tests"));
}

// Only regular files count (links followed); folders, devices, dangling links and bad paths
// answer false without throwing.
TEST(FileExistsTest, OnlyRegularFilesLinksFollowed) {
  TempFolder tmp;
  WriteBytes(tmp.File("file.txt"), "x");
  fs::create_directory(tmp.File("dir"));
  fs::create_symlink(tmp.File("file.txt"), tmp.File("link"));
  fs::create_symlink(tmp.File("missing"), tmp.File("dangling"));
  fs::create_directory_symlink(tmp.File("dir"), tmp.File("dirlink"));
  EXPECT_TRUE(FileExists(tmp.File("file.txt")));
  EXPECT_TRUE(FileExists(tmp.File("link")));
  for (const std::string& path : {tmp.File("dir"), tmp.File("dirlink"), tmp.File("dangling"),
                                  tmp.File("file.txt/below"), std::string("/dev/null"),
                                  std::string(), std::string(5000, 'a')}) {
    EXPECT_FALSE(FileExists(path)) << path.substr(0, 60);
  }
}

// Every missing folder of the chain is made (doubled and final "/", relative paths, blanks
// around); blank paths do nothing; a file in the way raises naming the folder.
TEST(EnsureFolderTest, CreatesTheWholeChainOrRaises) {
  TempFolder tmp;
  for (const std::string suffix : {"/a/b/", "//e//f", "/g/h/i/j", "/a/b"}) {
    EnsureFolder(tmp.Path() + suffix);
    EXPECT_TRUE(fs::is_directory(tmp.Path() + suffix)) << suffix;
  }
  {
    CurrentFolder here(tmp.Path());
    EnsureFolder("out/x/y");
    EnsureFolder(" single ");
  }
  EXPECT_TRUE(fs::is_directory(tmp.File("out/x/y")));
  EXPECT_TRUE(fs::is_directory(tmp.File("single")));
  EXPECT_NO_THROW(EnsureFolder("   "));
  EXPECT_NO_THROW(EnsureFolder("/"));

  WriteBytes(tmp.File("blocker"), "x");
  try {
    EnsureFolder(tmp.File("blocker/sub"));
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("Impossibile creare la cartella " + tmp.File("blocker")),
              std::string::npos) << e.what();
  }
  EXPECT_EQ(ReadBytes(tmp.File("blocker")), "x");
}

// Exactly the bytes given (no line end added, nothing converted), folders created, relative
// paths in the current folder, no temporary file left.
TEST(WriteTextFileTest, WritesExactlyTheText) {
  TempFolder tmp;
  for (const std::string& text : {std::string(), std::string("x"), std::string("a\r\nb\r\n"),
                                  std::string("città €"), std::string(300000, 'z')}) {
    WriteTextFile(tmp.File("out.txt"), text);
    EXPECT_EQ(ReadBytes(tmp.File("out.txt")), text) << text.size();
  }
  WriteTextFile(tmp.File("a/b/c.txt"), "hello");
  EXPECT_EQ(ReadBytes(tmp.File("a/b/c.txt")), "hello");
  {
    CurrentFolder here(tmp.Path());
    WriteTextFile("rel.txt", "r");
  }
  EXPECT_EQ(ReadBytes(tmp.File("rel.txt")), "r");
  EXPECT_EQ(FolderEntries(tmp.Path()), (Names{"a", "out.txt", "rel.txt"}));
}

// A new file gets the requested mode (0600 for the password file); an existing file keeps its
// own; a symbolic link stays a link and its target is written.
TEST(WriteTextFileTest, ModesAndLinks) {
  TempFolder tmp;
  WriteTextFile(tmp.File("secret.ini"), "p", 0600);
  EXPECT_EQ(ModeOf(tmp.File("secret.ini")), 0600u);
  const mode_t mask = umask(0);
  umask(mask);
  WriteTextFile(tmp.File("page.html"), "p");  // not the 0600 of a bare temporary file
  EXPECT_EQ(ModeOf(tmp.File("page.html")), 0644u & ~mask);
  WriteBytes(tmp.File("shared.txt"), "old");
  ASSERT_EQ(chmod(tmp.File("shared.txt").c_str(), 0664), 0);
  WriteTextFile(tmp.File("shared.txt"), "new", 0600);
  EXPECT_EQ(ModeOf(tmp.File("shared.txt")), 0664u);

  fs::create_symlink(tmp.File("shared.txt"), tmp.File("link.txt"));
  WriteTextFile(tmp.File("link.txt"), "via link");
  EXPECT_TRUE(fs::is_symlink(tmp.File("link.txt")));
  EXPECT_EQ(ReadBytes(tmp.File("shared.txt")), "via link");
}

// Failures raise "Impossibile ..." naming the path, replace nothing (not a folder, not a pipe)
// and leave no temporary file behind.
TEST(WriteTextFileTest, FailuresRaiseAndLeaveNothingBehind) {
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
  EXPECT_EQ(ReadBytes(tmp.File("plainfile")), "keep");
  EXPECT_TRUE(fs::is_fifo(tmp.File("pipe")));
  EXPECT_EQ(FolderEntries(tmp.Path()), (Names{"adir", "pipe", "plainfile"}));
  EXPECT_TRUE(fs::is_empty(tmp.File("adir")));
  // In a folder we may not write, the old file is not overwritten in place.
  if (geteuid() == 0) return;  // root writes into read-only folders
  fs::create_directory(tmp.File("ro"));
  WriteBytes(tmp.File("ro/config.ini"), "old");
  ASSERT_EQ(chmod(tmp.File("ro").c_str(), 0555), 0);
  EXPECT_THROW(WriteTextFile(tmp.File("ro/config.ini"), "new"), Error);
  chmod(tmp.File("ro").c_str(), 0755);
  EXPECT_EQ(ReadBytes(tmp.File("ro/config.ini")), "old");
}

// A write that fails half way (the file size limit here) keeps the old file whole.
TEST(WriteTextFileTest, OldFileSurvivesAFailedWrite) {
  TempFolder tmp;
  const std::string old_text = "[BLOCK]\r\nID=1\r\n[/BLOCK]\r\n";
  WriteBytes(tmp.File("blocks.ini"), old_text);
  struct rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 1000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string message = "(no error)";
  try {
    WriteTextFile(tmp.File("blocks.ini"), std::string(200000, 'x'));
  } catch (const Error& e) {
    message = e.what();
  }
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(message.find("Impossibile scrivere il file " + tmp.File("blocks.ini")), 0u) << message;
  EXPECT_EQ(ReadBytes(tmp.File("blocks.ini")), old_text);
  EXPECT_EQ(FolderEntries(tmp.Path()), Names{"blocks.ini"});
}

// The streaming writer shows nothing before Commit, everything after; without Commit nothing
// changes and no temporary file stays; a second Commit is an error.
TEST(AtomicFileWriterTest, CommitOrNothing) {
  TempFolder tmp;
  WriteBytes(tmp.File("page.html"), "old");
  {
    AtomicFileWriter writer(tmp.File("page.html"));
    writer.Append(std::string(100000, 'y'));
  }
  {
    AtomicFileWriter writer(tmp.File("new.html"));
    writer.Append("x");
  }
  EXPECT_EQ(ReadBytes(tmp.File("page.html")), "old");
  EXPECT_EQ(FolderEntries(tmp.Path()), Names{"page.html"});

  std::string expected;
  AtomicFileWriter writer(tmp.File("page.html"));
  for (int i = 0; i < 20000; ++i) {
    std::string piece = "<tr><td>" + std::to_string(i) + "</td></tr>\r\n";
    writer.Append(piece);
    expected += piece;
  }
  EXPECT_EQ(ReadBytes(tmp.File("page.html")), "old");
  writer.Commit();
  EXPECT_THROW(writer.Commit(), Error);
  EXPECT_EQ(ReadBytes(tmp.File("page.html")), expected);
  EXPECT_EQ(FolderEntries(tmp.Path()), Names{"page.html"});
}

// Missing file or folder: empty text; line ends as they are; old Windows-1252 files and a BOM
// are decoded; an unreadable file raises (only for non-root).
TEST(ReadTextFileTest, MissingContentAndUnreadable) {
  TempFolder tmp;
  EXPECT_EQ(ReadTextFile(tmp.File("missing.txt")), "");
  EXPECT_EQ(ReadTextFile(tmp.Path()), "");
  WriteBytes(tmp.File("crlf.txt"), "a\r\nb");
  EXPECT_EQ(ReadTextFile(tmp.File("crlf.txt")), "a\r\nb");
  WriteBytes(tmp.File("old.ini"), "TITLE=Citt\xE0 \x80");
  EXPECT_EQ(ReadTextFile(tmp.File("old.ini")), "TITLE=Città €");
  WriteBytes(tmp.File("bom.ini"), "\xEF\xBB\xBFKEY=v");
  EXPECT_EQ(ReadTextFile(tmp.File("bom.ini")), "KEY=v");
  if (geteuid() == 0) return;  // root reads files without permission
  ASSERT_EQ(chmod(tmp.File("crlf.txt").c_str(), 0), 0);
  EXPECT_THROW(ReadTextFile(tmp.File("crlf.txt")), Error);
  EXPECT_THROW(ReadIniValue(tmp.File("crlf.txt"), "X", "d"), Error);
}

// First matching line wins; key trimmed and compared without case, value untrimmed; lines
// without "=" skipped; no comments or sections; the requested key is not trimmed.
TEST(ReadIniValueTest, FirstMatchingLineWins) {
  TempFolder tmp;
  struct Case {
    std::string content, key, expected;
  };
  const Case cases[] = {
      {"Server = x\r\nSERVER=y\r\n", "server", " x"},
      {"PAGETITLE=a=b", "PAGETITLE", "a=b"},
      {"[Generale]\n;KEY=x\nKEY=y", "KEY", "y"},
      {";KEY=x", ";key", "x"},
      {"KEY=\r\nKEY=second", "KEY", ""},
      {"\r\n   \r\nKEY\r\n  key  =  spaced  ", "KEY", "  spaced  "},
      {"a\rKEY=cr\rb", "KEY", "cr"},
      {"OTHER=1", "KEY", "default"},
      {"", "KEY", "default"},
      {"città=è", "CITTÀ", "è"},
      {"KEY=v", " KEY", "default"},
      {"\tKEY=tab", "KEY", "default"},
  };
  for (const auto& c : cases) {
    WriteBytes(tmp.File("c.ini"), c.content);
    EXPECT_EQ(ReadIniValue(tmp.File("c.ini"), c.key, "default"), c.expected) << c.content;
  }
  EXPECT_EQ(ReadIniValue(tmp.File("none.ini"), "KEY", "dflt"), "dflt");
}

}  // namespace
}  // namespace panorello
