// The double and single formats of cell texts against the C library's %G conversion (in the "C"
// locale of the test program), which is the rule they follow: 15 (or 7) significant digits, no
// trailing zeros, the exponent form outside -5 < e < digits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "db/result_grid.h"

namespace panorello {
namespace {

std::string Reference(double v, int digits, char separator) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*G", digits, v);
  std::string out = buffer;
  for (char& ch : out) {
    if (ch == '.') ch = separator;
  }
  if (out == "-0") out = "0";
  return out;
}

CellView Real(CellType type, double v) {
  CellView cell;
  cell.type = type;
  cell.real = v;
  return cell;
}

TEST(CellTextFloating, AgreesWithPercentGOnEdgesAndRandomValues) {
  RegionalSettings comma;
  comma.decimal_separator = ',';
  std::vector<double> values = {1.37, 0.1, 0.3, 1e15, 1e14, 999999999999999.0, 9999999999999999.0,
                                0.0001, 0.00001, 0.000123456789012345, 123456789012345.6,
                                1.0 / 3, 2.0 / 3, -2.5, 5e-324, std::numeric_limits<double>::max(),
                                std::numeric_limits<double>::min(), 0.99999999999999994,
                                9.9999999999999995e-5, 1e100, 123.456e-10, 1e21, 4.35,
                                0.1 + 0.2, 1234567.125, 100.0, 1e-5 * 9.999999999999999};
  std::mt19937_64 random(20261206);
  std::uniform_int_distribution<uint64_t> bits;
  std::uniform_int_distribution<int> cents(0, 100000000);
  for (int i = 0; i < 200000; ++i) {
    uint64_t b = bits(random);
    double v = 0;
    std::memcpy(&v, &b, sizeof v);
    if (std::isfinite(v)) values.push_back(v);
    values.push_back(std::round(cents(random) * 1.37) / 100);  // money-like values
    values.push_back(static_cast<double>(cents(random)) / 1000 * (i % 2 ? -1 : 1));
  }
  size_t failures = 0;
  for (double v : values) {
    for (const auto& [type, digits] : {std::pair{CellType::Double, 15}, std::pair{CellType::Single, 7}}) {
      const double value = type == CellType::Single ? static_cast<double>(static_cast<float>(v)) : v;
      if (!std::isfinite(value)) continue;
      const std::string got = CellText(Real(type, value), comma);
      const std::string want = Reference(value, digits, ',');
      if (got != want && ++failures < 20) {
        ADD_FAILURE() << std::hexfloat << value << ": " << got << " != " << want;
      }
      // The appending form adds the same text after what is there.
      std::string appended = "x";
      AppendCellText(appended, Real(type, value), comma);
      if (appended != "x" + want && ++failures < 20) ADD_FAILURE() << appended;
    }
  }
  EXPECT_EQ(failures, 0u);
}

}  // namespace
}  // namespace panorello
