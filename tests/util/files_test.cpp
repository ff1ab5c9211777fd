#include "util/files.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
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

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

mode_t ModeOf(const std::string& path) {
  struct stat st{};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

mode_t CurrentUmask() {
  mode_t mask = umask(0);
  umask(mask);
  return mask;
}

// Runs a body with the current folder changed, restoring it afterwards.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::string& folder) : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
  }
  ~CurrentFolder() { std::filesystem::current_path(old_); }

 private:
  std::filesystem::path old_;
};

TEST(AppFileTest, JoinsWithOneSlash) {
  EXPECT_EQ(AppFile("/opt/dash", "config.ini"), "/opt/dash/config.ini");
  EXPECT_EQ(AppFile("/", "config.ini"), "/config.ini");
  EXPECT_EQ(AppFile("/opt/dash/", "sub/x.ini"), "/opt/dash/sub/x.ini");
  EXPECT_EQ(AppFile("rel", "a\\b"), "rel/a\\b");
}

TEST(ExecutableFolderTest, IsTheFolderOfThisTestProgram) {
  std::string expected =
      std::filesystem::canonical(std::string(PANORELLO_BINARY_DIR) + "/tests").string();
  EXPECT_EQ(ExecutableFolder(), expected);
}

TEST(ParentFolderTest, TextBeforeTheLastSlash) {
  const std::pair<std::string, std::string> cases[] = {
      {"/a/b.txt", "/a"}, {"/b.txt", ""},   {"b.txt", ""},        {"a/b/c", "a/b"},
      {"a\\b.txt", ""},   {"a/b/", "a/b"}, {"", ""},             {"C:\\x/y", "C:\\x"},
  };
  for (const auto& [path, parent] : cases) EXPECT_EQ(ParentFolder(path), parent) << path;
}

TEST(FileExistsTest, OnlyRegularFilesLinksFollowed) {
  TempFolder tmp;
  WriteBytes(tmp.File("file.txt"), "x");
  WriteBytes(tmp.File(".hidden"), "x");
  std::filesystem::create_directory(tmp.File("dir"));
  std::filesystem::create_symlink(tmp.File("file.txt"), tmp.File("link"));
  std::filesystem::create_symlink(tmp.File("missing"), tmp.File("dangling"));
  std::filesystem::create_directory_symlink(tmp.File("dir"), tmp.File("dirlink"));
  EXPECT_TRUE(FileExists(tmp.File("file.txt")));
  EXPECT_TRUE(FileExists(tmp.File(".hidden")));
  EXPECT_TRUE(FileExists(tmp.File("link")));
  EXPECT_FALSE(FileExists(tmp.File("dir")));
  EXPECT_FALSE(FileExists(tmp.File("dirlink")));
  EXPECT_FALSE(FileExists(tmp.File("dangling")));
  EXPECT_FALSE(FileExists(tmp.File("missing")));
  EXPECT_FALSE(FileExists(tmp.File("file.txt/below")));
  EXPECT_FALSE(FileExists("/dev/null"));
  EXPECT_FALSE(FileExists(""));
  EXPECT_FALSE(FileExists(std::string(5000, 'a')));
}

TEST(EnsureFolderTest, CreatesTheWholeChain) {
  TempFolder tmp;
  const std::string cases[] = {"/a/b/", "/c/d", "//e//f", "/g/h/i/j"};
  for (const auto& suffix : cases) {
    EnsureFolder(tmp.Path() + suffix);
    EXPECT_TRUE(std::filesystem::is_directory(tmp.Path() + suffix)) << suffix;
  }
  EnsureFolder(tmp.Path() + "/a/b");  // existing: nothing to do
  EXPECT_NO_THROW(EnsureFolder(""));
  EXPECT_NO_THROW(EnsureFolder("   "));
  EXPECT_NO_THROW(EnsureFolder("/"));
}

TEST(EnsureFolderTest, CreatesTheFirstPartOfARelativePath) {
  TempFolder tmp;
  CurrentFolder here(tmp.Path());
  EnsureFolder("out/x/y");
  EXPECT_TRUE(std::filesystem::is_directory(tmp.Path() + "/out/x/y"));
  EnsureFolder(" single ");
  EXPECT_TRUE(std::filesystem::is_directory(tmp.Path() + "/single"));
}

TEST(EnsureFolderTest, APartThatIsAFileIsAnErrorNamingIt) {
  TempFolder tmp;
  WriteBytes(tmp.File("blocker"), "x");
  try {
    EnsureFolder(tmp.Path() + "/blocker/sub");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find(tmp.Path() + "/blocker"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("Impossibile creare la cartella"), std::string::npos);
  }
  EXPECT_EQ(ReadBytes(tmp.File("blocker")), "x");
}

