#pragma once
// ODBC handles, the one error check, and fetching a result into a ResultGrid. Internal to src/db.
#include <sql.h>
#include <sqlext.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "db/result_grid.h"

namespace panorello {

// One ODBC handle, freed when it goes.
class OdbcHandle {
 public:
  OdbcHandle() = default;
  // Allocates a handle of type under parent; throws Error when the driver manager refuses.
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

// The message of the first diagnostic record of handle, as the driver gives it ("" when none).
std::string FirstDiagnostic(const OdbcHandle& handle);

// Every ODBC call passes through here: success (with or without information) returns rc; so does
// SQL_NO_DATA when no_data_ok; anything else throws Error with the first diagnostic message.
SQLRETURN Check(SQLRETURN rc, const OdbcHandle& handle, const char* call, bool no_data_ok = false);

// For calls whose failure changes nothing (optional attributes): returns whether it worked.
bool CheckTolerant(SQLRETURN rc);

enum class OdbcKind { Integer, Bit, Single, Double, Decimal, Text, Date, Time, Timestamp, Binary };

struct OdbcColumn {
  std::string name;
  SQLSMALLINT sql_type = 0;
  SQLULEN size = 0;
  OdbcKind kind = OdbcKind::Text;
  bool long_data = false;  // read in pieces with SQLGetData
};

std::vector<OdbcColumn> DescribeColumns(const OdbcHandle& stmt, SQLSMALLINT count);

// Receives one row of cells; the views are valid during the call only.
using OdbcRowFn = std::function<void(const CellView* cells, size_t count)>;

std::vector<std::string> ColumnNames(const std::vector<OdbcColumn>& columns);

// The rows in row arrays with bound buffers, handed to row_fn one by one. False when a value did
// not fit its buffer (the reported size was wrong): the rows of that array and later ones were not
// handed on; read the result again with FetchValues on a fresh execution.
bool FetchRowArrays(const OdbcHandle& stmt, const std::vector<OdbcColumn>& columns,
                    const OdbcRowFn& row_fn);

// The rows one at a time, every value read with SQLGetData, long ones in pieces.
void FetchValues(const OdbcHandle& stmt, const std::vector<OdbcColumn>& columns,
                 const OdbcRowFn& row_fn);

// The whole result in row arrays with bound buffers. nullopt when the result has long columns
// or a value did not fit its buffer (the reported size was wrong): then use FetchByValue on a
// fresh execution.
std::optional<ResultGrid> FetchAll(const OdbcHandle& stmt, const std::vector<OdbcColumn>& columns);

// The whole result one row at a time, every value read with SQLGetData, long ones in pieces.
ResultGrid FetchByValue(const OdbcHandle& stmt, const std::vector<OdbcColumn>& columns);

}  // namespace panorello
