// Access files: dashboard queries on a real JET4 file agree with the same data loaded into SQLite
// by hand; the SQLite copy is made again only when the file changes, is never seen half-made,
// and nothing reaches standard output or standard error.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "db/access/access_cache.h"
#include "db/access/access_values.h"
#include "db/connection.h"
#include "db/db_test_support.h"
#include "db/target/connection_string.h"
#include "support/test_support.h"
#include "util/error.h"

namespace panorello {
namespace {

using testing::StreamedRows;
using testing::TempFolder;

// Standard output of a shell command; status receives its exit status.
std::string Run(const std::string& command, int& status) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    status = -1;
    return out;
  }
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  status = ::pclose(pipe);
  return out;
}

std::string Shell(const std::string& text) {
  std::string out = "'";
  for (const char ch : text) out += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
  return out + "'";
}

// The JET4 test file, fetched once by scripts/fetch-test-data.sh: its path, or "" and the reason.
struct Fetched {
  std::string path;
  std::string reason;
};
const Fetched& FruitFile() {
  static const Fetched fetched = [] {
    int status = 0;
    std::string out =
        Run("bash " + Shell(std::string(PANORELLO_SOURCE_DIR) + "/scripts/fetch-test-data.sh") +
                " 2>&1",
            status);
    while (!out.empty() && out.back() == '\n') out.pop_back();
    if (status != 0) return Fetched{"", out.empty() ? "fetch-test-data.sh non riuscito" : out};
    return Fetched{out.substr(out.rfind('\n') + 1), ""};
  }();
  return fetched;
}

// Every table of the file, through mdb-export's SQLite statements, into a new SQLite file without
// declared types; the names of the tables.
std::vector<std::string> LoadByHand(const std::string& mdb, const std::string& sqlite_path) {
  int status = 0;
  std::istringstream tables(Run("mdb-tables -1 " + Shell(mdb), status));
  EXPECT_EQ(status, 0);
  auto db = CreateSqliteDatabase(sqlite_path, {});
  std::vector<std::string> names;
  for (std::string table; std::getline(tables, table);) {
    // One statement: INSERT INTO `table` (`column`, ...) VALUES (...), (...);
    std::string insert =
        Run("mdb-export -I sqlite -q \"'\" " + Shell(mdb) + " " + Shell(table), status);
    EXPECT_EQ(status, 0) << table;
    const size_t values = insert.find(" VALUES ");
    if (values == std::string::npos) continue;
    db->Execute("CREATE TABLE " + insert.substr(12, values - 12));
    db->Execute(insert.substr(0, insert.rfind(';')));
    names.push_back(table);
  }
  return names;
}

std::string JetString(const std::string& path) {
  return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path + ";";
}

class AccessFile : public ::testing::Test {
 protected:
  void SetUp() override {
    const Fetched& fetched = FruitFile();
    if (fetched.path.empty()) {
      GTEST_SKIP() << "File Access di prova non disponibile: " << fetched.reason;
    }
    std::filesystem::copy_file(fetched.path, mdb_);
  }
  std::unique_ptr<Connection> Open(ConnectionLimits limits = {}) {
    return OpenConnectionString(JetString(mdb_), limits, place_);
  }
  int64_t FruitCount(Connection& c) {
    return c.Query("SELECT count(*) FROM Fruit")->At(0, 0).integer;
  }
  // The finished copies in the cache folder, and whether any temporary file is left.
  std::vector<std::string> Copies(bool* temporary = nullptr) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(place_.cache_folder, ec)) {
      const std::string name = e.path().filename().string();
      if (name.ends_with(".sqlite")) names.push_back(name);
      if (temporary != nullptr && name.find(".tmp-") != std::string::npos) *temporary = true;
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  void SetMtime(const std::string& path, time_t seconds) {
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  }

  TempFolder folder_;
  std::string mdb_ = folder_.File("frutta.mdb");
  FixedClock clock_{DateTime{2026, 3, 5, 14, 30, 9}};
  // A cache folder with the characters that a SQLite URI escapes.
  ConnectionPlace place_{folder_.File("dati #1?%20/cache"),
                         std::string(PANORELLO_BINARY_DIR) + "/" + kAccessCopyProgram, &clock_};
};