TEST(WriteTextFileTest, WritesExactlyTheText) {
  TempFolder tmp;
  const std::string texts[] = {"", "x", "a\r\nb\r\n", "città €", std::string(300000, 'z')};
  for (const auto& text : texts) {
    WriteTextFile(tmp.File("out.txt"), text);
    EXPECT_EQ(ReadBytes(tmp.File("out.txt")), text);
    EXPECT_TRUE(FileExists(tmp.File("out.txt")));
  }
  EXPECT_EQ(FolderEntries(tmp.Path()), std::vector<std::string>{"out.txt"});
}

TEST(WriteTextFileTest, CreatesMissingFolders) {
  TempFolder tmp;
  WriteTextFile(tmp.File("a/b/c.txt"), "hello");
  EXPECT_EQ(ReadBytes(tmp.File("a/b/c.txt")), "hello");
}

TEST(WriteTextFileTest, NewFileModeAndExistingModeKept) {
  TempFolder tmp;
  WriteTextFile(tmp.File("secret.ini"), "p", 0600);
  EXPECT_EQ(ModeOf(tmp.File("secret.ini")), 0600u);
  WriteTextFile(tmp.File("plain.txt"), "p");
  EXPECT_EQ(ModeOf(tmp.File("plain.txt")), 0644u & ~CurrentUmask());

  WriteBytes(tmp.File("shared.txt"), "old");
  ASSERT_EQ(chmod(tmp.File("shared.txt").c_str(), 0664), 0);
  WriteTextFile(tmp.File("shared.txt"), "new", 0600);
  EXPECT_EQ(ModeOf(tmp.File("shared.txt")), 0664u);
  EXPECT_EQ(ReadBytes(tmp.File("shared.txt")), "new");
}

TEST(WriteTextFileTest, ALinkStaysALink) {
  TempFolder tmp;
  WriteBytes(tmp.File("real.txt"), "old");
  std::filesystem::create_symlink(tmp.File("real.txt"), tmp.File("link.txt"));
  WriteTextFile(tmp.File("link.txt"), "new");
  EXPECT_TRUE(std::filesystem::is_symlink(tmp.File("link.txt")));
  EXPECT_EQ(ReadBytes(tmp.File("real.txt")), "new");
}

// Failures that stop root as well as ordinary users.
TEST(WriteTextFileTest, FailuresRaiseNamingThePathAndLeaveNothingBehind) {
  TempFolder tmp;
  WriteBytes(tmp.File("plainfile"), "keep");
  std::filesystem::create_directory(tmp.File("adir"));
  WriteBytes(tmp.File("adir/inside"), "inside");
  const std::string targets[] = {
      tmp.File("adir"),                   // the target is a folder
      tmp.File("plainfile/x.txt"),        // the parent is a file
      tmp.File(std::string(300, 'n')),    // name too long
      "/proc/definitely/not/writable.txt",
  };
  for (const auto& target : targets) {
    try {
      WriteTextFile(target, "new text");
      ADD_FAILURE() << "no error for " << target;
    } catch (const Error& e) {
      std::string message = e.what();
      EXPECT_NE(message.find(target), std::string::npos) << message;
      EXPECT_EQ(message.find("Impossibile"), 0u) << message;
    }
  }
  EXPECT_EQ(ReadBytes(tmp.File("plainfile")), "keep");
  EXPECT_EQ(FolderEntries(tmp.Path()), (std::vector<std::string>{"adir", "plainfile"}));
  EXPECT_EQ(FolderEntries(tmp.File("adir")), std::vector<std::string>{"inside"});
}

TEST(WriteTextFileTest, APipeIsNotReplaced) {
  TempFolder tmp;
  ASSERT_EQ(mkfifo(tmp.File("pipe").c_str(), 0600), 0);
  EXPECT_THROW(WriteTextFile(tmp.File("pipe"), "x"), Error);
  struct stat st{};
  ASSERT_EQ(lstat(tmp.File("pipe").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_EQ(FolderEntries(tmp.Path()), std::vector<std::string>{"pipe"});
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
  bool raised = false;
  std::string message;
  try {
    WriteTextFile(tmp.File("blocks.ini"), std::string(200000, 'x'));
  } catch (const Error& e) {
    raised = true;
    message = e.what();
  }
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, old_handler);

  EXPECT_TRUE(raised);
  EXPECT_NE(message.find("Impossibile scrivere il file " + tmp.File("blocks.ini")),
            std::string::npos)
      << message;
  EXPECT_EQ(ReadBytes(tmp.File("blocks.ini")), old_text);
  EXPECT_EQ(FolderEntries(tmp.Path()), std::vector<std::string>{"blocks.ini"});
}

TEST(WriteTextFileTest, ReadOnlyFolderFailsForOrdinaryUsers) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  TempFolder tmp;
  std::filesystem::create_directory(tmp.File("ro"));
  WriteBytes(tmp.File("ro/config.ini"), "old");
  ASSERT_EQ(chmod(tmp.File("ro").c_str(), 0555), 0);
  EXPECT_THROW(WriteTextFile(tmp.File("ro/config.ini"), "new"), Error);
  chmod(tmp.File("ro").c_str(), 0755);
  EXPECT_EQ(ReadBytes(tmp.File("ro/config.ini")), "old");
  EXPECT_EQ(FolderEntries(tmp.File("ro")), std::vector<std::string>{"config.ini"});
}

