#include "db/result/result_grid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace panorello {
namespace {

RegionalSettings Regional(char separator, const char* dates = "dd/mm/yyyy") {
  RegionalSettings r;
  r.decimal_separator = separator;
  r.short_date = dates;
  return r;
}
const RegionalSettings kPlain;

CellView IntegerCell(int64_t v) { return {CellType::Integer, v, 0, {}, {}}; }
CellView DoubleCell(double v) { return {CellType::Double, 0, v, {}, {}}; }
CellView SingleCell(float v) { return {CellType::Single, 0, v, {}, {}}; }
CellView TextCell(std::string_view t, CellType type = CellType::Text) {
  return {type, 0, 0, t, {}};
}
CellView DateCell(CellType type, DateTime v) { return {type, 0, 0, {}, v}; }
CellView BooleanCell(bool v) { return {CellType::Boolean, v, 0, {}, {}}; }

// Every type through the grid is read back end to end in the SQLite and server tests; here the
// edges: extreme integers, bytes with NUL, the incomplete row, reads outside the grid.
TEST(ResultGrid, EdgesOfStorage) {
  ResultGrid grid({"a", "b"});
  const std::string bytes("\x00\xff", 2);
  grid.AddInteger(std::numeric_limits<int64_t>::min());
  grid.AddBinary(bytes);
  grid.AddSingle(0.5f);
  grid.AddDate(DateTime{1, 1, 1, 0, 0, 0});
  grid.AddInteger(5);  // an incomplete row is not counted
  ASSERT_EQ(grid.Rows(), 2u);
  EXPECT_EQ(grid.At(0, 0).integer, std::numeric_limits<int64_t>::min());
  EXPECT_TRUE(grid.At(0, 1).type == CellType::Binary && grid.At(0, 1).text == bytes);
  EXPECT_TRUE(grid.At(1, 0).type == CellType::Single && grid.At(1, 0).real == 0.5);
  EXPECT_TRUE(grid.At(1, 1).type == CellType::Date &&
              grid.At(1, 1).date_time == (DateTime{1, 1, 1, 0, 0, 0}));
  EXPECT_THROW(grid.At(2, 0), std::out_of_range);
  EXPECT_THROW(grid.At(0, 2), std::out_of_range);
}

TEST(ResultGrid, StaysCompactAndCopiesAreIndependentAcrossBlocksAndChunks) {
  ResultGrid grid({"n", "t", "d", "w"});
  const size_t rows = 100000;
  const std::string big(3 << 20, 'z');  // larger than one text chunk
  double text_bytes = 0;
  for (size_t r = 0; r < rows; ++r) {
    const std::string text = r == 20000 ? big : "riga " + std::to_string(r);
    text_bytes += static_cast<double>(text.size());
    grid.AddInteger(static_cast<int64_t>(r));
    grid.AddText(text);
    grid.AddDouble(1.5);
    grid.AddDateTime(DateTime{2024, 1, 2, 3, 4, 5});
  }
  EXPECT_LT((static_cast<double>(grid.MemoryBytes()) - text_bytes) / (rows * 4.0), 16.0);
  ResultGrid copy = grid;
  ResultGrid moved = std::move(grid);
  ASSERT_EQ(moved.Rows(), rows);
  for (size_t r : {0, 16383, 16384, 19999, 20001, 99999}) {
    EXPECT_EQ(copy.At(r, 0).integer, static_cast<int64_t>(r));
    EXPECT_EQ(copy.At(r, 1).text, "riga " + std::to_string(r));
    EXPECT_EQ(moved.At(r, 1).text, copy.At(r, 1).text);
  }
  EXPECT_TRUE(copy.At(20000, 1).text == big);
  EXPECT_NE(copy.At(20000, 1).text.data(), moved.At(20000, 1).text.data());
}

TEST(CellText, EveryTypeWithTheRegionalSettings) {
  const RegionalSettings it = Regional(','), us = Regional('.', "mm/dd/yyyy"),
                         iso = Regional('.', "yyyy-mm-dd");
  const struct {
    CellView cell;
    const RegionalSettings& regional;
    std::string expected;
  } cases[] = {
      {CellView{}, kPlain, ""},
      {TextCell(""), kPlain, ""},
      {IntegerCell(0), kPlain, "0"},
      {IntegerCell(std::numeric_limits<int64_t>::min()), kPlain, "-9223372036854775808"},
      // Decimals: exact digits, trailing zeros dropped.
      {TextCell("-123.4500", CellType::Decimal), it, "-123,45"},
      {TextCell("100.000", CellType::Decimal), kPlain, "100"},
      {TextCell("-.50", CellType::Decimal), it, "-0,5"},
      {TextCell("12345678901234567890.123456789", CellType::Decimal), kPlain,
       "12345678901234567890.123456789"},
      // Dates: midnight shows the date alone.
      {DateCell(CellType::DateTime, {2024, 3, 5, 14, 30, 0}), it, "05/03/2024 14:30:00"},
      {DateCell(CellType::DateTime, {2024, 3, 5, 0, 0, 0}), it, "05/03/2024"},
      {DateCell(CellType::DateTime, {2024, 3, 5, 0, 0, 1}), us, "03/05/2024 00:00:01"},
      {DateCell(CellType::DateTime, {987, 12, 31, 9, 5, 7}), iso, "0987-12-31 09:05:07"},
      {DateCell(CellType::Time, {0, 0, 0, 23, 9, 59}), kPlain, "23:09:59"},
      {BooleanCell(true), it, "True"},
      {TextCell(std::string_view("\x00\x1f\xab", 3), CellType::Binary), kPlain, "001FAB"},
  };
  for (const auto& c : cases) EXPECT_EQ(CellText(c.cell, c.regional), c.expected);
}

// Double and single cell texts follow the C library's %G conversion ("C" locale of the test
// program): 15 (or 7) significant digits, no trailing zeros, exponent form outside -5 < e < digits.
TEST(CellTextFloating, AgreesWithPercentGOnEdgesAndRandomValues) {
  RegionalSettings comma;
  comma.decimal_separator = ',';
  std::vector<double> values = {1e15,
                                999999999999999.0,
                                0.0001,
                                0.00001,
                                -0.0,
                                5e-324,
                                std::numeric_limits<double>::max(),
                                0.99999999999999994,
                                9.9999999999999995e-5};
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
    for (const auto& [type, digits] :
         {std::pair{CellType::Double, 15}, std::pair{CellType::Single, 7}}) {
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
        ADD_FAILURE() << std::hexfloat << cell.real << ": " << got << " / " << appended
                      << " != " << want;
      }
    }
  }
  EXPECT_EQ(failures, 0u);
}