TEST_F(AccessFile, BlocksAgreeWithTheSameDataLoadedByHand) {
  const std::string reference_path = folder_.File("a_mano.db");
  const std::vector<std::string> tables = LoadByHand(mdb_, reference_path);
  ASSERT_EQ(tables.size(), 5u);
  auto reference = OpenConnectionString(JetString(reference_path), {});
  auto access = Open();
  struct Case {
    std::string sql;
    std::string reference_sql = "";  // "" = the same text
  };
  std::vector<Case> cases = {
      {.sql = "SELECT Fruit, Sugar FROM Fruit WHERE Fruit = 'aPPLE' OR Fruit IN ('BANANA')",
       .reference_sql = "SELECT Fruit, Sugar FROM Fruit WHERE Fruit IN ('Apple', 'Banana')"},
      // Texts sort as in Access, whatever their case.
      {.sql = "SELECT Fruit, IIf(Sugar >= 10, 'dolce', 'poco dolce') AS Gusto FROM Fruit "
              "ORDER BY Fruit",
       .reference_sql = "SELECT Fruit, CASE WHEN Sugar >= 10 THEN 'dolce' ELSE 'poco dolce' END "
                        "AS Gusto FROM Fruit ORDER BY Fruit COLLATE NOCASE"},
      {.sql = "SELECT SUM(Nz(NULLIF(Fat, 0), 100)) AS s, Nz(NULL) AS vuoto, Nz(NULL, 'x') AS x, "
              "IIf(NULL, 1, 2) AS i, iif('abc', 1, 2) AS t FROM Fruit",
       .reference_sql = "SELECT SUM(COALESCE(NULLIF(Fat, 0), 100)) AS s, '' AS vuoto, 'x' AS x, "
                        "2 AS i, 2 AS t FROM Fruit"},
      {.sql = "SELECT Now() AS adesso, Date() AS oggi, Year(Now()) AS a, Month(Date()) AS m, "
              "Day('2024-02-29 23:59:59') AS g, YEAR('non una data') AS x, "
              "Year(45000.75) AS serie, Month('07:30') AS ora, date('2024-01-31', '+1 day') AS d",
       .reference_sql = "SELECT '2026-03-05 14:30:09' AS adesso, '2026-03-05 00:00:00' AS oggi, "
                        "2026 AS a, 3 AS m, 29 AS g, NULL AS x, 2023 AS serie, 12 AS ora, "
                        "'2024-02-01' AS d"},
  };
  for (const std::string& table : tables)
    cases.push_back({.sql = "SELECT * FROM \"" + table + "\""});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    const auto expected =
        StreamedRows(*reference, c.reference_sql.empty() ? c.sql : c.reference_sql);
    const auto got = StreamedRows(*access, c.sql);
    EXPECT_EQ(got.first, expected.first);
    EXPECT_EQ(got.second, expected.second);
    EXPECT_FALSE(got.second.empty());
  }
  // The MDBTools ODBC form reaches the same copy.
  auto odbc_form = OpenConnectionString("Driver={MDBTools};DBQ=" + mdb_ + ";", {}, place_);
  EXPECT_EQ(FruitCount(*odbc_form), 37);
  EXPECT_EQ(Copies().size(), 1u);
}

