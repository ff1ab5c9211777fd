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
  EXPECT_EQ(AppFile("/opt/dash/", "sub/x.ini"), "/opt/dash/sub/x.ini");
  const std::pair<std::string, std::string> parents[] = {{"/a/b.txt", "/a"}, {"/b.txt", ""},
                                                         {"b.txt", ""},      {"a/b/c", "a/b"},
                                                         {"a\\b.txt", ""},   {"a/b/", "a/b"}};
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
  for (const std::string& path :
       {tmp.File("dir"), tmp.File("dangling"), tmp.File("file.txt/below"), std::string("/dev/null"),
        std::string(), std::string(5000, 'a')}) {
    EXPECT_FALSE(FileExists(path)) << path.substr(0, 60);
  }
}

// Every missing folder of the chain is made (doubled "/" too); blank paths do nothing; a file in
// the way raises naming the folder.
TEST(EnsureFolderTest, CreatesTheWholeChainOrRaises) {
  TempFolder tmp;
  for (const std::string suffix : {"/a/b/", "//e//f", "/a/b"}) {
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

// Exactly the bytes given, folders created, no temporary left.
TEST(WriteTextFileTest, WritesExactlyTheText) {
  TempFolder tmp;
  for (const std::string& text : {std::string(), std::string("a\r\nb\r\n"), std::string("città €"),
                                  std::string(300000, 'z')}) {
    WriteTextFile(tmp.File("out.txt"), text);
    EXPECT_EQ(ReadBytes(tmp.File("out.txt")), text) << text.size();
  }
  WriteTextFile(tmp.File("a/b/c.txt"), "hello");
  EXPECT_EQ(ReadBytes(tmp.File("a/b/c.txt")), "hello");
  EXPECT_EQ(FolderEntries(tmp.Path()), (Names{"a", "out.txt"}));
}

// A new file gets the requested mode (0600 for the password file); an existing file keeps its own;
// a symbolic link stays a link and its target is written.
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

// Taking back the end of the page: in the buffer, in the temporary file, and across both.
TEST(AtomicFileWriterTest, TruncateToAMarkAnywhere) {
  struct Step {
    size_t append;
    int truncate_to;  // -1: none; otherwise back to the mark taken before piece number n
  };
  const std::pair<const char*, std::vector<Step>> cases[] = {
      {"within the buffer", {{100, -1}, {200, 1}, {50, -1}}},
      {"back into the file", {{70000, -1}, {300000, 1}, {10, -1}}},
      {"a large piece written straight through", {{10, -1}, {200000, -1}, {5, 1}, {3, -1}}},
      {"twice", {{80000, -1}, {90000, -1}, {100, 2}, {500, 1}, {64, -1}}},
  };
  for (const auto& [name, steps] : cases) {
    SCOPED_TRACE(name);
    TempFolder folder;
    std::string expected;
    std::vector<uint64_t> marks;
    AtomicFileWriter writer(folder.File("p.html"));
    char tag = 'A';
    for (const Step& step : steps) {
      marks.push_back(writer.Size());
      const std::string piece = Piece(tag++, step.append);
      writer.Append(piece);
      expected += piece;
      if (step.truncate_to >= 0) {
        expected.resize(marks.at(static_cast<size_t>(step.truncate_to)));
        writer.TruncateTo(expected.size());
      }
      ASSERT_EQ(writer.Size(), expected.size());
    }
    writer.Commit();
    EXPECT_TRUE(ReadBytes(folder.File("p.html")) == expected);
  }
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

// First matching line wins; key trimmed and compared without case, value untrimmed; lines without
// "=" skipped; no comments or sections; the requested key is not trimmed.
TEST(IniValueTest, FirstMatchingLineWins) {
  const std::string cases[][3] = {
      {"Server = x\r\nSERVER=y\r\n", "server", " x"},
      {"[Generale]\n;KEY=x\nKEY=y", "KEY", "y"},
      {";KEY=x", ";key", "x"},
      {"KEY=\r\nKEY=second", "KEY", ""},
      {"KEY\r\n  key  =  spaced  ", "KEY", "  spaced  "},
      {"OTHER=1", "KEY", "default"},
      {"città=è", "CITTÀ", "è"},
      {"KEY=v", " KEY", "default"},
      {"\tKEY=tab", "KEY", "default"},
  };
  for (const auto& [content, key, expected] : cases) {
    EXPECT_EQ(IniValue(NormalizeNewlines(content), key, "default"), expected) << content;
  }
}

}  // namespace
}  // namespace panorello
