#pragma once
// How SQLite values become cells: the declared column type decides between date-times,
// booleans and plain values. Internal to src/db.
#include <optional>
#include <string>
#include <string_view>

#include "db/result/result_grid.h"

struct sqlite3_stmt;

namespace panorello {

enum class SqliteColumnKind { Plain, DateTime, Boolean };

// DATE, TIME, DATETIME, TIMESTAMP (any declared type naming DATE or TIME) -> DateTime;
// BOOL, BOOLEAN, BIT -> Boolean; anything else, or no declared type -> Plain.
SqliteColumnKind SqliteKindOfDeclaredType(const char* declared);

struct IsoValue {
  CellType type = CellType::DateTime;  // DateTime, Date or Time
  DateTime value;
};

// "yyyy-mm-dd", "yyyy-mm-dd hh:nn[:ss[.fff]]" (or with "T"), "hh:nn[:ss[.fff]]"; a trailing "Z"
// is accepted. Fields out of range or anything else: nullopt.
std::optional<IsoValue> ParseIsoDateTime(std::string_view text);

// Column c of the current row of stmt; texts and blobs point into the statement (valid until the
// next step), a text that is not valid UTF-8 into storage (its Windows-1252 reading).
CellView SqliteCellView(sqlite3_stmt* stmt, int c, SqliteColumnKind kind, std::string& storage);

// Appends column c of the current row of stmt to grid.
void AddSqliteCell(ResultGrid& grid, sqlite3_stmt* stmt, int c, SqliteColumnKind kind);

}  // namespace panorello
