// How libpq 15 can stream a large result, side by side: single-row mode (what the POSTGRESQL
// road uses), a server-side cursor read with FETCH n (each FETCH after the rows of the last, or
// sent before they are read), and the whole result at once (what psql does). Every value is read
// once (its length summed) so that each road touches the same bytes.
//
//   pg_modes_bench CONNINFO QUERY [--runs 3] [--fetch 10000]
//
// Each road runs in a child process: wall time, CPU time (user + system) and peak memory are its
// own. Prints the median of the runs.
#include <libpq-fe.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

struct Figures {
  double wall = 0;
  double cpu = 0;
  double peak_mb = 0;
};

long long Touch(const PGresult* r) {
  long long bytes = 0;
  const int rows = PQntuples(r);
  const int cols = PQnfields(r);
  for (int row = 0; row < rows; ++row) {
    for (int c = 0; c < cols; ++c)
      bytes += PQgetlength(r, row, c) + (PQgetvalue(r, row, c)[0] != 0);
  }
  return bytes;
}

PGresult* Checked(PGconn* conn, PGresult* r) {
  const ExecStatusType s = PQresultStatus(r);
  if (s != PGRES_TUPLES_OK && s != PGRES_COMMAND_OK && s != PGRES_SINGLE_TUPLE) {
    std::fprintf(stderr, "%s", PQerrorMessage(conn));
    std::exit(2);
  }
  return r;
}

long long SingleRow(PGconn* conn, const std::string& query, int) {
  long long bytes = 0;
  PQsendQueryParams(conn, query.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0);
  PQsetSingleRowMode(conn);
  while (PGresult* r = PQgetResult(conn)) {
    bytes += Touch(Checked(conn, r));
    PQclear(r);
  }
  return bytes;
}

long long Cursor(PGconn* conn, const std::string& query, int fetch) {
  long long bytes = 0;
  PQclear(Checked(conn, PQexec(conn, "BEGIN")));
  PQclear(Checked(conn, PQexec(conn, ("DECLARE c NO SCROLL CURSOR FOR " + query).c_str())));
  const std::string next = "FETCH " + std::to_string(fetch) + " FROM c";
  for (;;) {
    PGresult* r = Checked(conn, PQexec(conn, next.c_str()));
    const int rows = PQntuples(r);
    bytes += Touch(r);
    PQclear(r);
    if (rows == 0) break;
  }
  PQclear(Checked(conn, PQexec(conn, "COMMIT")));
  return bytes;
}

// The same cursor, the next FETCH asked for before the rows of the last one are read.
long long CursorAhead(PGconn* conn, const std::string& query, int fetch) {
  long long bytes = 0;
  PQclear(Checked(conn, PQexec(conn, "BEGIN")));
  PQclear(Checked(conn, PQexec(conn, ("DECLARE c NO SCROLL CURSOR FOR " + query).c_str())));
  const std::string next = "FETCH " + std::to_string(fetch) + " FROM c";
  PQsendQuery(conn, next.c_str());
  for (;;) {
    PGresult* r = Checked(conn, PQgetResult(conn));
    while (PGresult* rest = PQgetResult(conn)) PQclear(rest);
    const int rows = PQntuples(r);
    if (rows > 0) PQsendQuery(conn, next.c_str());
    bytes += Touch(r);
    PQclear(r);
    if (rows == 0) break;
  }
  PQclear(Checked(conn, PQexec(conn, "COMMIT")));
  return bytes;
}

long long Whole(PGconn* conn, const std::string& query, int) {
  PGresult* r = Checked(conn, PQexec(conn, query.c_str()));
  const long long bytes = Touch(r);
  PQclear(r);
  return bytes;
}

using Road = long long (*)(PGconn*, const std::string&, int);

Figures RunChild(const std::string& conninfo, const std::string& query, Road road, int fetch) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    PGconn* conn = PQconnectdb(conninfo.c_str());
    if (PQstatus(conn) != CONNECTION_OK) {
      std::fprintf(stderr, "%s", PQerrorMessage(conn));
      _exit(2);
    }
    const long long bytes = road(conn, query, fetch);
    PQfinish(conn);
    _exit(bytes > 0 ? 0 : 3);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::exit(1);
  Figures f;
  f.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  f.cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
          usage.ru_stime.tv_usec / 1e6;
  f.peak_mb = usage.ru_maxrss / 1024.0;
  return f;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "uso: pg_modes_bench CONNINFO QUERY [--runs N] [--fetch N]\n");
    return 2;
  }
  int runs = 3;
  int fetch = 10000;
  for (int i = 3; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--runs") == 0) runs = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--fetch") == 0) fetch = std::atoi(argv[i + 1]);
  }
  const std::string fetch_label = "cursore FETCH " + std::to_string(fetch);
  const std::pair<std::string, Road> roads[] = {{"riga per riga (single-row)", SingleRow},
                                                {fetch_label, Cursor},
                                                {fetch_label + " in anticipo", CursorAhead},
                                                {"risultato intero (come psql)", Whole}};
  std::printf("%-36s %9s %9s %10s\n", "modo libpq", "tempo s", "CPU s", "picco MB");
  for (const auto& [label, road] : roads) {
    std::vector<double> wall, cpu, peak;
    for (int r = 0; r < runs; ++r) {
      const Figures f = RunChild(argv[1], argv[2], road, fetch);
      wall.push_back(f.wall);
      cpu.push_back(f.cpu);
      peak.push_back(f.peak_mb);
    }
    std::printf("%-36s %9.3f %9.3f %10.1f\n", label.c_str(), Median(wall), Median(cpu),
                Median(peak));
  }
  return 0;
}
