#include "db/odbc_fetch.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

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
      return OdbcKind::Date;
    case SQL_TYPE_TIME:
    case SQL_TIME:
      return OdbcKind::Time;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
      return OdbcKind::Timestamp;
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
    case OdbcKind::Integer: return SQL_C_SBIGINT;
    case OdbcKind::Bit: return SQL_C_BIT;
    case OdbcKind::Single: return SQL_C_FLOAT;
    case OdbcKind::Double: return SQL_C_DOUBLE;
    case OdbcKind::Date: return SQL_C_TYPE_DATE;
    case OdbcKind::Time: return SQL_C_TYPE_TIME;
    case OdbcKind::Timestamp: return SQL_C_TYPE_TIMESTAMP;
    case OdbcKind::Binary: return SQL_C_BINARY;
    case OdbcKind::Decimal:
    case OdbcKind::Text: return SQL_C_CHAR;
  }
  return SQL_C_CHAR;
}

bool IsVariable(OdbcKind kind) {
  return kind == OdbcKind::Text || kind == OdbcKind::Decimal || kind == OdbcKind::Binary;
}

// Bound buffer width of one value.
SQLLEN WidthOf(const OdbcColumn& c) {
  switch (c.kind) {
    case OdbcKind::Integer: return sizeof(int64_t);
    case OdbcKind::Bit: return sizeof(unsigned char);
    case OdbcKind::Single: return sizeof(float);
    case OdbcKind::Double: return sizeof(double);
    case OdbcKind::Date: return sizeof(SQL_DATE_STRUCT);
    case OdbcKind::Time: return sizeof(SQL_TIME_STRUCT);
    case OdbcKind::Timestamp: return sizeof(SQL_TIMESTAMP_STRUCT);
    case OdbcKind::Binary: return static_cast<SQLLEN>(std::max<SQLULEN>(c.size, 16));
    case OdbcKind::Decimal: return static_cast<SQLLEN>(std::max<SQLULEN>(c.size + 4, 48));
    case OdbcKind::Text:
      // Up to four UTF-8 bytes per reported character, and the terminating zero.
      return static_cast<SQLLEN>(std::max<SQLULEN>(c.size * 4 + 1, 32));
  }
  return 32;
}

DateTimeValue FromDate(const SQL_DATE_STRUCT& d) {
  DateTimeValue v;
  v.year = static_cast<int16_t>(d.year);
  v.month = static_cast<int8_t>(d.month);
  v.day = static_cast<int8_t>(d.day);
  return v;
}

DateTimeValue FromTime(const SQL_TIME_STRUCT& t) {
  DateTimeValue v;
  v.hour = static_cast<int8_t>(t.hour);
  v.minute = static_cast<int8_t>(t.minute);
  v.second = static_cast<int8_t>(t.second);
  return v;
}

DateTimeValue FromTimestamp(const SQL_TIMESTAMP_STRUCT& t) {
  DateTimeValue v;
  v.year = static_cast<int16_t>(t.year);
  v.month = static_cast<int8_t>(t.month);
  v.day = static_cast<int8_t>(t.day);
  v.hour = static_cast<int8_t>(t.hour);
  v.minute = static_cast<int8_t>(t.minute);
  v.second = static_cast<int8_t>(t.second);
  return v;
}

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
    case OdbcKind::Date: {
      SQL_DATE_STRUCT v;
      std::memcpy(&v, data, sizeof v);
      cell.type = CellType::Date;
      cell.date_time = FromDate(v);
      break;
    }
    case OdbcKind::Time: {
      SQL_TIME_STRUCT v;
      std::memcpy(&v, data, sizeof v);
      cell.type = CellType::Time;
      cell.date_time = FromTime(v);
      break;
    }
    case OdbcKind::Timestamp: {
      SQL_TIMESTAMP_STRUCT v;
      std::memcpy(&v, data, sizeof v);
      cell.type = CellType::DateTime;
      cell.date_time = FromTimestamp(v);
      break;
    }
    case OdbcKind::Decimal:
    case OdbcKind::Text:
    case OdbcKind::Binary:
      break;
  }
  return cell;
}

