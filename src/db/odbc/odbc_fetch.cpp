#include "db/odbc/odbc_fetch.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "db/result/date_text.h"
#include "util/error.h"
#include "util/text.h"

namespace panorello {

namespace {

// Values wider than this (or of unknown width) are read in pieces instead of bound.
constexpr SQLULEN kMaxBoundChars = 8000;
// Bytes of bound buffers per row array, all columns together.
constexpr size_t kRowArrayBytes = size_t{2} << 20;
constexpr SQLULEN kMaxRowArray = 1024;
constexpr SQLLEN kPieceBytes = 64 * 1024;
// Room for the text of any date, time or time stamp ("2024-03-05 14:30:00.1234567 +01:00").
constexpr SQLLEN kDateTimeTextBytes = 64;

OdbcKind KindOf(SQLSMALLINT sql_type, bool is_unsigned) {
  switch (sql_type) {
    case SQL_BIT:
      return OdbcKind::Bit;
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
      return OdbcKind::Integer;
    case SQL_BIGINT:
      return is_unsigned ? OdbcKind::Decimal : OdbcKind::Integer;
    case SQL_REAL:
      return OdbcKind::Single;
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return OdbcKind::Double;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
      return OdbcKind::Decimal;
    case SQL_TYPE_DATE:
    case SQL_DATE:
    case SQL_TYPE_TIME:
    case SQL_TIME:
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
      return OdbcKind::DateTime;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return OdbcKind::Binary;
    default:
      return OdbcKind::Text;
  }
}

SQLSMALLINT CTypeOf(OdbcKind kind) {
  switch (kind) {
    case OdbcKind::Integer:
      return SQL_C_SBIGINT;
    case OdbcKind::Bit:
      return SQL_C_BIT;
    case OdbcKind::Single:
      return SQL_C_FLOAT;
    case OdbcKind::Double:
      return SQL_C_DOUBLE;
    case OdbcKind::Binary:
      return SQL_C_BINARY;
    case OdbcKind::DateTime:
    case OdbcKind::Decimal:
    case OdbcKind::Text:
      return SQL_C_CHAR;
  }
  return SQL_C_CHAR;
}

bool IsVariable(OdbcKind kind) {
  return kind == OdbcKind::Text || kind == OdbcKind::Decimal || kind == OdbcKind::Binary ||
         kind == OdbcKind::DateTime;
}

// Bound buffer width of one value.
SQLLEN WidthOf(const OdbcColumn& c) {
  switch (c.kind) {
    case OdbcKind::Integer:
      return sizeof(int64_t);
    case OdbcKind::Bit:
      return sizeof(unsigned char);
    case OdbcKind::Single:
      return sizeof(float);
    case OdbcKind::Double:
      return sizeof(double);
    case OdbcKind::DateTime:
      return kDateTimeTextBytes;
    case OdbcKind::Binary:
      return static_cast<SQLLEN>(std::max<SQLULEN>(c.size, 16));
    case OdbcKind::Decimal:
      return static_cast<SQLLEN>(std::max<SQLULEN>(c.size + 4, 48));
    case OdbcKind::Text:
      // Up to four UTF-8 bytes per reported character, and the terminating zero.
      return static_cast<SQLLEN>(std::max<SQLULEN>(c.size * 4 + 1, 32));
  }
  return 32;
}

// The bytes a bound buffer of width holds for a value of kind (texts keep a terminating zero).
SQLLEN RoomOf(OdbcKind kind, SQLLEN width) { return kind == OdbcKind::Binary ? width : width - 1; }

// A fixed-size value at data.
CellView FixedView(OdbcKind kind, const char* data) {
  CellView cell;
  switch (kind) {
    case OdbcKind::Integer:
      cell.type = CellType::Integer;
      std::memcpy(&cell.integer, data, sizeof cell.integer);
      break;
    case OdbcKind::Bit:
      cell.type = CellType::Boolean;
      cell.integer = static_cast<unsigned char>(data[0]) != 0 ? 1 : 0;
      break;
    case OdbcKind::Single: {
      float v = 0;
      std::memcpy(&v, data, sizeof v);
      cell.type = CellType::Single;
      cell.real = v;
      break;
    }
    case OdbcKind::Double:
      cell.type = CellType::Double;
      std::memcpy(&cell.real, data, sizeof cell.real);
      break;
    case OdbcKind::DateTime:
    case OdbcKind::Decimal:
    case OdbcKind::Text:
    case OdbcKind::Binary:
      break;
  }
  return cell;
}

// A text that is not valid UTF-8 is read as Windows-1252 into storage.
CellView VariableView(OdbcKind kind, std::string_view bytes, std::string& storage) {
  if (kind == OdbcKind::DateTime) return DateTimeTextView(bytes);
  CellView cell;
  cell.type = kind == OdbcKind::Decimal  ? CellType::Decimal
              : kind == OdbcKind::Binary ? CellType::Binary
                                         : CellType::Text;
  cell.text = cell.type == CellType::Text ? Utf8OrWindows1252(bytes, storage) : bytes;
  return cell;
}

void SetStmtAttribute(const OdbcHandle& stmt, SQLINTEGER attribute, SQLPOINTER value) {
  RequireOdbcSuccess(SQLSetStmtAttr(stmt.get(), attribute, value, 0), stmt, "SQLSetStmtAttr");
}

// Reads one value of column number with SQLGetData: fixed ones at once, variable ones in pieces
// until the driver has no more. value (or decoded, for a text that is not UTF-8) keeps the bytes
// the returned view points to.
CellView GetDataValue(const OdbcHandle& stmt, SQLUSMALLINT number, OdbcKind kind,
                      std::vector<char>& piece, std::string& value, std::string& decoded) {
  SQLLEN indicator = 0;
  if (!IsVariable(kind)) {
    alignas(8) char fixed[16] = {};
    RequireOdbcSuccess(
        SQLGetData(stmt.get(), number, CTypeOf(kind), fixed, sizeof fixed, &indicator), stmt,
        "SQLGetData");
    return indicator == SQL_NULL_DATA ? CellView{} : FixedView(kind, fixed);
  }
  value.clear();
  const auto piece_bytes = static_cast<SQLLEN>(piece.size());
  const SQLLEN room = RoomOf(kind, piece_bytes);
  for (;;) {
    const SQLRETURN got = RequireOdbcSuccess(
        SQLGetData(stmt.get(), number, CTypeOf(kind), piece.data(), piece_bytes, &indicator), stmt,
        "SQLGetData", /*no_data_ok=*/true);
    if (got == SQL_NO_DATA) break;
    if (indicator == SQL_NULL_DATA) return CellView{};
    if (indicator == SQL_NO_TOTAL || indicator > room) {
      value.append(piece.data(), static_cast<size_t>(room));
      continue;  // more to come
    }
    value.append(piece.data(), static_cast<size_t>(indicator));
    break;
  }
  return VariableView(kind, value, decoded);
}

struct Buffer {
  bool bound = false;
  SQLLEN width = 0;
  std::vector<char> data;
  std::vector<SQLLEN> indicators;
};

// Leaves the statement as plain as it was, whatever comes next on it (also after a failure).
struct Unbind {
  const OdbcHandle& stmt;
  ~Unbind() {
    OdbcSucceeded(SQLFreeStmt(stmt.get(), SQL_UNBIND));
    OdbcSucceeded(
        SQLSetStmtAttr(stmt.get(), SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0));
    OdbcSucceeded(SQLSetStmtAttr(stmt.get(), SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0));
    OdbcSucceeded(SQLSetStmtAttr(stmt.get(), SQL_ATTR_ROW_STATUS_PTR, nullptr, 0));
  }
};

// Bound buffers of rows values for every column that is not long (none unless bind_all).
std::vector<Buffer> BindColumns(const OdbcHandle& stmt, const std::vector<OdbcColumn>& columns,
                                SQLULEN rows, bool bind_all) {
  std::vector<Buffer> buffers(columns.size());
  for (size_t c = 0; c < columns.size(); ++c) {
    Buffer& b = buffers[c];
    b.bound = bind_all && !columns[c].long_data;
    if (!b.bound) continue;
    b.width = WidthOf(columns[c]);
    b.data.resize(static_cast<size_t>(b.width) * rows);
    b.indicators.resize(rows);
    RequireOdbcSuccess(
        SQLBindCol(stmt.get(), static_cast<SQLUSMALLINT>(c + 1), CTypeOf(columns[c].kind),
                   b.data.data(), b.width, b.indicators.data()),
        stmt, "SQLBindCol");
  }
  return buffers;
}

// Rows per fetch: an array when every value is sure to fit its bound buffer or a longer one can be
// read again from its row of the array, else one.
SQLULEN RowsPerFetch(const std::vector<OdbcColumn>& columns, const OdbcReadRules& rules) {
  size_t row_bytes = 0;
  for (const OdbcColumn& c : columns) {
    if (c.long_data) return 1;
    if (IsVariable(c.kind) && !rules.sizes_hold && !rules.get_data_in_arrays) return 1;
    row_bytes += static_cast<size_t>(WidthOf(c)) + sizeof(SQLLEN);
  }
  return std::clamp<SQLULEN>(kRowArrayBytes / std::max<size_t>(row_bytes, 1), 1, kMaxRowArray);
}

// Asks for rows per fetch; returns what the driver granted (1 when it refuses arrays).
SQLULEN SetRowArraySize(const OdbcHandle& stmt, SQLULEN rows) {
  SetStmtAttribute(stmt, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN));
  if (rows == 1) return 1;
  if (!OdbcSucceeded(SQLSetStmtAttr(stmt.get(), SQL_ATTR_ROW_ARRAY_SIZE,
                                    reinterpret_cast<SQLPOINTER>(rows), 0))) {
    return 1;
  }
  // The driver may have lowered the size ("option value changed").
  SQLULEN granted = rows;
  if (OdbcSucceeded(SQLGetStmtAttr(stmt.get(), SQL_ATTR_ROW_ARRAY_SIZE, &granted, 0, nullptr)) &&
      granted >= 1 && granted <= rows) {
    return granted;
  }
  return rows;
}

// Reads the cells of the fetched row array.
struct CellReader {
  const OdbcHandle& stmt;
  SQLULEN rows;
  bool long_values_again;  // a value longer than its buffer may be read again with SQLGetData
  std::vector<char> piece;