TEST_F(AccessFile, CopyIsMadeAgainOnlyWhenSizeOrTimeChanges) {
  const std::string other = folder_.File("altro.mdb");
  std::filesystem::copy_file(mdb_, other);
  EXPECT_EQ(FruitCount(*Open()), 37);
  EXPECT_EQ(FruitCount(*OpenConnectionString(JetString(other), {}, place_)), 37);
  const std::vector<std::string> first = Copies();
  ASSERT_EQ(first.size(), 2u);
  struct stat before {};
  const std::string fruit_copy = first[0].starts_with("frutta-") ? first[0] : first[1];
  ASSERT_EQ(::stat((place_.cache_folder + "/" + fruit_copy).c_str(), &before), 0);

  auto open_before_change = Open();  // stays usable while its copy is replaced
  EXPECT_EQ(FruitCount(*Open()), 37);
  struct stat again {};
  ASSERT_EQ(::stat((place_.cache_folder + "/" + fruit_copy).c_str(), &again), 0);
  EXPECT_EQ(again.st_ino, before.st_ino) << "copia rifatta senza modifiche al file";
  EXPECT_EQ(Copies(), first);

  // Temporary files of runs that ended half-way: removed after a day, not before.
  const std::string left = place_.cache_folder + "/" + fruit_copy + ".tmp-1-vecchio";
  const std::string writing = place_.cache_folder + "/" + fruit_copy + ".tmp-2-recente";
  std::ofstream(left) << "x";
  std::ofstream(writing) << "x";
  SetMtime(left, ::time(nullptr) - 2 * 86400);

  SetMtime(mdb_, 1700000000);  // time alone
  EXPECT_EQ(FruitCount(*Open()), 37);
  EXPECT_FALSE(std::filesystem::exists(left));
  EXPECT_TRUE(std::filesystem::exists(writing));
  const std::vector<std::string> after_time = Copies();
  ASSERT_EQ(after_time.size(), 2u);
  EXPECT_NE(after_time, first);
  EXPECT_EQ(std::count(after_time.begin(), after_time.end(), fruit_copy), 0);

  std::ofstream(mdb_, std::ios::app | std::ios::binary) << std::string(4096, '\0');
  SetMtime(mdb_, 1700000000);  // size alone
  EXPECT_EQ(FruitCount(*Open()), 37);
  const std::vector<std::string> after_size = Copies();
  ASSERT_EQ(after_size.size(), 2u);
  EXPECT_NE(after_size, after_time);
  // The other file's copy is untouched; the connection opened earlier still reads all rows.
  EXPECT_EQ(std::count_if(after_size.begin(), after_size.end(),
                          [](const std::string& n) { return n.starts_with("altro-"); }),
            1);
  EXPECT_EQ(FruitCount(*open_before_change), 37);
}

TEST_F(AccessFile, ConcurrentOpensNeverSeeHalfACopy) {
  constexpr int kThreads = 6;
  std::atomic<int> ready{0};
  std::mutex mutex;
  std::vector<std::string> failures;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      ++ready;
      while (ready.load() < kThreads) std::this_thread::yield();
      try {
        auto c = Open();
        const auto grid = c->Query("SELECT count(*), SUM(Sugar) FROM Fruit");
        if (grid->At(0, 0).integer != 37 || grid->At(0, 1).integer != 437) {
          throw Error("righe " + std::to_string(grid->At(0, 0).integer));
        }
      } catch (const std::exception& e) {
        std::lock_guard<std::mutex> lock(mutex);
        failures.push_back(e.what());
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_TRUE(failures.empty()) << failures.front();
  bool temporary = false;
  EXPECT_EQ(Copies(&temporary).size(), 1u);
  EXPECT_FALSE(temporary);
}

TEST_F(AccessFile, NothingIsPrintedAndADamagedFileGivesItsReason) {
  const std::string damaged = folder_.File("danneggiato.mdb");
  std::filesystem::copy_file(mdb_, damaged);
  std::filesystem::resize_file(damaged, 20000);  // MDBTools prints page errors for this one
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  std::string message;
  try {
    OpenConnectionString(JetString(damaged), {}, place_);
  } catch (const Error& e) {
    message = e.what();
  }
  int64_t rows = 0;
  try {
    rows = FruitCount(*Open());
  } catch (const Error& e) {
    message += e.what();  // the captures must end before anything fails
  }
  std::string error_text;
  Settings s;
  s.DbType = "ACCESS";
  s.Database = damaged;
  const bool tested = TestConnection(s, {}, error_text, place_);
  const std::string out = ::testing::internal::GetCapturedStdout();
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "");
  EXPECT_EQ(message, "Il file Access " + damaged +
                         " è danneggiato o non leggibile: il catalogo delle tabelle non può essere "
                         "letto (file danneggiato, protetto o di una versione non riconosciuta); "
                         "provare ad aprirlo e ripararlo con Access (Compatta e ripristina "
                         "database)");
  EXPECT_FALSE(tested);
  EXPECT_EQ(error_text, message);
  EXPECT_EQ(rows, 37);
  bool temporary = false;
  EXPECT_EQ(Copies(&temporary).size(), 1u);
  EXPECT_FALSE(temporary);
}

