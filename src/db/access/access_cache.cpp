#include "db/access/access_cache.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>
#include <system_error>
#include <thread>

#include "db/access/access_functions.h"
#include "db/engines.h"
#include "util/error.h"
#include "util/files.h"

extern char** environ;

namespace panorello {

namespace {

using SteadyClock = std::chrono::steady_clock;

uint64_t Fnv1a(std::string_view bytes, uint64_t hash = 14695981039346656037ull) {
  for (const char ch : bytes) {
    hash ^= static_cast<unsigned char>(ch);
    hash *= 1099511628211ull;
  }
  return hash;
}

std::string Hex16(uint64_t v) {
  char out[17];
  std::snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(v));
  return out;
}

std::string Stem(const std::string& path) {
  std::string name = std::filesystem::path(path).stem().string();
  std::string out;
  for (const char ch : name) {
    if (out.size() == 40) break;
    const bool keep = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') ||
                      (ch >= '0' && ch <= '9') || ch == '-' || ch == '_';
    out += keep ? ch : '_';
  }
  return out.empty() ? "access" : out;
}

std::string PathPrefix(const std::string& absolute_source) {
  return Stem(absolute_source) + "-" + Hex16(Fnv1a(absolute_source)) + "-";
}

std::string SystemText(int err) { return std::generic_category().message(err); }

// Removes the copies of older versions of the same file, and temporary files that a run which
// ended half-way left behind (untouched for a day: never one that a run is still writing).
void RemoveOlderCopies(const std::string& folder, const std::string& prefix,
                       const std::string& keep) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  const time_t day_ago = ::time(nullptr) - 86400;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == keep || name.rfind(prefix, 0) != 0) continue;
    const std::string path = AppFile(folder, name);
    struct stat st {};
    if (name.ends_with(".sqlite") || (name.find(".sqlite.tmp-") != std::string::npos &&
                                      ::stat(path.c_str(), &st) == 0 && st.st_mtime < day_ago)) {
      ::unlink(path.c_str());
    }
  }
  closedir(dir);
}

struct Spawned {
  pid_t pid = -1;
  int err_fd = -1;  // the child's standard error
};

Spawned Spawn(const std::string& program, const std::string& source, const std::string& target) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0)
    throw Error("Impossibile avviare " + program + ": " + SystemText(errno));
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
  std::string arg0 = kAccessCopyProgram;
  std::string arg1 = source;
  std::string arg2 = target;
  char* argv[] = {arg0.data(), arg1.data(), arg2.data(), nullptr};
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (rc != 0) {
    ::close(fds[0]);
    if (rc == ENOENT) {
      throw Error(
          "Programma di lettura dei file Access non trovato: " + program +
              " (deve stare accanto all'eseguibile di Panorello; reinstallare il programma)",
          ErrorKind::kFile);
    }
    throw Error("Impossibile avviare " + program + ": " + SystemText(rc));
  }
  return {pid, fds[0]};
}

// Waits for the child until the deadline, keeping the end of its standard error. Returns the
// wait status, or -1 when the deadline passed (the child is then killed).
int WaitChild(const Spawned& child, SteadyClock::time_point deadline, std::string& tail) {
  char buffer[4096];
  bool open = true;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    if (left.count() <= 0) break;
    if (open) {
      pollfd p{child.err_fd, POLLIN, 0};
      const int n = ::poll(&p, 1, static_cast<int>(std::min<int64_t>(left.count(), 200)));
      if (n > 0) {
        const ssize_t got = ::read(child.err_fd, buffer, sizeof buffer);
        if (got > 0) {
          tail.append(buffer, static_cast<size_t>(got));
          if (tail.size() > 8192) tail.erase(0, tail.size() - 8192);
        } else if (got == 0 || errno != EINTR) {
          open = false;
        }
        continue;
      }
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    int status = 0;
    const pid_t done = ::waitpid(child.pid, &status, WNOHANG);
    if (done == child.pid) return status;
    // Reaped elsewhere: its outcome is unknown, so its file is not trusted.
    if (done < 0 && errno != EINTR) return 1 << 8;
  }
  ::kill(child.pid, SIGKILL);
  int status = 0;
  while (::waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
  }
  return -1;
}

// The helper's own message: its last line that starts with "ERRORE: ".
std::string HelperMessage(const std::string& tail) {
  const size_t at = tail.rfind("ERRORE: ");
  if (at == std::string::npos) return {};
  const size_t end = tail.find('\n', at);
  return tail.substr(at + 8, end == std::string::npos ? std::string::npos : end - at - 8);
}