// A text that is not valid UTF-8 is read as Windows-1252 into storage.
CellView VariableView(OdbcKind kind, std::string_view bytes, std::string& storage) {
  CellView cell;
  cell.type = kind == OdbcKind::Decimal  ? CellType::Decimal
              : kind == OdbcKind::Binary ? CellType::Binary
                                         : CellType::Text;
  cell.text = cell.type == CellType::Text ? Utf8OrWindows1252(bytes, storage) : bytes;
  return cell;
}

void SetStmtAttribute(const OdbcHandle& stmt, SQLINTEGER attribute, SQLPOINTER value) {
  Check(SQLSetStmtAttr(stmt.get(), attribute, value, 0), stmt, "SQLSetStmtAttr");
}

}  // namespace

OdbcHandle::OdbcHandle(SQLSMALLINT type, SQLHANDLE parent) : type_(type) {
  const SQLRETURN rc = SQLAllocHandle(type, parent, &handle_);
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
    handle_ = SQL_NULL_HANDLE;
    std::string message;
    if (parent != SQL_NULL_HANDLE) {
      SQLCHAR state[6];
      SQLINTEGER native = 0;
      SQLCHAR text[1024];
      SQLSMALLINT length = 0;
      const SQLSMALLINT parent_type = type == SQL_HANDLE_STMT ? SQL_HANDLE_DBC : SQL_HANDLE_ENV;
      if (SQL_SUCCEEDED(SQLGetDiagRec(parent_type, parent, 1, state, &native, text, sizeof text,
                                      &length))) {
        message = reinterpret_cast<const char*>(text);
      }
    }
    throw Error(message.empty() ? "Impossibile allocare un handle ODBC (driver manager non disponibile)"
                                : message);
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

std::string FirstDiagnostic(const OdbcHandle& handle) {
  if (handle.get() == SQL_NULL_HANDLE) return "";
  std::vector<SQLCHAR> text(1024);
  for (int attempt = 0; attempt < 2; ++attempt) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    const SQLRETURN rc = SQLGetDiagRec(handle.type(), handle.get(), 1, state, &native, text.data(),
                                       static_cast<SQLSMALLINT>(text.size()), &length);
    if (!SQL_SUCCEEDED(rc)) return "";
    if (static_cast<size_t>(length) < text.size()) {
      return std::string(reinterpret_cast<const char*>(text.data()), static_cast<size_t>(length));
    }
    text.resize(static_cast<size_t>(length) + 1);
  }
  return std::string(reinterpret_cast<const char*>(text.data()));
}

SQLRETURN Check(SQLRETURN rc, const OdbcHandle& handle, const char* call, bool no_data_ok) {
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) return rc;
  if (rc == SQL_NO_DATA && no_data_ok) return rc;
  std::string message = FirstDiagnostic(handle);
  if (message.empty()) {
    message = std::string("Errore ODBC in ") + call + " (codice " + std::to_string(rc) + ")";
  }
  throw Error(message);
}

bool CheckTolerant(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

std::vector<OdbcColumn> DescribeColumns(const OdbcHandle& stmt, SQLSMALLINT count) {
  std::vector<OdbcColumn> columns;
  for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(count); ++c) {
    std::vector<SQLCHAR> name(256);
    SQLSMALLINT name_length = 0;
    OdbcColumn column;
    SQLSMALLINT digits = 0;
    SQLSMALLINT nullable = 0;
    Check(SQLDescribeCol(stmt.get(), c, name.data(), static_cast<SQLSMALLINT>(name.size()),
                         &name_length, &column.sql_type, &column.size, &digits, &nullable),
          stmt, "SQLDescribeCol");
    if (static_cast<size_t>(name_length) >= name.size()) {
      name.resize(static_cast<size_t>(name_length) + 1);
      Check(SQLDescribeCol(stmt.get(), c, name.data(), static_cast<SQLSMALLINT>(name.size()),
                           &name_length, &column.sql_type, &column.size, &digits, &nullable),
            stmt, "SQLDescribeCol");
    }
    column.name.assign(reinterpret_cast<const char*>(name.data()),
                       std::min(static_cast<size_t>(name_length), name.size() - 1));
    SQLLEN is_unsigned = SQL_FALSE;
    if (column.sql_type == SQL_BIGINT) {
      CheckTolerant(SQLColAttribute(stmt.get(), c, SQL_DESC_UNSIGNED, nullptr, 0, nullptr,
                                    &is_unsigned));
    }
    column.kind = KindOf(column.sql_type, is_unsigned == SQL_TRUE);
    column.long_data = IsVariable(column.kind) &&
                       (column.sql_type == SQL_LONGVARCHAR || column.sql_type == SQL_WLONGVARCHAR ||
                        column.sql_type == SQL_LONGVARBINARY || column.size == 0 ||
                        column.size > kMaxBoundChars);
    columns.push_back(std::move(column));
  }
  return columns;
}

