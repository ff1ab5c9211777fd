// Cell texts and time stamps: every cell type with every 32-bit and 64-bit extreme, the regional
// date patterns, the date arithmetic and the ISO texts of SQLite.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <limits>
#include <string>

#include "db/result/result_grid.h"
#include "db/sqlite/sqlite_values.h"
#include "fuzz_support.h"
#include "grid_input.h"
#include "util/clock.h"
#include "util/regional.h"
#include "util/text.h"

using panorello::fuzz::Require;

namespace panorello {
namespace {

int Int32(FuzzedDataProvider& in) {
  return static_cast<int>(std::clamp<int64_t>(fuzz::Int64(in), std::numeric_limits<int>::min(),
                                              std::numeric_limits<int>::max()));
}

void CheckCells(FuzzedDataProvider& in) {
  RegionalSettings regional;
  regional.decimal_separator = in.ConsumeBool() ? ',' : '.';
  regional.short_date = ShortDatePatternFromDateFormat(in.ConsumeRandomLengthString(12));
  ResultGrid grid({"a"});
  for (int i = 0; i < 8 && in.remaining_bytes() > 0; ++i) fuzz::AddCell(grid, in);
  for (size_t r = 0; r < grid.Rows(); ++r) {
    const CellView cell = grid.At(r, 0);
    const std::string text = CellText(cell, regional);
    Require(IsValidUtf8(text), "a cell text is UTF-8", text);
    IsNumericCell(cell, regional, nullptr);
  }
}

void CheckTimes(FuzzedDataProvider& in) {
  DateTime t{Int32(in), Int32(in), Int32(in), Int32(in), Int32(in), Int32(in)};
  const std::string stamp = FormatTimestamp(t);
  Require(stamp.size() >= 19 && stamp.size() <= 27, "a time stamp has its fixed fields", stamp);
  // Days and back, for every date a 32-bit year and day count reach.
  const int days = Int32(in);
  const DateTime later = AddDays(t, days);
  if (t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 28 && t.year > -5000000 &&
      t.year < 5000000 && days > -1000000000 && days < 1000000000) {
    Require(AddDays(later, -days) == t, "adding days and taking them away gives the date back");
  }
  const std::string iso = in.ConsumeRandomLengthString(30);
  if (const auto parsed = ParseIsoDateTime(iso)) {
    Require(parsed->value.month >= 0 && parsed->value.month <= 12, "ISO month in range", iso);
  }
}

}  // namespace
}  // namespace panorello

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  panorello::CheckTimes(in);
  panorello::CheckCells(in);
  return 0;
}
