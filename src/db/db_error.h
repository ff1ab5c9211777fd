#pragma once
// A failure reported by a database engine or driver, with its diagnostic codes.
#include <string>
#include <utility>

#include "util/error.h"

namespace panorello {

struct DbDiagnostic {
  std::string sqlstate;  // five characters, or "" when the engine gave none
  long native_code = 0;  // the driver's or server's own error number
};

class DbError : public Error {
 public:
  DbError(const std::string& description, DbDiagnostic diagnostic,
          ErrorKind kind = ErrorKind::kDatabase)
      : Error(description, kind), diagnostic_(std::move(diagnostic)) {}
  const DbDiagnostic& diagnostic() const noexcept { return diagnostic_; }

 private:
  DbDiagnostic diagnostic_;
};

}  // namespace panorello
