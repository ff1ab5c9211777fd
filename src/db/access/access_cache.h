#pragma once
// Access files are queried on a SQLite copy: a helper program (panorello-access-copy) reads the
// file table by table with MDBTools into a temporary file in the cache folder, which is then
// renamed to a name that carries the file's path, size and modification time. A copy is made
// again only when the size or the time changes; a run never sees half a copy. The helper runs
// as a separate process so that MDBTools's messages on standard error, or a crash on a damaged
// file, stay out of the program.
#include <cstdint>
#include <memory>
#include <string>

#include "db/connection.h"

namespace panorello {

inline constexpr const char* kAccessCopyProgram = "panorello-access-copy";

// "<stem>-<hash of the path>-<hash of size and time>.sqlite": stem from the file name (letters,
// digits, "-" and "_" kept, others "_", at most 40 characters).
std::string AccessCopyName(const std::string& absolute_source, uint64_t size, int64_t mtime_ns);

// The path of an up-to-date copy of source in cache_folder, made now when missing (older copies
// of the same file are removed). program: the helper; seconds: how long it may take. Throws
// Error (Italian) when the copy cannot be made.
std::string EnsureAccessCopy(const std::string& source, const std::string& cache_folder,
                             const std::string& program, int seconds);

// A read-only connection to the copy of the Access file at path, with the Jet functions.
std::unique_ptr<Connection> OpenAccessFile(const std::string& path, const ConnectionPlace& place,
                                           const ConnectionLimits& limits);

}  // namespace panorello
