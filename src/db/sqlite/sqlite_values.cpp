#include "db/sqlite/sqlite_values.h"

#include <sqlite3.h>

#include <string>

#include "util/text.h"

namespace panorello {

namespace {

// Exactly n digits at text[pos]; advances pos.
bool Digits(std::string_view text, size_t& pos, size_t n, int& out) {
  if (pos + n > text.size()) return false;
  int v = 0;
  for (size_t i = 0; i < n; ++i) {
    const char ch = text[pos + i];
    if (ch < '0' || ch > '9') return false;
    v = v * 10 + (ch - '0');
  }
  out = v;
  pos += n;
  return true;
}

bool Literal(std::string_view text, size_t& pos, char ch) {
  if (pos < text.size() && text[pos] == ch) {
    ++pos;
    return true;
  }
  return false;
}

bool TimePart(std::string_view text, size_t& pos, DateTime& v) {
  int h = 0, m = 0, s = 0;
  if (!Digits(text, pos, 2, h) || !Literal(text, pos, ':') || !Digits(text, pos, 2, m)) {
    return false;
  }
  if (Literal(text, pos, ':')) {
    if (!Digits(text, pos, 2, s)) return false;
    if (Literal(text, pos, '.')) {
      const size_t start = pos;
      while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos;
      if (pos == start) return false;
    }
  }
  if (h > 23 || m > 59 || s > 59) return false;
  v.hour = static_cast<int8_t>(h);
  v.minute = static_cast<int8_t>(m);
  v.second = static_cast<int8_t>(s);
  return true;
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysIn(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

}  // namespace

SqliteColumnKind SqliteKindOfDeclaredType(const char* declared) {
  const std::string t = UpperCase(declared != nullptr ? declared : "");
  if (t.find("DATE") != std::string::npos || t.find("TIME") != std::string::npos) {
    return SqliteColumnKind::DateTime;
  }
  if (t.rfind("BOOL", 0) == 0 || t == "BIT") return SqliteColumnKind::Boolean;
  return SqliteColumnKind::Plain;
}

std::optional<IsoValue> ParseIsoDateTime(std::string_view text) {
  IsoValue result;
  size_t pos = 0;
  if (text.size() >= 5 && text[2] == ':') {
    if (!TimePart(text, pos, result.value)) return std::nullopt;
    result.type = CellType::Time;
  } else {
    int y = 0, m = 0, d = 0;
    if (!Digits(text, pos, 4, y) || !Literal(text, pos, '-') || !Digits(text, pos, 2, m) ||
        !Literal(text, pos, '-') || !Digits(text, pos, 2, d)) {
      return std::nullopt;
    }
    if (y < 1 || m < 1 || m > 12 || d < 1 || d > DaysIn(y, m)) return std::nullopt;
    result.value.year = static_cast<int16_t>(y);
    result.value.month = static_cast<int8_t>(m);
    result.value.day = static_cast<int8_t>(d);
    result.type = CellType::Date;
    if (pos < text.size() && (text[pos] == ' ' || text[pos] == 'T')) {
      ++pos;
      if (!TimePart(text, pos, result.value)) return std::nullopt;
      result.type = CellType::DateTime;
    }
  }
  Literal(text, pos, 'Z');
  if (pos != text.size()) return std::nullopt;
  return result;
}

CellView SqliteCellView(sqlite3_stmt* stmt, int c, SqliteColumnKind kind, std::string& storage) {
  CellView cell;
  switch (sqlite3_column_type(stmt, c)) {
    case SQLITE_NULL:
      return cell;
    case SQLITE_INTEGER:
      cell.integer = sqlite3_column_int64(stmt, c);
      if (kind == SqliteColumnKind::Boolean) {
        cell.type = CellType::Boolean;
        cell.integer = cell.integer != 0 ? 1 : 0;
      } else {
        cell.type = CellType::Integer;
      }
      return cell;
    case SQLITE_FLOAT:
      cell.type = CellType::Double;
      cell.real = sqlite3_column_double(stmt, c);
      return cell;
    case SQLITE_BLOB: {
      const void* data = sqlite3_column_blob(stmt, c);
      const int size = sqlite3_column_bytes(stmt, c);
      cell.type = CellType::Binary;
      cell.text = size > 0
                      ? std::string_view(static_cast<const char*>(data), static_cast<size_t>(size))
                      : std::string_view();
      return cell;
    }
    default: {
      const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
      const int size = sqlite3_column_bytes(stmt, c);
      const std::string_view text(data != nullptr ? data : "", static_cast<size_t>(size));
      if (kind == SqliteColumnKind::DateTime) {
        if (const auto iso = ParseIsoDateTime(text)) {
          cell.type = iso->type;
          cell.date_time = iso->value;
          return cell;
        }
      } else if (kind == SqliteColumnKind::Boolean) {
        // Compared as a C string: the text up to a NUL byte.
        const std::string upper = UpperCase(text.substr(0, text.find('\0')));
        if (upper == "TRUE" || upper == "1" || upper == "FALSE" || upper == "0") {
          cell.type = CellType::Boolean;
          cell.integer = upper == "TRUE" || upper == "1" ? 1 : 0;
          return cell;
        }
      }
      cell.type = CellType::Text;
      cell.text = Utf8OrWindows1252(text, storage);
      return cell;
    }
  }
}

void AddSqliteCell(ResultGrid& grid, sqlite3_stmt* stmt, int c, SqliteColumnKind kind) {
  std::string storage;
  grid.Add(SqliteCellView(stmt, c, kind, storage));
}

}  // namespace panorello
