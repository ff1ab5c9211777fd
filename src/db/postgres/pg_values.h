#pragma once
// PostgreSQL values in text form (libpq's default result format) as typed cells. Internal to
// src/db.
#include <cstdint>
#include <string>
#include <string_view>

#include "db/result/result_grid.h"

namespace panorello {

enum class PgKind : uint8_t {
  Text,
  Integer,
  Boolean,
  Single,
  Double,
  Decimal,
  Date,
  Time,
  Timestamp,
  Binary,
  Guid,  // uuid, in capitals as ODBC drivers give a GUID
};

// The kind of a column by its type's OID; types without a kind of their own come as text.
PgKind PgKindOf(unsigned int type_oid);

// The cell of one non-NULL value. Values of a kind that do not read as that kind (infinity, NaN,
// dates before Christ, ...) come as text. bytes receives the decoded bytes of a binary value or
// the capitals of a uuid; the cell's text may point into it.
CellView PgCell(PgKind kind, std::string_view text, std::string& bytes);

}  // namespace panorello
