// The built program against careless and hostile surroundings: its own files as the output,
// links planted by another account, a FIFO, signals, concurrent first runs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/program_fixture.h"

extern char** environ;

namespace panorello {
namespace {

using testing::BlockText;
using testing::CountOf;
using testing::ReadBytes;
using testing::WriteBytes;
namespace fs = std::filesystem;

class Untrusted : public Program {
 protected:
  pid_t Start(const std::vector<std::string>& args) {
    std::vector<std::string> words = {"env", "-C", folder.Path(), File("panorello")};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawnp(&pid, "env", nullptr, nullptr, argv.data(), environ), 0);
    return pid;
  }
  // Temporary files of page.html in the folder.
  std::vector<std::string> Temporaries() const {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(folder.Path())) {
      if (e.path().filename().string().rfind(".page.html.", 0) == 0) found.push_back(e.path());
    }
    return found;
  }
};

// OUTPUTFILE naming one of the program's files, or another name of one: refused with both paths
// named, the file unchanged, exit status 1.
TEST_F(Untrusted, OwnFilesAreNeverTheOutput) {
  fs::create_hard_link(File("config.ini"), File("alias.html"));
  const std::pair<std::string, std::string> cases[] = {
      {"panorello", "panorello"},
      {"alias.html", "config.ini"},
      {"panorello.log", "panorello.log"},
  };
  for (const auto& [output, own] : cases) {
    Config({"OUTPUTFILE=" + File(output)});
    WriteBytes(File("panorello.log"), "");
    const std::string before = ReadBytes(File(own));
    EXPECT_EQ(Run("/RUN"), 1) << output;
    const std::string log = Log();
    EXPECT_NE(log.find("Il file di uscita " + File(output) + " è lo stesso file di " + File(own)),
              std::string::npos)
        << log;
    if (own != "panorello.log") {
      EXPECT_EQ(ReadBytes(File(own)), before) << output;
    }
    EXPECT_EQ(log.find("<html>"), std::string::npos) << output;
  }
}

// A page or log link planted by another account in a folder everybody may write is not
// followed: the file it names keeps its bytes; a planted page link fails the run.
TEST_F(Untrusted, LinksPlantedByAnotherAccountAreNotFollowed) {
  if (geteuid() != 0) GTEST_SKIP() << "another account's links are made with setpriv as root";
  ASSERT_EQ(chmod(folder.Path().c_str(), 0755), 0);
  fs::create_directory(File("www"));
  ASSERT_EQ(chmod(File("www").c_str(), 01777), 0);
  WriteBytes(File("secret"), "root only");
  const std::string plant =
      "setpriv --reuid=65534 --regid=65534 --clear-groups ln -s '" + File("secret") + "' ";
  ASSERT_EQ(std::system((plant + "'" + File("www/dashboard.html") + "'").c_str()), 0);
  ASSERT_EQ(std::system((plant + "'" + File("www/panorello.log") + "'").c_str()), 0);
  const struct {
    std::string key;
    int status;
  } cases[] = {{"OUTPUTFILE=" + File("www/dashboard.html"), 1},
               {"LOGFILE=" + File("www/panorello.log"), 0}};
  for (const auto& c : cases) {
    Config({c.key});
    EXPECT_EQ(Run("/RUN"), c.status) << c.key;
    EXPECT_EQ(ReadBytes(File("secret")), "root only") << c.key;
  }
  EXPECT_NE(Log().find("collegamento simbolico di un altro utente"), std::string::npos) << Log();
  EXPECT_TRUE(fs::is_symlink(File("www/dashboard.html")));
}

// A FIFO as the database never makes the run wait: the block shows why (exit status 3).
TEST_F(Untrusted, FifoDatabaseIsRefusedWithoutWaiting) {
  ASSERT_EQ(mkfifo(File("fifo").c_str(), 0644), 0);
  Config({"DATABASE=" + File("fifo")});
  EXPECT_EQ(Run("/RUN"), 3);
  EXPECT_NE(ReadBytes(File("page.html")).find("non è un file ordinario"), std::string::npos);
}