bool FetchRowArrays(const OdbcHandle& stmt, const std::vector<OdbcColumn>& columns,
                    const OdbcRowFn& row_fn) {
  size_t row_bytes = 0;
  for (const OdbcColumn& c : columns) row_bytes += static_cast<size_t>(WidthOf(c)) + sizeof(SQLLEN);
  SQLULEN rows = std::clamp<SQLULEN>(kRowArrayBytes / std::max<size_t>(row_bytes, 1), 1, kMaxRowArray);

  SetStmtAttribute(stmt, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN));
  Check(SQLSetStmtAttr(stmt.get(), SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(rows), 0),
        stmt, "SQLSetStmtAttr");
  // The driver may have lowered the size ("option value changed").
  SQLULEN granted = rows;
  if (CheckTolerant(SQLGetStmtAttr(stmt.get(), SQL_ATTR_ROW_ARRAY_SIZE, &granted, 0, nullptr)) &&
      granted >= 1 && granted <= rows) {
    rows = granted;
  }
  SQLULEN fetched = 0;
  SetStmtAttribute(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched);
  std::vector<SQLUSMALLINT> status(rows);
  SetStmtAttribute(stmt, SQL_ATTR_ROW_STATUS_PTR, status.data());

  struct Buffer {
    SQLLEN width;
    std::vector<char> data;
    std::vector<SQLLEN> indicators;
  };
  std::vector<Buffer> buffers(columns.size());
  for (size_t c = 0; c < columns.size(); ++c) {
    Buffer& b = buffers[c];
    b.width = WidthOf(columns[c]);
    b.data.resize(static_cast<size_t>(b.width) * rows);
    b.indicators.resize(rows);
    Check(SQLBindCol(stmt.get(), static_cast<SQLUSMALLINT>(c + 1), CTypeOf(columns[c].kind),
                     b.data.data(), b.width, b.indicators.data()),
          stmt, "SQLBindCol");
  }
  // Leave the statement as plain as it was, whatever comes next on it (also after a failure).
  struct Unbind {
    const OdbcHandle& stmt;
    ~Unbind() {
      CheckTolerant(SQLFreeStmt(stmt.get(), SQL_UNBIND));
      CheckTolerant(SQLSetStmtAttr(stmt.get(), SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0));
      CheckTolerant(SQLSetStmtAttr(stmt.get(), SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0));
      CheckTolerant(SQLSetStmtAttr(stmt.get(), SQL_ATTR_ROW_STATUS_PTR, nullptr, 0));
    }
  } unbind{stmt};

  std::vector<CellView> row(columns.size());
  std::vector<std::string> decoded(columns.size());
  for (;;) {
    fetched = 0;
    const SQLRETURN rc = Check(SQLFetch(stmt.get()), stmt, "SQLFetch", /*no_data_ok=*/true);
    if (rc == SQL_NO_DATA) break;
    // A value longer than its buffer anywhere in the array: nothing of the array is handed on.
    for (size_t c = 0; c < columns.size(); ++c) {
      if (!IsVariable(columns[c].kind)) continue;
      const SQLLEN room = columns[c].kind == OdbcKind::Binary ? buffers[c].width : buffers[c].width - 1;
      for (SQLULEN r = 0; r < fetched; ++r) {
        const SQLLEN indicator = buffers[c].indicators[r];
        if (indicator == SQL_NULL_DATA || status[r] == SQL_ROW_ERROR) continue;
        if (indicator == SQL_NO_TOTAL || indicator > room || indicator < 0) return false;
      }
    }
    for (SQLULEN r = 0; r < fetched; ++r) {
      if (status[r] == SQL_ROW_ERROR) {
        const std::string message = FirstDiagnostic(stmt);
        throw Error(message.empty() ? "Errore ODBC nella lettura di una riga del risultato" : message);
      }
      for (size_t c = 0; c < columns.size(); ++c) {
        const Buffer& b = buffers[c];
        const SQLLEN indicator = b.indicators[r];
        const char* data = b.data.data() + static_cast<size_t>(b.width) * r;
        if (indicator == SQL_NULL_DATA) {
          row[c] = CellView{};
        } else if (!IsVariable(columns[c].kind)) {
          row[c] = FixedView(columns[c].kind, data);
        } else {
          const std::string_view bytes(data, static_cast<size_t>(indicator));
          row[c] = VariableView(columns[c].kind, bytes, decoded[c]);
        }
      }
      row_fn(row.data(), row.size());
    }
  }
  return true;
}

