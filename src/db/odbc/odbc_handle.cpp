#include "db/odbc/odbc_handle.h"

#include <string>
#include <vector>

namespace panorello {

OdbcHandle::OdbcHandle(SQLSMALLINT type, SQLHANDLE parent) : type_(type) {
  const SQLRETURN rc = SQLAllocHandle(type, parent, &handle_);
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
    handle_ = SQL_NULL_HANDLE;
    OdbcDiagnostic diagnostic;
    if (parent != SQL_NULL_HANDLE) {
      const SQLSMALLINT parent_type = type == SQL_HANDLE_STMT ? SQL_HANDLE_DBC : SQL_HANDLE_ENV;
      diagnostic = FirstDiagnostic(parent_type, parent);
    }
    if (diagnostic.message.empty()) {
      diagnostic.message = "Impossibile allocare un handle ODBC (driver manager non disponibile)";
    }
    throw DbError(diagnostic.message, diagnostic.codes);
  }
}

OdbcHandle::~OdbcHandle() {
  if (handle_ != SQL_NULL_HANDLE) SQLFreeHandle(type_, handle_);
}

OdbcHandle::OdbcHandle(OdbcHandle&& other) noexcept : type_(other.type_), handle_(other.handle_) {
  other.handle_ = SQL_NULL_HANDLE;
}

OdbcHandle& OdbcHandle::operator=(OdbcHandle&& other) noexcept {
  if (this != &other) {
    if (handle_ != SQL_NULL_HANDLE) SQLFreeHandle(type_, handle_);
    type_ = other.type_;
    handle_ = other.handle_;
    other.handle_ = SQL_NULL_HANDLE;
  }
  return *this;
}

OdbcDiagnostic FirstDiagnostic(SQLSMALLINT type, SQLHANDLE handle) {
  OdbcDiagnostic d;
  if (handle == SQL_NULL_HANDLE) return d;
  std::vector<SQLCHAR> text(1024);
  for (int attempt = 0; attempt < 2; ++attempt) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    const SQLRETURN rc = SQLGetDiagRec(type, handle, 1, state, &native, text.data(),
                                       static_cast<SQLSMALLINT>(text.size()), &length);
    if (!SQL_SUCCEEDED(rc)) return d;
    d.codes.sqlstate = reinterpret_cast<const char*>(state);
    d.codes.native_code = native;
    if (static_cast<size_t>(length) < text.size()) {
      d.message.assign(reinterpret_cast<const char*>(text.data()), static_cast<size_t>(length));
      return d;
    }
    text.resize(static_cast<size_t>(length) + 1);
  }
  d.message = reinterpret_cast<const char*>(text.data());
  return d;
}

SQLRETURN RequireOdbcSuccess(SQLRETURN rc, const OdbcHandle& handle, const char* call,
                             bool no_data_ok) {
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) return rc;
  if (rc == SQL_NO_DATA && no_data_ok) return rc;
  OdbcDiagnostic d = FirstDiagnostic(handle.type(), handle.get());
  if (d.message.empty()) {
    d.message = std::string("Errore ODBC in ") + call + " (codice " + std::to_string(rc) + ")";
  }
  throw DbError(d.message, d.codes);
}

bool OdbcSucceeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

}  // namespace panorello
