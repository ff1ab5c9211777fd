#pragma once
// Cells and grids made from fuzz input, with the 32-bit and 64-bit extremes within easy reach.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "db/result/result_grid.h"
#include "util/text.h"

namespace panorello::fuzz {

inline int64_t Int64(FuzzedDataProvider& in) {
  static constexpr int64_t kExtremes[] = {std::numeric_limits<int64_t>::min(),
                                          std::numeric_limits<int64_t>::max(),
                                          std::numeric_limits<int32_t>::min(),
                                          std::numeric_limits<int32_t>::max(),
                                          int64_t{std::numeric_limits<int32_t>::min()} - 1,
                                          int64_t{std::numeric_limits<int32_t>::max()} + 1,
                                          std::numeric_limits<int16_t>::min(),
                                          std::numeric_limits<int16_t>::max(),
                                          std::numeric_limits<int8_t>::min(),
                                          std::numeric_limits<int8_t>::max(),
                                          -1,
                                          0,
                                          1};
  if (in.ConsumeBool()) return in.PickValueInArray(kExtremes);
  return in.ConsumeIntegral<int64_t>();
}

inline double Double(FuzzedDataProvider& in) {
  static constexpr double kExtremes[] = {std::numeric_limits<double>::max(),
                                         -std::numeric_limits<double>::max(),
                                         std::numeric_limits<double>::min(),
                                         std::numeric_limits<double>::denorm_min(),
                                         std::numeric_limits<double>::infinity(),
                                         -std::numeric_limits<double>::infinity(),
                                         std::numeric_limits<double>::quiet_NaN(),
                                         -0.0,
                                         1e15,
                                         1e-5,
                                         9.99999999999999e14,
                                         static_cast<double>(std::numeric_limits<int64_t>::max()),
                                         std::numeric_limits<float>::max()};
  if (in.ConsumeBool()) return in.PickValueInArray(kExtremes);
  return in.ConsumeFloatingPoint<double>();
}

// A text as the database engines hand it on: valid UTF-8.
inline std::string Text(FuzzedDataProvider& in, size_t max_length = 40) {
  std::string bytes = in.ConsumeRandomLengthString(max_length);
  std::string storage;
  return std::string(Utf8OrWindows1252(bytes, storage));
}

inline DateTime DateTimeOf(FuzzedDataProvider& in) {
  DateTime v;
  v.year = static_cast<int16_t>(Int64(in));
  v.month = static_cast<int8_t>(Int64(in));
  v.day = static_cast<int8_t>(Int64(in));
  v.hour = static_cast<int8_t>(Int64(in));
  v.minute = static_cast<int8_t>(Int64(in));
  v.second = static_cast<int8_t>(Int64(in));
  return v;
}

// Appends one cell of any type.
inline void AddCell(ResultGrid& grid, FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 10)) {
    case 0:
      grid.AddNull();
      break;
    case 1:
      grid.AddInteger(Int64(in));
      break;
    case 2:
      grid.AddDouble(Double(in));
      break;
    case 3:
      grid.AddSingle(static_cast<float>(Double(in)));
      break;
    case 4:
      grid.AddDecimal(Text(in, 30));
      break;  // digits as a driver writes them
    case 5:
      grid.AddText(Text(in));
      break;
    case 6:
      grid.AddDateTime(DateTimeOf(in));
      break;
    case 7:
      grid.AddDate(DateTimeOf(in));
      break;
    case 8:
      grid.AddTime(DateTimeOf(in));
      break;
    case 9:
      grid.AddBoolean(in.ConsumeBool());
      break;
    default:
      grid.AddBinary(in.ConsumeRandomLengthString(20));
      break;
  }
}

}  // namespace panorello::fuzz
