#pragma once
// What a connection or query failure means for the person who has to fix it: its class, read
// from the SQLSTATE, the native code and the driver's text (ODBC drivers, libpq, libsqlite3), and
// a short Italian cause with what to check.
#include <exception>
#include <string>
#include <string_view>

#include "db/db_error.h"
#include "storage/settings.h"

namespace panorello {

enum class FailureClass {
  kOther,
  kHostUnreachable,  // host unknown, connection refused or not answered
  kLoginFailed,
  kDatabaseMissing,
  kTimeout,
  kDriverMissing,
  kDsnMissing,
  kSyntax,
  kTableMissing,
};

FailureClass ClassifyFailure(const DbDiagnostic& diagnostic, std::string_view text, ErrorKind kind);

// The Debian package of an ODBC driver named name ("" when none is known).
std::string DriverPackage(std::string_view name);

// The cause and what to check for failure with these settings; "" when there is nothing to add.
// A DBTYPE that is none of the known codes is named first: the connection was tried as SQL Server.
std::string FailureHint(const std::exception& failure, const Settings& settings);

// The failure's own text followed by its hint, as the error box and the connection test show it.
std::string DescribeFailure(const std::exception& failure, const Settings& settings);

}  // namespace panorello
