#pragma once
// Access files are queried on a SQLite copy: a helper program (panorello-access-copy) reads the
// file table by table with MDBTools into a temporary file in the cache folder, which is then
// renamed to a name that carries the file's path, size and modification time. A copy is made
// again only when the size or the time changes; a run never sees half a copy. The helper runs
// as a separate process so that MDBTools's messages on standard error, or a crash on a damaged
// file, stay out of the program.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "db/connection.h"
#include "util/error.h"

namespace panorello {

inline constexpr const char* kAccessCopyProgram = "panorello-access-copy";

// The copies that failed during one run, by copy: the run's later blocks get the same error at once
// instead of running the copier again on the same damaged file.
class AccessCopyFailures {
 public:
  std::optional<Error> Find(const std::string& copy) const {
    const std::lock_guard lock(mutex_);
    const auto found = failures_.find(copy);
    if (found == failures_.end()) return std::nullopt;
    return found->second;
  }
  void Record(const std::string& copy, const Error& error) {
    const std::lock_guard lock(mutex_);
    failures_.insert_or_assign(copy, error);
  }

 private:
  mutable std::mutex mutex_;
  std::map<std::string, Error> failures_;
};

// "<stem>-<hash of the path>-<hash of size and time>.sqlite": stem from the file name (letters,
// digits, "-" and "_" kept, others "_", at most 40 characters).
std::string AccessCopyName(const std::string& absolute_source, uint64_t size, int64_t mtime_ns);

// The path of an up-to-date copy of source in cache_folder, made now when missing (older copies
// of the same file are removed). program: the helper; seconds: how long it may take; failures:
// those of this run, consulted and added to (nullptr: none). Throws Error (Italian) when the copy
// cannot be made.
std::string EnsureAccessCopy(const std::string& source, const std::string& cache_folder,
                             const std::string& program, int seconds,
                             AccessCopyFailures* failures = nullptr);

// A read-only connection to the copy of the Access file at path, with the Jet functions.
std::unique_ptr<Connection> OpenAccessFile(const std::string& path, const ConnectionPlace& place,
                                           const ConnectionLimits& limits);

}  // namespace panorello
