#pragma once
// One exception type for every failure that "raises": what() is the Italian description shown to
// the user, kind() says what sort of failure it is so that callers can tell them apart.
#include <stdexcept>
#include <string>

namespace panorello {

enum class ErrorKind {
  kGeneral,    // anything without a kind of its own
  kFile,       // a file or folder that cannot be read, written, created or is refused
  kConfig,     // settings or blocks that cannot be used
  kDatabase,   // the database or its driver refused (see DbError for SQLSTATE and native code)
  kTimeout,    // a deadline passed
  kCancelled,  // the run was interrupted
};

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& description, ErrorKind kind = ErrorKind::kGeneral)
      : std::runtime_error(description), kind_(kind) {}
  ErrorKind kind() const noexcept { return kind_; }

 private:
  ErrorKind kind_;
};

}  // namespace panorello
