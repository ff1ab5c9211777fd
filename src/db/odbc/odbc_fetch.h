#pragma once
// The one way an ODBC result is read. Internal to src/db.
#include <sql.h>
#include <sqlext.h>

#include <functional>
#include <string>
#include <vector>

#include "db/odbc/odbc_handle.h"
#include "db/result/result_grid.h"

namespace panorello {

// How a column is read: dates and times come as text and are parsed here, so that a value the
// driver could not convert never fails the read.
enum class OdbcKind { Integer, Bit, Single, Double, Decimal, Text, DateTime, Binary };

struct OdbcColumn {
  std::string name;
  SQLSMALLINT sql_type = 0;
  SQLULEN size = 0;
  OdbcKind kind = OdbcKind::Text;
  bool long_data = false;  // never bound: read in pieces with SQLGetData
};

std::vector<OdbcColumn> DescribeColumns(const OdbcHandle& stmt, SQLSMALLINT count);
std::vector<std::string> ColumnNames(const std::vector<OdbcColumn>& columns);

// What a connection's driver allows when a result is read.
struct OdbcReadRules {
  // The reported column sizes bound every value (servers that compute them for each expression);
  // otherwise a value may be longer than its column said.
  bool sizes_hold = false;
  // SQLGetData works on bound columns and on any column after the bound ones.
  bool get_data_on_bound = false;
  // SQLSetPos reaches any row of a fetched array for SQLGetData (psqlODBC; MariaDB's and SQLite's
  // drivers claim it but then read another row).
  bool get_data_in_arrays = false;
};

OdbcReadRules ReadRulesOf(const OdbcHandle& dbc);

// Receives one row of cells; the views are valid during the call only.
using OdbcRowFn = std::function<void(const CellView* cells, size_t count)>;

// Reads the rows of an executed statement once, handing them to row_fn one by one. Rows come in
// arrays with bound buffers where every value is sure to fit (or the driver can go back to a row
// of the array); otherwise one at a time. A value longer than its buffer, or of unknown size, is
// read in pieces with SQLGetData.
void FetchRows(const OdbcHandle& stmt, const std::vector<OdbcColumn>& columns,
               const OdbcReadRules& rules, const OdbcRowFn& row_fn);

}  // namespace panorello