void FetchValues(const OdbcHandle& stmt, const std::vector<OdbcColumn>& columns,
                 const OdbcRowFn& row_fn) {
  std::vector<char> piece(static_cast<size_t>(kPieceBytes));
  std::vector<std::string> values(columns.size());
  std::vector<std::string> decoded(columns.size());
  std::vector<CellView> row(columns.size());
  for (;;) {
    const SQLRETURN rc = Check(SQLFetch(stmt.get()), stmt, "SQLFetch", /*no_data_ok=*/true);
    if (rc == SQL_NO_DATA) break;
    for (size_t c = 0; c < columns.size(); ++c) {
      const OdbcKind kind = columns[c].kind;
      const auto number = static_cast<SQLUSMALLINT>(c + 1);
      SQLLEN indicator = 0;
      if (!IsVariable(kind)) {
        alignas(8) char fixed[sizeof(SQL_TIMESTAMP_STRUCT) + 8] = {};
        Check(SQLGetData(stmt.get(), number, CTypeOf(kind), fixed, sizeof fixed, &indicator), stmt,
              "SQLGetData");
        row[c] = indicator == SQL_NULL_DATA ? CellView{} : FixedView(kind, fixed);
        continue;
      }
      // Variable values in pieces until the driver says there is no more.
      const bool binary = kind == OdbcKind::Binary;
      std::string& value = values[c];
      value.clear();
      bool is_null = false;
      for (;;) {
        const SQLRETURN got = Check(SQLGetData(stmt.get(), number, CTypeOf(kind), piece.data(),
                                               kPieceBytes, &indicator),
                                    stmt, "SQLGetData", /*no_data_ok=*/true);
        if (got == SQL_NO_DATA) break;
        if (indicator == SQL_NULL_DATA) {
          is_null = true;
          break;
        }
        const SQLLEN room = binary ? kPieceBytes : kPieceBytes - 1;
        if (indicator == SQL_NO_TOTAL || indicator > room) {
          value.append(piece.data(), static_cast<size_t>(room));
          continue;  // more to come
        }
        value.append(piece.data(), static_cast<size_t>(indicator));
        break;
      }
      row[c] = is_null ? CellView{} : VariableView(kind, value, decoded[c]);
    }
    row_fn(row.data(), row.size());
  }
}

std::vector<std::string> ColumnNames(const std::vector<OdbcColumn>& columns) {
  std::vector<std::string> names;
  names.reserve(columns.size());
  std::string decoded;
  for (const OdbcColumn& c : columns) names.emplace_back(Utf8OrWindows1252(c.name, decoded));
  return names;
}

std::optional<ResultGrid> FetchAll(const OdbcHandle& stmt, const std::vector<OdbcColumn>& columns) {
  ResultGrid grid(ColumnNames(columns));
  const bool complete = FetchRowArrays(stmt, columns, [&grid](const CellView* cells, size_t count) {
    for (size_t c = 0; c < count; ++c) grid.Add(cells[c]);
  });
  if (!complete) return std::nullopt;
  return grid;
}

ResultGrid FetchByValue(const OdbcHandle& stmt, const std::vector<OdbcColumn>& columns) {
  ResultGrid grid(ColumnNames(columns));
  FetchValues(stmt, columns, [&grid](const CellView* cells, size_t count) {
    for (size_t c = 0; c < count; ++c) grid.Add(cells[c]);
  });
  return grid;
}

}  // namespace panorello