// The copier runs under an address-space cap sized from the file, is killed and reaped at its
// time limit, and whatever way it fails the box names the file as damaged, never a server.
TEST_F(AccessFile, HelperFailuresBecomeErrorsAndLeaveNoFile) {
  const std::string pid_file = folder_.File("pid");
  const uint64_t cap_kib = (256u << 10) + std::filesystem::file_size(mdb_) * 4 / 1024;
  struct Case {
    std::string script;  // "" = no program at all
    std::string expected;
    ErrorKind kind;
  };
  const std::string damaged = "Il file Access " + mdb_ + " è danneggiato o non leggibile: ";
  const std::vector<Case> cases = {
      {"", "Programma di lettura dei file Access non trovato: ", ErrorKind::kFile},
      {"echo $$ > " + pid_file + "; exec sleep 30",
       damaged + "la lettura non è terminata entro 2 secondi", ErrorKind::kTimeout},
      {"kill -KILL $$", damaged + "lettura interrotta (segnale 9)", ErrorKind::kDatabase},
      {"echo rumore; echo \"ERRORE: limite $(ulimit -v)\" >&2; : > \"$2\"; exit 1",
       damaged + "limite " + std::to_string(cap_kib), ErrorKind::kDatabase},
      {"echo 'ERRORE: disco pieno' >&2; exit 3", "disco pieno", ErrorKind::kFile},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].script);
    ConnectionPlace place = place_;
    place.access_copier = folder_.File("copiatore" + std::to_string(i));
    if (!cases[i].script.empty()) {
      std::ofstream(place.access_copier) << "#!/bin/sh\n" << cases[i].script << "\n";
      std::filesystem::permissions(place.access_copier, std::filesystem::perms::owner_all);
    }
    Settings settings{.DbType = "ACCESS", .Database = mdb_};
    std::string error;
    EXPECT_FALSE(TestConnection(
        settings, ConnectionLimits{.connect_seconds = 1, .query_seconds = 1}, error, place));
    EXPECT_EQ(error.find(cases[i].expected), 0u) << error;
    EXPECT_EQ(error.find("server"), std::string::npos) << error;
    try {
      OpenConnectionString(JetString(mdb_), {.connect_seconds = 1, .query_seconds = 0}, place);
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), cases[i].kind);
    }
    EXPECT_TRUE(std::filesystem::is_empty(place_.cache_folder));
  }
  // The copier that outlived its time is gone, not left running.
  const pid_t sleeper = std::stoi(testing::ReadBytes(pid_file));
  EXPECT_TRUE(::kill(sleeper, 0) != 0 && errno == ESRCH);
}

// One copier per file at a time: the blocks that need the same copy wait for it and use it, or
// share its failure, as do the run's later blocks, instead of each trying again.
TEST_F(AccessFile, OneCopierPerFileSharedByTheBlocksThatWait) {
  const std::string count = folder_.File("avvii");
  ConnectionPlace place = place_;
  place.access_copier = folder_.File("copiatore");
  place.access_failures = std::make_shared<AccessCopyFailures>();
  std::ofstream(place.access_copier) << "#!/bin/sh\necho x >> " << count << "\nsleep 0.5\nexec "
                                     << place_.access_copier << " \"$@\"\n";
  std::filesystem::permissions(place.access_copier, std::filesystem::perms::owner_all);
  const std::string damaged = folder_.File("danneggiato.mdb");
  std::filesystem::copy_file(mdb_, damaged);
  std::filesystem::resize_file(damaged, 20000);
  for (const std::string& file : {damaged, mdb_}) {
    SCOPED_TRACE(file);
    constexpr int kThreads = 4;
    std::atomic<int> ready{0};
    std::mutex mutex;
    std::vector<std::string> outcomes;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&] {
        ++ready;
        while (ready.load() < kThreads) std::this_thread::yield();
        std::string outcome;
        try {
          outcome = std::to_string(FruitCount(*OpenConnectionString(JetString(file), {}, place)));
        } catch (const Error& e) {
          outcome = e.what();
        }
        std::lock_guard<std::mutex> lock(mutex);
        outcomes.push_back(outcome);
      });
    }
    for (auto& t : threads) t.join();
    ASSERT_EQ(outcomes.size(), size_t{kThreads});
    EXPECT_EQ(std::count(outcomes.begin(), outcomes.end(), outcomes[0]), kThreads);
    EXPECT_EQ(
        outcomes[0].find(
            file == mdb_ ? "37" : "Il file Access " + damaged + " è danneggiato o non leggibile: "),
        0u)
        << outcomes[0];
  }
  // A later block of the same run gets the failure without a copier of its own.
  EXPECT_THROW(OpenConnectionString(JetString(damaged), {}, place), Error);
  EXPECT_EQ(testing::ReadBytes(count), "x\nx\n");
  bool temporary = false;
  EXPECT_EQ(Copies(&temporary).size(), 1u);
  EXPECT_FALSE(temporary);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(place_.cache_folder), {}), 1);
}