TEST(AtomicFileWriterTest, StreamsAndCommits) {
  TempFolder tmp;
  WriteBytes(tmp.File("page.html"), "old");
  std::string expected;
  {
    AtomicFileWriter writer(tmp.File("page.html"));
    EXPECT_EQ(writer.Path(), tmp.File("page.html"));
    for (int i = 0; i < 20000; ++i) {
      std::string piece = "<tr><td>" + std::to_string(i) + "</td></tr>\r\n";
      writer.Append(piece);
      expected += piece;
    }
    EXPECT_EQ(ReadBytes(tmp.File("page.html")), "old");  // nothing visible before Commit
    writer.Commit();
    EXPECT_THROW(writer.Commit(), Error);
  }
  EXPECT_EQ(ReadBytes(tmp.File("page.html")), expected);
  EXPECT_EQ(FolderEntries(tmp.Path()), std::vector<std::string>{"page.html"});
}

TEST(AtomicFileWriterTest, WithoutCommitNothingChanges) {
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
  EXPECT_EQ(FolderEntries(tmp.Path()), std::vector<std::string>{"page.html"});
}

TEST(AtomicFileWriterTest, RelativePathInTheCurrentFolder) {
  TempFolder tmp;
  CurrentFolder here(tmp.Path());
  WriteTextFile("rel.txt", "r");
  EXPECT_EQ(ReadBytes(tmp.File("rel.txt")), "r");
  EXPECT_EQ(FolderEntries(tmp.Path()), std::vector<std::string>{"rel.txt"});
}

TEST(ReadTextFileTest, MissingEmptyAndContent) {
  TempFolder tmp;
  EXPECT_EQ(ReadTextFile(tmp.File("missing.txt")), "");
  EXPECT_EQ(ReadTextFile(tmp.Path()), "");  // a folder is no file
  WriteBytes(tmp.File("crlf.txt"), "a\r\nb");
  EXPECT_EQ(ReadTextFile(tmp.File("crlf.txt")), "a\r\nb");
  WriteBytes(tmp.File("old.ini"), "TITLE=Citt\xE0 \x80");
  EXPECT_EQ(ReadTextFile(tmp.File("old.ini")), "TITLE=Città €");
  WriteBytes(tmp.File("bom.ini"), "\xEF\xBB\xBFKEY=v");
  EXPECT_EQ(ReadTextFile(tmp.File("bom.ini")), "KEY=v");
}

TEST(ReadTextFileTest, UnreadableFileRaises) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads files without permission";
  TempFolder tmp;
  WriteBytes(tmp.File("locked.ini"), "x");
  ASSERT_EQ(chmod(tmp.File("locked.ini").c_str(), 0), 0);
  EXPECT_THROW(ReadTextFile(tmp.File("locked.ini")), Error);
  EXPECT_THROW(ReadIniValue(tmp.File("locked.ini"), "X", "d"), Error);
}

struct IniCase {
  std::string content;
  std::string key;
  std::string expected;
};

TEST(ReadIniValueTest, FirstMatchingLineWins) {
  TempFolder tmp;
  const IniCase cases[] = {
      {"Server = x\r\nSERVER=y\r\n", "server", " x"},
      {"PAGETITLE=a=b", "PAGETITLE", "a=b"},
      {"[Generale]\nKEY=v", "KEY", "v"},
      {";KEY=x\nKEY=y", "KEY", "y"},
      {";KEY=x", ";key", "x"},
      {"KEY=\r\n", "KEY", ""},
      {"\r\n   \r\nKEY=last", "KEY", "last"},
      {"  key  =  spaced  ", "KEY", "  spaced  "},
      {"KEY\r\nKEY=after", "KEY", "after"},
      {"a\rKEY=cr\rb", "KEY", "cr"},
      {"OTHER=1", "KEY", "default"},
      {"", "KEY", "default"},
      {"città=è", "CITTÀ", "è"},
      {"KEY=v", " KEY", "default"},  // the requested key is not trimmed
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