// SIGINT and SIGTERM in the middle of a large page: the temporary page is removed, one
// "Generazione interrotta" line, status 128 + signal. A run killed outright leaves its temporary
// page; the next run removes it once nobody holds it.
TEST_F(Untrusted, SignalsRemoveTheTemporaryPage) {
  const std::string rows =
      "WITH RECURSIVE r(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM r WHERE i < 2000000000) ";
  auto start_and_signal = [&](int signal_number, const std::string& mode) {
    // TABLE streams rows into the page; KPI waits for the whole result inside the statement.
    WriteBytes(File("blocks.ini"),
               BlockText(1, "Grande", "",
                         rows + (mode == "TABLE" ? "SELECT i, 'riga' AS t FROM r"
                                                 : "SELECT COUNT(*) AS n FROM r"),
                         mode));
    WriteBytes(File("panorello.log"), "");
    const pid_t pid = Start({"/RUN"});
    for (int i = 0; i < 400 && Temporaries().empty(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    EXPECT_FALSE(Temporaries().empty());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the query is running
    kill(pid, signal_number);
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
  };
  const std::pair<int, std::string> cases[] = {{SIGINT, "TABLE"}, {SIGTERM, "KPI"}};
  for (const auto& [signal_number, mode] : cases) {
    const int status = start_and_signal(signal_number, mode);
    ASSERT_TRUE(WIFEXITED(status)) << signal_number;
    EXPECT_EQ(WEXITSTATUS(status), 128 + signal_number);
    EXPECT_TRUE(Temporaries().empty()) << signal_number;
    EXPECT_EQ(CountOf(Log(), "Generazione interrotta"), 1u) << Log();
    EXPECT_FALSE(fs::exists(File("page.html")));
  }
  EXPECT_TRUE(WIFSIGNALED(start_and_signal(SIGKILL, "TABLE")));
  const std::vector<std::string> left = Temporaries();
  ASSERT_EQ(left.size(), 1u);
  const struct timeval past[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(utimes(left[0].c_str(), past), 0);
  WriteBytes(File("blocks.ini"), BlockText(1, "Uno", "", "SELECT 1 AS n"));
  EXPECT_EQ(Run("/RUN"), 0);
  EXPECT_TRUE(Temporaries().empty());
}

// Start-ups racing to create the sample database (released together through a FIFO): every run
// sees it whole.
TEST_F(Untrusted, ConcurrentFirstRunsSeeTheWholeSampleDatabase) {
  Config({"DATABASE=" + File("demo_panorello.mdb"), "OUTPUTFILE=page.html"});
  WriteBytes(File("blocks.ini"),
             BlockText(1, "Fatture", "", "SELECT COUNT(*) AS n FROM Fatture", "KPI"));
  ASSERT_EQ(mkfifo(File("go").c_str(), 0600), 0);
  std::vector<pid_t> runs;
  for (int i = 0; i < 24; ++i) {
    const std::string cwd = File("run" + std::to_string(i));
    fs::create_directory(cwd);
    std::string script =
        "read x < '" + File("go") + "'; cd '" + cwd + "' && exec '" + File("panorello") + "' /RUN";
    char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), script.data(), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawnp(&pid, "sh", nullptr, nullptr, argv, environ), 0);
    runs.push_back(pid);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // all waiting at the FIFO
  ::close(::open(File("go").c_str(), O_WRONLY));
  for (size_t i = 0; i < runs.size(); ++i) {
    int status = 0;
    waitpid(runs[i], &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << i;
  }
  for (size_t i = 0; i < runs.size(); ++i) {
    const std::string page = ReadBytes(File("run" + std::to_string(i) + "/page.html"));
    EXPECT_EQ(page.find("class=\"error\""), std::string::npos) << i << page.substr(0, 2000);
  }
}

}  // namespace
}  // namespace panorello
