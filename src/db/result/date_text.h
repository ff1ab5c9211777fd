#pragma once
// Dates and times as database clients write them ("2024-03-05 14:30:00.250+01"): parsed as the
// dates of SQLite files are. Internal to src/db.
#include <string_view>

#include "db/result/result_grid.h"

namespace panorello {

// A Date, Time or DateTime cell; a text that is no date (a driver's own form, "n/d", bytes) stays
// a Text cell pointing at text. A time-zone offset after the time of day is dropped.
CellView DateTimeTextView(std::string_view text);

}  // namespace panorello