// The copier ends with the program that started it, even when that one is killed.
TEST_F(AccessFile, CopierDiesWithItsParent) {
  const std::string pid_file = folder_.File("pid");
  const std::string copier = folder_.File("copiatore");
  std::ofstream(copier) << "#!/bin/sh\necho $$ > " << pid_file << ".tmp\nmv " << pid_file << ".tmp "
                        << pid_file << "\nexec sleep 30\n";
  std::filesystem::permissions(copier, std::filesystem::perms::owner_all);
  const pid_t run = ::fork();
  ASSERT_GE(run, 0);
  if (run == 0) {
    try {
      EnsureAccessCopy(mdb_, place_.cache_folder, copier, 60);
    } catch (...) {
    }
    ::_exit(0);
  }
  for (int i = 0; i < 200 && !std::filesystem::exists(pid_file); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  ::kill(run, SIGKILL);
  ::waitpid(run, nullptr, 0);
  ASSERT_TRUE(std::filesystem::exists(pid_file));
  const pid_t sleeper = std::stoi(testing::ReadBytes(pid_file));
  // Gone, or a zombie waiting for the system to reap it: never still running.
  std::string state = "R";
  for (int i = 0; i < 100; ++i) {
    std::ifstream stat("/proc/" + std::to_string(sleeper) + "/stat");
    std::string line;
    state = std::getline(stat, line) ? line.substr(line.rfind(')') + 2, 1) : "";
    if (state.empty() || state == "Z") break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(state.empty() || state == "Z") << state;
}

TEST(AccessValues, FixedSizeValuesDecodeAsAccessStoresThem) {
  struct Case {
    JetType type;
    std::vector<unsigned char> bytes;
    int scale;
    std::string expected;  // "i:" integer, "r:" real, "t:" text, "null"
  };
  const auto date = [](double serial) {
    std::vector<unsigned char> b(8);
    std::memcpy(b.data(), &serial, 8);
    return b;
  };
  const std::vector<Case> cases = {
      {JetType::kByte, {0xff}, 0, "i:255"},
      {JetType::kInteger, {0xfe, 0xff}, 0, "i:-2"},
      {JetType::kLongInteger, {0x00, 0x00, 0x00, 0x80}, 0, "i:-2147483648"},
      {JetType::kCurrency, {0xb2, 0x9e, 0x43, 0xff, 0xff, 0xff, 0xff, 0xff}, 0, "r:-1234.5678"},
      {JetType::kSingle, {0x00, 0x00, 0xc0, 0x3f}, 0, "r:1.5"},
      {JetType::kDouble, date(-0.25), 0, "r:-0.25"},
      {JetType::kDecimal,
       {0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x39, 0x30, 0, 0},
       2,
       "r:-123.45"},
      {JetType::kDecimal, {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}, 0, "r:4294967296"},
      {JetType::kDateTime, date(45000.5), 0, "t:2023-03-15 12:00:00"},
      {JetType::kDateTime, date(-1.25), 0, "t:1899-12-29 06:00:00"},
      {JetType::kDateTime, date(45000.9999999), 0, "t:2023-03-16 00:00:00"},
      {JetType::kDateTime, date(2958466), 0, "null"},
      {JetType::kDateTime, date(std::nan("")), 0, "null"},
      {JetType::kGuid,
       {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f,
        0x10},
       0,
       "t:{04030201-0605-0807-090A-0B0C0D0E0F10}"},
      {JetType::kDouble, {0, 0, 0}, 0, "null"},  // too short
      {JetType::kText, {'a'}, 0, "null"},        // not fixed-size
  };
  for (const Case& c : cases) {
    const JetNumber n =
        DecodeJetFixed(static_cast<int>(c.type), c.bytes.data(), c.bytes.size(), c.scale);
    std::string got = "null";
    char real[64];
    std::snprintf(real, sizeof real, "%.10g", n.real);
    if (n.kind == JetNumber::Kind::kInteger) got = "i:" + std::to_string(n.integer);
    if (n.kind == JetNumber::Kind::kReal) got = std::string("r:") + real;
    if (n.kind == JetNumber::Kind::kText) got = "t:" + n.text;
    EXPECT_EQ(got, c.expected) << static_cast<int>(c.type);
  }
}

}  // namespace
}  // namespace panorello
