// Double and single cell texts follow the C library's %G conversion ("C" locale of the test
// program): 15 (or 7) significant digits, no trailing zeros, exponent form outside -5 < e < digits.
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

TEST(CellTextFloating, AgreesWithPercentGOnEdgesAndRandomValues) {
  RegionalSettings comma;
  comma.decimal_separator = ',';
  std::vector<double> values = {1.37, 0.1, 0.3, 1e15, 1e14, 999999999999999.0, 9999999999999999.0,
                                0.0001, 0.00001, 0.000123456789012345, 123456789012345.6,
                                1.0 / 3, 2.0 / 3, -2.5, -0.0, 5e-324, std::numeric_limits<double>::max(),
                                std::numeric_limits<double>::min(), 0.99999999999999994,
                                9.9999999999999995e-5, 1e100, 123.456e-10, 1e21, 4.35,
                                0.1 + 0.2, 1234567.125, 100.0, 1e-5 * 9.999999999999999};
  std::mt19937_64 random(20261206);
  std::uniform_int_distribution<uint64_t> bits;
  std::uniform_int_distribution<int> cents(0, 100000000);
  for (int i = 0; i < 200000; ++i) {
    const uint64_t b = bits(random);
    double v = 0;
    std::memcpy(&v, &b, sizeof v);
    if (std::isfinite(v)) values.push_back(v);
    values.push_back(std::round(cents(random) * 1.37) / 100);  // money-like values
    values.push_back(static_cast<double>(cents(random)) / 1000 * (i % 2 ? -1 : 1));
  }
  size_t failures = 0;
  for (double v : values) {
    for (const auto& [type, digits] : {std::pair{CellType::Double, 15}, std::pair{CellType::Single, 7}}) {
      CellView cell;
      cell.type = type;
      cell.real = type == CellType::Single ? static_cast<double>(static_cast<float>(v)) : v;
      if (!std::isfinite(cell.real)) continue;
      char buffer[64];
      std::snprintf(buffer, sizeof buffer, "%.*G", digits, cell.real);
      std::string want = std::strcmp(buffer, "-0") == 0 ? "0" : buffer;
      for (char& ch : want) ch = ch == '.' ? ',' : ch;
      std::string appended = "x";  // the appending form adds the same text
      AppendCellText(appended, cell, comma);
      const std::string got = CellText(cell, comma);
      if ((got != want || appended != "x" + want) && ++failures < 20) {
        ADD_FAILURE() << std::hexfloat << cell.real << ": " << got << " / " << appended << " != " << want;
      }
    }
  }
  EXPECT_EQ(failures, 0u);
}

}  // namespace
}  // namespace panorello