  // Cell number (from 1) of row r; value and decoded hold its bytes while the view is used.
  CellView Read(const OdbcColumn& column, SQLUSMALLINT number, const Buffer& b, SQLULEN r,
                std::string& value, std::string& decoded) {
    const OdbcKind kind = column.kind;
    if (!b.bound) return GetDataValue(stmt, number, kind, piece, value, decoded);
    const SQLLEN indicator = b.indicators[r];
    const char* data = b.data.data() + static_cast<size_t>(b.width) * r;
    if (indicator == SQL_NULL_DATA) return CellView{};
    if (!IsVariable(kind)) return FixedView(kind, data);
    if (indicator >= 0 && indicator <= RoomOf(kind, b.width)) {
      return VariableView(kind, std::string_view(data, static_cast<size_t>(indicator)), decoded);
    }
    if (!long_values_again) {
      throw DbError("Il driver ODBC ha restituito per la colonna " + column.name +
                        " un valore più lungo della dimensione dichiarata",
                    DbDiagnostic{});
    }
    // Longer than its column said: the whole value again, in pieces.
    if (rows > 1) {
      RequireOdbcSuccess(SQLSetPos(stmt.get(), static_cast<SQLSETPOSIROW>(r + 1), SQL_POSITION,
                                   SQL_LOCK_NO_CHANGE),
                         stmt, "SQLSetPos");
    }
    return GetDataValue(stmt, number, kind, piece, value, decoded);
  }
};

}  // namespace

