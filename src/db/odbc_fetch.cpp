#include "db/odbc_fetch.h"

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

#include "util/error.h"

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

CellView VariableView(OdbcKind kind, std::string_view bytes) {
  CellView cell;
  cell.type = kind == OdbcKind::Decimal  ? CellType::Decimal
              : kind == OdbcKind::Binary ? CellType::Binary
                                         : CellType::Text;
  cell.text = bytes;
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

namespace {

// One row array as SQLFetch left it: how many rows, their status, the end or the failure.
struct RowArray {
  bool filled = false;
  bool end = false;
  SQLULEN fetched = 0;
  std::vector<SQLUSMALLINT> status;
  std::string row_error;  // the diagnostic when a row has SQL_ROW_ERROR
  std::exception_ptr error;
};

// Fetches the row arrays of a statement into two alternating buffer sets (the bind offset picks
// the set), on a thread of its own when the driver takes a bind offset, so that the driver and
// the server prepare the next rows while the caller handles the previous ones. Without the
// offset the arrays are fetched in turn, one set only, on the caller's thread.
class RowArrayFetcher {
 public:
  // probe: the indicator of row 0, column 0 in set 1, which tells whether the driver honours the
  // bind offset (a driver that ignored it would write set 0 while the caller reads it).
  RowArrayFetcher(const OdbcHandle& stmt, SQLULEN rows, size_t set_bytes, SQLLEN* probe)
      : stmt_(stmt), status_(rows), set_bytes_(set_bytes) {
    SetStmtAttribute(stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &fetched_);
    SetStmtAttribute(stmt_, SQL_ATTR_ROW_STATUS_PTR, status_.data());
    SQLPOINTER offset_ptr = nullptr;
    if (!CheckTolerant(SQLSetStmtAttr(stmt_.get(), SQL_ATTR_ROW_BIND_OFFSET_PTR, &offset_, 0)) ||
        !CheckTolerant(SQLGetStmtAttr(stmt_.get(), SQL_ATTR_ROW_BIND_OFFSET_PTR, &offset_ptr, 0,
                                      nullptr)) ||
        offset_ptr != &offset_) {
      return;  // one set, fetched in turn
    }
    constexpr SQLLEN kUntouched = -7777;
    *probe = kUntouched;
    RowArray first = Fetch(1);
    if (!first.end && !first.error && first.fetched > 0 && *probe == kUntouched) {
      // The rows went to set 0: the offset is ignored.
      offset_ = 0;
      pending_ = std::move(first);
      has_pending_ = true;
      return;
    }
    const bool last = first.end || first.error != nullptr;
    arrays_[1] = std::move(first);
    next_ = 1;
    threaded_ = true;
    if (!last) worker_ = std::thread([this] { Run(); });
  }
  ~RowArrayFetcher() {
    if (worker_.joinable()) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
      }
      changed_.notify_all();
      worker_.join();
    }
    CheckTolerant(SQLSetStmtAttr(stmt_.get(), SQL_ATTR_ROW_BIND_OFFSET_PTR, nullptr, 0));
  }
  RowArrayFetcher(const RowArrayFetcher&) = delete;
  RowArrayFetcher& operator=(const RowArrayFetcher&) = delete;

  // Which buffer set holds the next array, and the array; valid until Release.
  size_t NextSet() const { return next_; }
  const RowArray& Next() {
    if (!threaded_) {
      if (has_pending_) {
        arrays_[0] = std::move(pending_);
        has_pending_ = false;
      } else {
        arrays_[0] = Fetch(0);
      }
      return arrays_[0];
    }
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return arrays_[next_].filled; });
    return arrays_[next_];
  }
  void Release() {
    if (!threaded_) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      arrays_[next_].filled = false;
    }
    changed_.notify_all();
    next_ ^= 1;
  }

 private:
  RowArray Fetch(size_t set) {
    RowArray array;
    array.filled = true;
    try {
      offset_ = static_cast<SQLLEN>(set * set_bytes_);
      fetched_ = 0;
      const SQLRETURN rc = Check(SQLFetch(stmt_.get()), stmt_, "SQLFetch", /*no_data_ok=*/true);
      if (rc == SQL_NO_DATA) {
        array.end = true;
        return array;
      }
      array.fetched = std::min<SQLULEN>(fetched_, status_.size());
      array.status.assign(status_.begin(), status_.begin() + static_cast<std::ptrdiff_t>(array.fetched));
      for (SQLULEN r = 0; r < array.fetched; ++r) {
        if (array.status[r] == SQL_ROW_ERROR) {
          array.row_error = FirstDiagnostic(stmt_);
          break;
        }
      }
    } catch (...) {
      array.error = std::current_exception();
    }
    return array;
  }

  // Set 1 holds the first array already.
  void Run() {
    for (size_t set = 0;; set ^= 1) {
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this, set] { return stop_ || !arrays_[set].filled; });
        if (stop_) return;
      }
      RowArray array = Fetch(set);
      const bool last = array.end || array.error != nullptr;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        arrays_[set] = std::move(array);
      }
      changed_.notify_all();
      if (last) return;
    }
  }

  const OdbcHandle& stmt_;
  SQLULEN fetched_ = 0;              // written by the driver in SQLFetch
  std::vector<SQLUSMALLINT> status_;  // likewise
  SQLLEN offset_ = 0;                 // read by the driver in SQLFetch
  size_t set_bytes_;
  bool threaded_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  RowArray arrays_[2];
  bool stop_ = false;
  size_t next_ = 0;
  RowArray pending_;  // the first array when it turned out to be in set 0
  bool has_pending_ = false;
  std::thread worker_;
};