TEST(IsNumericCell, NumbersAndTextsThatReadWholeAsNumbers) {
  const RegionalSettings it = Regional(',');
  const double nan = std::nan("");
  const struct {
    CellView cell;
    const RegionalSettings& regional;
    double value;  // nan: not numeric
  } cases[] = {
      {TextCell("   "), kPlain, nan},
      {IntegerCell(42), kPlain, 42},
      {DoubleCell(nan), kPlain, nan},
      {SingleCell(0.25f), kPlain, 0.25},
      {TextCell("12.50", CellType::Decimal), it, 12.5},
      {TextCell("1234,5"), it, 1234.5},
      {TextCell("1234.5"), it, nan},
      {TextCell("  -7  "), kPlain, -7},
      {TextCell("\t+3,25 "), it, 3.25},
      {TextCell(",5"), it, 0.5},
      {TextCell("1,5E3"), it, 1500},
      {TextCell("1e999"), kPlain, nan},
      {BooleanCell(true), kPlain, nan},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(CellText(c.cell, kPlain));
    double value = -999;
    EXPECT_EQ(IsNumericCell(c.cell, c.regional, &value), !std::isnan(c.value));
    EXPECT_DOUBLE_EQ(value, std::isnan(c.value) ? -999 : c.value);
  }
}

}  // namespace
}  // namespace panorello
