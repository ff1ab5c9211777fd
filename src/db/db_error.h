#pragma once
// A failure reported by a database engine or driver, with its diagnostic codes.
#include <string>
#include <utility>

#include "util/error.h"

namespace panorello {

// Whose numbering a native code follows.
enum class ServerFamily { kUnknown, kMariaDb, kSqlServer, kPostgres, kSqlite };

struct DbDiagnostic {
  std::string sqlstate;  // five characters, or "" when the engine gave none
  long native_code = 0;  // the driver's or server's own error number (SQLite: its result code)
  ServerFamily family = ServerFamily::kUnknown;
};

class DbError : public Error {
 public:
  DbError(const std::string& description, DbDiagnostic diagnostic,
          ErrorKind kind = ErrorKind::kDatabase)
      : Error(description, kind), diagnostic_(std::move(diagnostic)) {}
  const DbDiagnostic& diagnostic() const noexcept { return diagnostic_; }
  // The engine that knows whose server answered names it on the way out.
  void SetFamily(ServerFamily family) noexcept { diagnostic_.family = family; }

 private:
  DbDiagnostic diagnostic_;
};

}  // namespace panorello