size_t Aligned(size_t n) { return (n + 15) & ~size_t{15}; }

}  // namespace

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

  // Two buffer sets in one block: set 1 lies set_bytes after set 0, for every column alike.
  struct Buffer {
    SQLLEN width;
    size_t data_at;
    size_t indicators_at;
  };
  std::vector<Buffer> buffers(columns.size());
  size_t set_bytes = 0;
  for (size_t c = 0; c < columns.size(); ++c) {
    Buffer& b = buffers[c];
    b.width = WidthOf(columns[c]);
    b.data_at = set_bytes;
    set_bytes += Aligned(static_cast<size_t>(b.width) * rows);
    b.indicators_at = set_bytes;
    set_bytes += Aligned(sizeof(SQLLEN) * rows);
  }
  std::vector<std::max_align_t> block((2 * set_bytes) / sizeof(std::max_align_t) + 1);
  char* const base = reinterpret_cast<char*>(block.data());
  for (size_t c = 0; c < columns.size(); ++c) {
    Check(SQLBindCol(stmt.get(), static_cast<SQLUSMALLINT>(c + 1), CTypeOf(columns[c].kind),
                     base + buffers[c].data_at, buffers[c].width,
                     reinterpret_cast<SQLLEN*>(base + buffers[c].indicators_at)),
          stmt, "SQLBindCol");
  }

  RowArrayFetcher fetcher(stmt, rows, set_bytes,
                          reinterpret_cast<SQLLEN*>(base + set_bytes + buffers[0].indicators_at));
  std::vector<CellView> row(columns.size());
  for (;;) {
    const RowArray& array = fetcher.Next();
    if (array.error) std::rethrow_exception(array.error);
    if (array.end) break;
    const char* const set = base + fetcher.NextSet() * set_bytes;
    const auto indicators = [set](const Buffer& b) {
      return reinterpret_cast<const SQLLEN*>(set + b.indicators_at);
    };
    // A value longer than its buffer anywhere in the array: nothing of the array is handed on.
    for (size_t c = 0; c < columns.size(); ++c) {
      if (!IsVariable(columns[c].kind)) continue;
      const SQLLEN room = columns[c].kind == OdbcKind::Binary ? buffers[c].width : buffers[c].width - 1;
      const SQLLEN* ind = indicators(buffers[c]);
      for (SQLULEN r = 0; r < array.fetched; ++r) {
        if (ind[r] == SQL_NULL_DATA || array.status[r] == SQL_ROW_ERROR) continue;
        if (ind[r] == SQL_NO_TOTAL || ind[r] > room || ind[r] < 0) return false;
      }
    }
    for (SQLULEN r = 0; r < array.fetched; ++r) {
      if (array.status[r] == SQL_ROW_ERROR) {
        throw Error(array.row_error.empty() ? "Errore ODBC nella lettura di una riga del risultato"
                                            : array.row_error);
      }
      for (size_t c = 0; c < columns.size(); ++c) {
        const Buffer& b = buffers[c];
        const SQLLEN indicator = indicators(b)[r];
        const char* data = set + b.data_at + static_cast<size_t>(b.width) * r;
        if (indicator == SQL_NULL_DATA) {
          row[c] = CellView{};
        } else if (!IsVariable(columns[c].kind)) {
          row[c] = FixedView(columns[c].kind, data);
        } else {
          row[c] = VariableView(columns[c].kind, std::string_view(data, static_cast<size_t>(indicator)));
        }
      }
      row_fn(row.data(), row.size());
    }
    fetcher.Release();
  }
  return true;
}

void FetchValues(const OdbcHandle& stmt, const std::vector<OdbcColumn>& columns,
                 const OdbcRowFn& row_fn) {
  std::vector<char> piece(static_cast<size_t>(kPieceBytes));
  std::vector<std::string> values(columns.size());
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
      row[c] = is_null ? CellView{} : VariableView(kind, value);
    }
    row_fn(row.data(), row.size());
  }
}

std::vector<std::string> ColumnNames(const std::vector<OdbcColumn>& columns) {
  std::vector<std::string> names;
  names.reserve(columns.size());
  for (const OdbcColumn& c : columns) names.push_back(c.name);
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