std::vector<OdbcColumn> DescribeColumns(const OdbcHandle& stmt, SQLSMALLINT count) {
  std::vector<OdbcColumn> columns;
  for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(count); ++c) {
    std::vector<SQLCHAR> name(256);
    SQLSMALLINT name_length = 0;
    OdbcColumn column;
    SQLSMALLINT digits = 0;
    SQLSMALLINT nullable = 0;
    RequireOdbcSuccess(
        SQLDescribeCol(stmt.get(), c, name.data(), static_cast<SQLSMALLINT>(name.size()),
                       &name_length, &column.sql_type, &column.size, &digits, &nullable),
        stmt, "SQLDescribeCol");
    if (static_cast<size_t>(name_length) >= name.size()) {
      name.resize(static_cast<size_t>(name_length) + 1);
      RequireOdbcSuccess(
          SQLDescribeCol(stmt.get(), c, name.data(), static_cast<SQLSMALLINT>(name.size()),
                         &name_length, &column.sql_type, &column.size, &digits, &nullable),
          stmt, "SQLDescribeCol");
    }
    column.name.assign(reinterpret_cast<const char*>(name.data()),
                       std::min(static_cast<size_t>(name_length), name.size() - 1));
    SQLLEN is_unsigned = SQL_FALSE;
    if (column.sql_type == SQL_BIGINT) {
      OdbcSucceeded(
          SQLColAttribute(stmt.get(), c, SQL_DESC_UNSIGNED, nullptr, 0, nullptr, &is_unsigned));
    }
    column.kind = KindOf(column.sql_type, is_unsigned == SQL_TRUE);
    column.long_data =
        IsVariable(column.kind) && column.kind != OdbcKind::DateTime &&
        (column.sql_type == SQL_LONGVARCHAR || column.sql_type == SQL_WLONGVARCHAR ||
         column.sql_type == SQL_LONGVARBINARY || column.size == 0 || column.size > kMaxBoundChars);
    columns.push_back(std::move(column));
  }
  return columns;
}