void MakeCopy(const std::string& source, const std::string& temp, const std::string& program,
              int seconds) {
  const Spawned child = Spawn(program, source, temp);
  std::string tail;
  const int status = WaitChild(child, SteadyClock::now() + std::chrono::seconds(seconds), tail);
  ::close(child.err_fd);
  if (status == -1) {
    throw Error("Tempo scaduto: la lettura del file Access " + source +
                    " ha superato il limite di " + std::to_string(seconds) +
                    " secondi (file molto grande, o su un disco di rete lento)",
                ErrorKind::kTimeout);
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;
  const std::string message = HelperMessage(tail);
  if (!message.empty()) throw Error(message, ErrorKind::kDatabase);
  if (WIFSIGNALED(status)) {
    throw Error("Lettura del file Access " + source + " interrotta (segnale " +
                    std::to_string(WTERMSIG(status)) +
                    "): il file potrebbe essere danneggiato; aprirlo e ripararlo con Access",
                ErrorKind::kDatabase);
  }
  throw Error("Lettura del file Access " + source + " non riuscita (" + kAccessCopyProgram +
                  " terminato con codice " + std::to_string(WEXITSTATUS(status)) +
                  "); controllare che il file sia un database Access integro",
              ErrorKind::kDatabase);
}

std::string UniqueSuffix() {
  std::random_device device;
  return ".tmp-" + std::to_string(::getpid()) + "-" + Hex16((uint64_t{device()} << 32) | device());
}

}  // namespace

std::string AccessCopyName(const std::string& absolute_source, uint64_t size, int64_t mtime_ns) {
  const std::string version = std::to_string(size) + ":" + std::to_string(mtime_ns);
  return PathPrefix(absolute_source) + Hex16(Fnv1a(version)) + ".sqlite";
}

std::string EnsureAccessCopy(const std::string& source, const std::string& cache_folder,
                             const std::string& program, int seconds) {
  struct stat st {};
  if (::stat(source.c_str(), &st) != 0) {
    throw Error("File di database non trovato: " + source, ErrorKind::kFile);
  }
  std::error_code ec;
  const std::string absolute = std::filesystem::absolute(source, ec).lexically_normal().string();
  const int64_t mtime_ns = int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
  const std::string name =
      AccessCopyName(ec ? source : absolute, static_cast<uint64_t>(st.st_size), mtime_ns);
  const std::string copy = AppFile(cache_folder, name);
  if (FileExists(copy)) return copy;
  try {
    EnsureWritableFolder(cache_folder);
  } catch (const Error& e) {
    throw Error(
        std::string(e.what()) + " (cartella delle copie dei file Access; controllare i permessi)",
        ErrorKind::kFile);
  }
  const std::string temp = copy + UniqueSuffix();
  try {
    MakeCopy(source, temp, program, seconds);
  } catch (...) {
    ::unlink(temp.c_str());
    throw;
  }
  if (::rename(temp.c_str(), copy.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    throw Error("Impossibile salvare la copia del file Access in " + copy + ": " + SystemText(err),
                ErrorKind::kFile);
  }
  RemoveOlderCopies(cache_folder, PathPrefix(ec ? source : absolute), name);
  return copy;
}

namespace {

// The copier beside the executable (build folder, portable install), else where an install puts
// it (lib/panorello beside bin).
std::string InstalledCopier() {
  const std::string folder = ExecutableFolder();
  const std::string beside = AppFile(folder, kAccessCopyProgram);
  if (::access(beside.c_str(), X_OK) == 0) return beside;
  return AppFile(AppFile(folder, PANORELLO_INSTALLED_HELPER_REL), kAccessCopyProgram);
}

}  // namespace

std::unique_ptr<Connection> OpenAccessFile(const std::string& path, const ConnectionPlace& place,
                                           const ConnectionLimits& limits) {
  if (place.cache_folder.empty()) {
    throw Error("Nessuna cartella per la copia del file Access " + path, ErrorKind::kConfig);
  }
  const std::string program = place.access_copier.empty() ? InstalledCopier() : place.access_copier;
  const int seconds = limits.connect_seconds + limits.query_seconds;
  const Clock* clock = place.clock;
  const auto setup = [clock](sqlite3* db) { RegisterJetFunctions(db, clock); };
  // A newer run may remove this copy between finding and opening it: then once more.
  for (int attempt = 0;; ++attempt) {
    const std::string copy = EnsureAccessCopy(path, place.cache_folder, program, seconds);
    try {
      return OpenSqliteCopy(copy, limits, setup);
    } catch (const Error&) {
      if (attempt > 0 || FileExists(copy)) throw;
    }
  }
}

}  // namespace panorello
