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
  fs::copy_file(std::string(PANORELLO_BINARY_DIR) + "/panorello-access-copy",
                File("panorello-access-copy"));
  fs::create_directory(File("cache"));
  for (const char* name : {"panorello-gui", "blocks.ini.bak", "demo_panorello.mdb"}) {
    WriteBytes(File(name), name);
  }
  const std::pair<std::string, std::string> cases[] = {
      {"panorello", "panorello"},
      {"alias.html", "config.ini"},
      {"panorello.log", "panorello.log"},
      {"panorello-access-copy", "panorello-access-copy"},
      {"panorello-gui", "panorello-gui"},
      {"blocks.ini.bak", "blocks.ini.bak"},
      {"demo_panorello.mdb", "demo_panorello.mdb"},
      {"cache/copia.sqlite", "cache"},
  };
  for (const auto& [output, own] : cases) {
    Config({"OUTPUTFILE=" + File(output)});
    WriteBytes(File("panorello.log"), "");
    const std::string before = fs::is_regular_file(File(own)) ? ReadBytes(File(own)) : "";
    EXPECT_EQ(Run("/RUN"), 1) << output;
    const std::string log = Log();
    EXPECT_NE(log.find("Il file di uscita " + File(output) + " è lo stesso file di " + File(own)),
              std::string::npos)
        << log;
    if (own != "panorello.log" && own != "cache") {
      EXPECT_EQ(ReadBytes(File(own)), before) << output;
    }
    EXPECT_EQ(log.find("<html>"), std::string::npos) << output;
  }
  EXPECT_TRUE(fs::is_empty(File("cache")));
  // The log may name none of them either: its lines go to standard error, the run fails.
  const std::string config = ReadBytes(File("config.ini"));
  Config({"LOGFILE=" + File("blocks.ini")});
  const std::string blocks = ReadBytes(File("blocks.ini"));
  EXPECT_EQ(Run("/RUN"), 1);
  EXPECT_EQ(ReadBytes(File("blocks.ini")), blocks);
  EXPECT_NE(err.find("è lo stesso file di " + File("blocks.ini")), std::string::npos) << err;
}

// Root's cron run against another account (nobody) that owns a folder on the page's or the log's
// path or may plant links in a shared one: each plant fails the run, names the link and its
// owner, and leaves root's files and folders unchanged.
TEST_F(Untrusted, LinksPlantedByAnotherAccountFailTheRunAndChangeNothing) {
  if (geteuid() != 0) GTEST_SKIP() << "another account's links are made with setpriv as root";
  ASSERT_EQ(chmod(folder.Path().c_str(), 0755), 0);
  for (const char* name : {"other", "shared", "rootonly"}) fs::create_directory(File(name));
  ASSERT_EQ(chown(File("other").c_str(), 65534, 65534), 0);
  ASSERT_EQ(chmod(File("shared").c_str(), 01777), 0);
  ASSERT_EQ(chmod(File("rootonly").c_str(), 0700), 0);
  WriteBytes(File("secret"), "root only");
  WriteBytes(File("profile"), "export PATH\n");
  const auto plant = [&](const std::string& target, const std::string& link) {
    const std::string command = "setpriv --reuid=65534 --regid=65534 --clear-groups ln -s '" +
                                target + "' '" + File(link) + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << link;
  };
  plant(File("secret"), "other/dashboard.html");  // in the other account's own folder
  plant(File("other"), "shared/site");            // a middle link to that account's folder
  plant(File("rootonly"), "shared/root");         // a middle link to a root folder
  plant(File("profile"), "other/panorello.log");  // at the log
  const struct {
    std::string key, link;
  } cases[] = {
      {"OUTPUTFILE=" + File("other/dashboard.html"), File("other/dashboard.html")},
      {"OUTPUTFILE=" + File("shared/site/page.html"), File("shared/site")},
      {"OUTPUTFILE=" + File("shared/root/page.html"), File("shared/root")},
      {"LOGFILE=" + File("other/panorello.log"), File("other/panorello.log")},
  };
  for (const auto& c : cases) {
    Config({c.key});
    EXPECT_EQ(Run("/RUN"), 1) << c.key;
    EXPECT_NE((Log() + err)
                  .find(c.link + " è un collegamento simbolico di un altro utente (nobody, "
                                 "uid 65534): non viene seguito"),
              std::string::npos)
        << c.key << "\n"
        << err;
    EXPECT_EQ(ReadBytes(File("secret")), "root only") << c.key;
    EXPECT_EQ(ReadBytes(File("profile")), "export PATH\n") << c.key;
    EXPECT_TRUE(fs::is_empty(File("rootonly"))) << c.key;
    EXPECT_EQ(std::distance(fs::directory_iterator(File("other")), fs::directory_iterator()), 2)
        << c.key;
  }
}

// A web folder of another account (as /var/www/html of www-data), with no links: root's run
// writes the page there as that account, and nothing else.
TEST_F(Untrusted, RootWritesTheAccountsFolderAsThatAccount) {
  if (geteuid() != 0) GTEST_SKIP() << "another account's folder is made as root";
  ASSERT_EQ(chmod(folder.Path().c_str(), 0755), 0);
  fs::create_directory(File("www"));
  ASSERT_EQ(chown(File("www").c_str(), 65534, 65534), 0);
  Config({"OUTPUTFILE=" + File("www/dashboard.html")});
  EXPECT_EQ(Run("/RUN"), 0) << err;
  struct stat st {};
  ASSERT_EQ(stat(File("www/dashboard.html").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 65534u);
  EXPECT_EQ(std::distance(fs::directory_iterator(File("www")), fs::directory_iterator()), 1);
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
