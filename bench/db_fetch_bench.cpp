// Fetch speed and memory of the data-access layer: a whole result of 1,000,000 rows x 5 columns
// (integer, two texts, a double, a date-time) into a ResultGrid, from SQLite and from PostgreSQL,
// each beside the database's own command-line client writing the same rows to /dev/null.
//
//   db_fetch_bench --sqlite FILE [--pg-string ODBC_STRING --pg-port N --pg-db NAME --pg-user U
//                  --pg-password P] [--runs 3]
//
// Every measurement runs in a child process, so that its peak memory (maximum resident set) is
// its own. Prints the median of the runs. bench/db_fetch.sh prepares the data and the server.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "db/connection.h"
#include "util/error.h"

namespace {

using panorello::ConnectionLimits;
using panorello::ResultGrid;

constexpr const char* kQuery = "SELECT id, name, city, amount, created FROM bench ORDER BY id";

struct Measure {
  double seconds = 0;
  double peak_mb = 0;
  double cpu_seconds = 0;     // user + system time of the process
  double bytes_per_cell = 0;  // grid bytes beyond the text bytes, per cell
  double grid_mb = 0;
  size_t rows = 0;
};

// Runs work in a child process; work writes its result figures to the pipe.
Measure InChild(const std::function<Measure()>& work) {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe");
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    close(fds[0]);
    Measure m;
    try {
      m = work();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "errore: %s\n", e.what());
      _exit(1);
    }
    if (write(fds[1], &m, sizeof m) != static_cast<ssize_t>(sizeof m)) _exit(2);
    _exit(0);
  }
  close(fds[1]);
  Measure m;
  const ssize_t got = read(fds[0], &m, sizeof m);
  close(fds[0]);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("child failed");
  if (got != static_cast<ssize_t>(sizeof m)) m = Measure{};
  if (m.seconds == 0) m.seconds = elapsed;
  m.peak_mb = static_cast<double>(usage.ru_maxrss) / 1024.0;
  m.cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                  static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  return m;
}

// A client program with its output on /dev/null.
Measure Client(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
  return InChild([&]() -> Measure {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  });
}

Measure Fetch(const std::string& connection_string) {
  return InChild([&] {
    const auto start = std::chrono::steady_clock::now();
    auto connection = panorello::OpenConnectionString(connection_string, ConnectionLimits{});
    std::optional<ResultGrid> grid = connection->Query(kQuery);
    Measure m;
    m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!grid) return m;
    size_t text_bytes = 0;
    for (size_t r = 0; r < grid->Rows(); ++r) {
      text_bytes += grid->At(r, 1).text.size() + grid->At(r, 2).text.size();
    }
    const double cells = static_cast<double>(grid->Rows() * grid->Cols());
    m.rows = grid->Rows();
    m.grid_mb = static_cast<double>(grid->MemoryBytes()) / (1024.0 * 1024.0);
    m.bytes_per_cell =
        (static_cast<double>(grid->MemoryBytes()) - static_cast<double>(text_bytes)) / cells;
    return m;
  });
}

Measure Median(int runs, const std::function<Measure()>& once) {
  std::vector<Measure> all;
  for (int i = 0; i < runs; ++i) all.push_back(once());
  std::sort(all.begin(), all.end(),
            [](const Measure& a, const Measure& b) { return a.seconds < b.seconds; });
  return all[all.size() / 2];
}

void Report(const char* label, const Measure& ours, const Measure& client,
            const char* client_name) {
  std::printf(
      "%-10s grid:   %6.3f s (cpu %6.3f s)  peak %7.1f MB  rows %zu  grid %6.1f MB  "
      "%5.2f byte/cella + testi\n",
      label, ours.seconds, ours.cpu_seconds, ours.peak_mb, ours.rows, ours.grid_mb,
      ours.bytes_per_cell);
  std::printf("%-10s %-7s %6.3f s (cpu %6.3f s)  peak %7.1f MB\n", label, client_name,
              client.seconds, client.cpu_seconds, client.peak_mb);
  std::printf("%-10s ratio:  %5.2f x (obiettivo <= 1.5)\n", label, ours.seconds / client.seconds);
}

std::string Arg(int argc, char** argv, const std::string& name, const std::string& fallback = "") {
  for (int i = 1; i + 1 < argc; ++i) {
    if (argv[i] == name) return argv[i + 1];
  }
  return fallback;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string sqlite = Arg(argc, argv, "--sqlite");
  const std::string pg = Arg(argc, argv, "--pg-string");
  const int runs = std::max(1, std::atoi(Arg(argc, argv, "--runs", "3").c_str()));
  if (sqlite.empty() && pg.empty()) {
    std::cerr << "uso: db_fetch_bench --sqlite FILE [--pg-string S --pg-port N --pg-db D "
                 "--pg-user U --pg-password P] [--runs N]\n";
    return 2;
  }
  try {
    if (!sqlite.empty()) {
      const Measure client = Median(runs, [&] { return Client({"sqlite3", sqlite, kQuery}, {}); });
      const Measure ours = Median(runs, [&] {
        return Fetch("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + sqlite + ";");
      });
      Report("SQLite", ours, client, "sqlite3");
    }
    if (!pg.empty()) {
      const std::vector<std::string> env = {"PGPASSWORD=" + Arg(argc, argv, "--pg-password")};
      const Measure client = Median(runs, [&] {
        return Client(
            {"psql", "-At", "-h", "127.0.0.1", "-p", Arg(argc, argv, "--pg-port"), "-U",
             Arg(argc, argv, "--pg-user"), "-d", Arg(argc, argv, "--pg-db"), "-c", kQuery},
            env);
      });
      const Measure ours = Median(runs, [&] { return Fetch(pg); });
      Report("PostgreSQL", ours, client, "psql");
    }
  } catch (const std::exception& e) {
    std::cerr << "errore: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