std::vector<std::string> ColumnNames(const std::vector<OdbcColumn>& columns) {
  std::vector<std::string> names;
  names.reserve(columns.size());
  std::string decoded;
  for (const OdbcColumn& c : columns) names.emplace_back(Utf8OrWindows1252(c.name, decoded));
  return names;
}

OdbcReadRules ReadRulesOf(const OdbcHandle& dbc) {
  OdbcReadRules rules;
  SQLUINTEGER extensions = 0;
  if (OdbcSucceeded(
          SQLGetInfo(dbc.get(), SQL_GETDATA_EXTENSIONS, &extensions, sizeof extensions, nullptr))) {
    rules.get_data_on_bound =
        (extensions & SQL_GD_BOUND) != 0 && (extensions & SQL_GD_ANY_COLUMN) != 0;
  }
  SQLCHAR name[256] = {};
  if (OdbcSucceeded(SQLGetInfo(dbc.get(), SQL_DRIVER_NAME, name, sizeof name, nullptr))) {
    // MariaDB and SQL Server describe every expression with its largest size; psqlODBC (unbounded
    // texts reported at MaxVarcharSize) and SQLite (a size of its own choosing) do not.
    const std::string driver = AsciiLowerCase(reinterpret_cast<const char*>(name));
    rules.sizes_hold = driver.find("maodbc") != std::string::npos ||
                       driver.find("tdsodbc") != std::string::npos ||
                       driver.find("msodbcsql") != std::string::npos;
    rules.get_data_in_arrays =
        rules.get_data_on_bound && driver.find("psqlodbc") != std::string::npos;
  }
  return rules;
}

void FetchRows(const OdbcHandle& stmt, const std::vector<OdbcColumn>& columns,
               const OdbcReadRules& rules, const OdbcRowFn& row_fn) {
  const SQLULEN rows = SetRowArraySize(stmt, RowsPerFetch(columns, rules));
  Unbind unbind{stmt};
  SQLULEN fetched = 0;
  std::vector<SQLUSMALLINT> status(rows, SQL_ROW_SUCCESS);
  SetStmtAttribute(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched);
  if (rows > 1) SetStmtAttribute(stmt, SQL_ATTR_ROW_STATUS_PTR, status.data());
  // One row at a time, values that are not bound (or overflow their buffer) come from
  // SQLGetData; a driver that allows that only for unbound columns in order gets none bound.
  const bool bind_all = rows > 1 || rules.get_data_on_bound;

  const std::vector<Buffer> buffers = BindColumns(stmt, columns, rows, bind_all);

  CellReader reader{stmt, rows, rows == 1 || rules.get_data_in_arrays,
                    std::vector<char>(static_cast<size_t>(kPieceBytes))};
  std::vector<std::string> values(columns.size());
  std::vector<std::string> decoded(columns.size());
  std::vector<CellView> row(columns.size());
  for (;;) {
    fetched = 0;
    const SQLRETURN rc =
        RequireOdbcSuccess(SQLFetch(stmt.get()), stmt, "SQLFetch", /*no_data_ok=*/true);
    if (rc == SQL_NO_DATA) break;
    if (rows == 1) fetched = 1;  // drivers need not fill the count without an array
    for (SQLULEN r = 0; r < fetched; ++r) {
      if (status[r] == SQL_ROW_ERROR) {
        const OdbcDiagnostic d = FirstDiagnostic(stmt.type(), stmt.get());
        throw DbError(
            d.message.empty() ? "Errore ODBC nella lettura di una riga del risultato" : d.message,
            d.codes);
      }
      for (size_t c = 0; c < columns.size(); ++c) {
        row[c] = reader.Read(columns[c], static_cast<SQLUSMALLINT>(c + 1), buffers[c], r, values[c],
                             decoded[c]);
      }
      row_fn(row.data(), row.size());
    }
  }
}

}  // namespace panorello
