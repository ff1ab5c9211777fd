#pragma once
// ODBC handles and the one check of ODBC return codes. Internal to src/db.
#include <sql.h>
#include <sqlext.h>

#include <string>

#include "db/db_error.h"

namespace panorello {

// One ODBC handle, freed when it goes.
class OdbcHandle {
 public:
  OdbcHandle() = default;
  // Allocates a handle of type under parent; throws DbError when the driver manager refuses.
  OdbcHandle(SQLSMALLINT type, SQLHANDLE parent);
  ~OdbcHandle();
  OdbcHandle(OdbcHandle&& other) noexcept;
  OdbcHandle& operator=(OdbcHandle&& other) noexcept;
  OdbcHandle(const OdbcHandle&) = delete;
  OdbcHandle& operator=(const OdbcHandle&) = delete;

  SQLHANDLE get() const { return handle_; }
  SQLSMALLINT type() const { return type_; }

 private:
  SQLSMALLINT type_ = 0;
  SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

struct OdbcDiagnostic {
  DbDiagnostic codes;
  std::string message;  // as the driver gives it ("" when there is no record)
};

// The first diagnostic record of handle (the only one some drivers give safely).
OdbcDiagnostic FirstDiagnostic(SQLSMALLINT type, SQLHANDLE handle);

// Every ODBC call passes through here: success (with or without information) returns rc; so does
// SQL_NO_DATA when no_data_ok; anything else throws DbError with the first diagnostic record.
SQLRETURN RequireOdbcSuccess(SQLRETURN rc, const OdbcHandle& handle, const char* call,
                             bool no_data_ok = false);

// For calls whose failure changes nothing (optional attributes): returns whether it worked.
bool OdbcSucceeded(SQLRETURN rc);

}  // namespace panorello
