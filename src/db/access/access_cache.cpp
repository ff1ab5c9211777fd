#include "db/access/access_cache.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <optional>
#include <system_error>

#include "db/access/access_functions.h"
#include "db/access/contained_child.h"
#include "db/access/copy_lock.h"
#include "db/engines.h"
#include "util/error.h"
#include "util/files.h"

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

// Removes the copies of older versions of the same file, and the temporary and lock files that a
// run which ended half-way left behind (untouched for a day: never one that a run still uses).
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
    const bool left_behind =
        name.find(".sqlite.tmp") != std::string::npos || name.ends_with(".sqlite.lock");
    if (name.ends_with(".sqlite") ||
        (left_behind && ::lstat(path.c_str(), &st) == 0 && st.st_mtime < day_ago)) {
      ::unlink(path.c_str());
    }
  }
  closedir(dir);
}

// The copier's address space: room for the program and the libraries, plus a few times the
// file (pages and rows in memory), never above 1 GiB. A damaged file that makes the library
// allocate without end ends the copier instead of the machine's memory.
uint64_t CopierMemoryCap(uint64_t file_size) {
  constexpr uint64_t kMiB = uint64_t{1} << 20;
  return std::min<uint64_t>(1024 * kMiB,
                            256 * kMiB + std::min<uint64_t>(file_size, 1024 * kMiB) * 4);
}

// The copier's own message: its last line that starts with "ERRORE: ".
std::string HelperMessage(const std::string& tail) {
  const size_t at = tail.rfind("ERRORE: ");
  if (at == std::string::npos) return {};
  const size_t end = tail.find('\n', at);
  return tail.substr(at + 8, end == std::string::npos ? std::string::npos : end - at - 8);
}

Error Damaged(const std::string& source, const std::string& reason, ErrorKind kind) {
  return Error("Il file Access " + source + " è danneggiato o non leggibile: " + reason, kind);
}

constexpr const char* kRepairAdvice =
    "; provare ad aprirlo e ripararlo con Access (Compatta e ripristina database)";

void MakeCopy(const std::string& source, const std::string& temp, const std::string& program,
              int seconds, uint64_t memory_cap) {
  const ChildOutcome child =
      RunContained(program, {kAccessCopyProgram, source, temp},
                   {memory_cap, SteadyClock::now() + std::chrono::seconds(seconds)});
  if (child.start_errno == ENOENT) {
    throw Error("Programma di lettura dei file Access non trovato: " + program +
                    " (deve stare accanto all'eseguibile di Panorello; reinstallare il programma)",
                ErrorKind::kFile);
  }
  if (child.start_errno != 0) {
    throw Error("Impossibile avviare " + program + ": " + SystemText(child.start_errno),
                ErrorKind::kFile);
  }
  if (child.timed_out) {
    throw Damaged(source,
                  "la lettura non è terminata entro " + std::to_string(seconds) +
                      " secondi (file danneggiato, molto grande o su un disco lento)",
                  ErrorKind::kTimeout);
  }
  const int status = child.status;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;
  const std::string message = HelperMessage(child.stderr_tail);
  // Status 3: the copy could not be written (cache folder, disk); the file itself is not at fault.
  if (WIFEXITED(status) && WEXITSTATUS(status) == 3 && !message.empty()) {
    throw Error(message, ErrorKind::kFile);
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 1 && !message.empty()) {
    throw Damaged(source, message, ErrorKind::kDatabase);
  }
  // GLib ends the program when an allocation fails under the cap.
  if (child.stderr_tail.find("failed to allocate") != std::string::npos ||
      child.stderr_tail.find("Cannot allocate memory") != std::string::npos) {
    throw Damaged(source,
                  "la lettura ha superato il limite di memoria di " +
                      std::to_string(memory_cap >> 20) + " MiB" + kRepairAdvice,
                  ErrorKind::kDatabase);
  }
  if (WIFSIGNALED(status)) {
    throw Damaged(
        source,
        "lettura interrotta (segnale " + std::to_string(WTERMSIG(status)) + ")" + kRepairAdvice,
        ErrorKind::kDatabase);
  }
  throw Damaged(source,
                std::string(kAccessCopyProgram) + " terminato con codice " +
                    std::to_string(WEXITSTATUS(status)) + kRepairAdvice,
                ErrorKind::kDatabase);
}

// Makes the copy under its lock (the caller holds it): a temporary file beside it, renamed into
// place when complete.
void MakeCopyInPlace(const std::string& source, const std::string& copy, const std::string& program,
                     int seconds, uint64_t file_size) {
  const std::string temp = copy + ".tmp";
  ::unlink(temp.c_str());  // left by a run that ended half-way; nobody else writes it now
  try {
    MakeCopy(source, temp, program, seconds, CopierMemoryCap(file_size));
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
}

}  // namespace

std::string AccessCopyName(const std::string& absolute_source, uint64_t size, int64_t mtime_ns) {
  const std::string version = std::to_string(size) + ":" + std::to_string(mtime_ns);
  return PathPrefix(absolute_source) + Hex16(Fnv1a(version)) + ".sqlite";
}

std::string EnsureAccessCopy(const std::string& source, const std::string& cache_folder,
                             const std::string& program, int seconds,
                             AccessCopyFailures* failures) {
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
  if (failures != nullptr) {
    if (std::optional<Error> failed = failures->Find(copy)) throw *failed;
  }
  // One copier per copy: the others wait for it and then use its copy, or share its failure.
  const auto deadline = SteadyClock::now() + std::chrono::seconds(seconds);
  try {
    for (;;) {
      std::optional<CopyLock> lock = CopyLock::Wait(copy, deadline);
      if (FileExists(copy)) return copy;
      if (!lock) continue;
      try {
        MakeCopyInPlace(source, copy, program, seconds, static_cast<uint64_t>(st.st_size));
      } catch (const Error& e) {
        lock->Fail(e);
        throw;
      }
      break;
    }
  } catch (const Error& e) {
    if (failures != nullptr) failures->Record(copy, e);
    throw;
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
    const std::string copy =
        EnsureAccessCopy(path, place.cache_folder, program, seconds, place.access_failures.get());
    try {
      return OpenSqliteCopy(copy, limits, setup);
    } catch (const Error&) {
      if (attempt > 0 || FileExists(copy)) throw;
    }
  }
}

}  // namespace panorello
