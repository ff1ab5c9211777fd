#include "db/result_grid.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace panorello {
namespace {

RegionalSettings Italian() {
  RegionalSettings r;
  r.decimal_separator = ',';
  r.short_date = "dd/mm/yyyy";
  return r;
}

RegionalSettings Plain() { return RegionalSettings{}; }

CellView Number(double v) {
  CellView c;
  c.type = CellType::Double;
  c.real = v;
  return c;
}

CellView SingleNumber(float v) {
  CellView c;
  c.type = CellType::Single;
  c.real = v;
  return c;
}

CellView TextCell(std::string_view t, CellType type = CellType::Text) {
  CellView c;
  c.type = type;
  c.text = t;
  return c;
}

TEST(ResultGrid, StoresEveryTypeAndReadsItBack) {
  ResultGrid grid({"a", "b", "c"});
  const DateTimeValue when{2024, 2, 29, 23, 59, 58};
  grid.AddInteger(std::numeric_limits<int64_t>::min());
  grid.AddText("città");
  grid.AddNull();
  grid.AddDouble(-1.25);
  grid.AddSingle(0.5f);
  grid.AddDecimal("12.340");
  grid.AddDateTime(when);
  grid.AddDate(DateTimeValue{1, 1, 1, 0, 0, 0});
  grid.AddTime(DateTimeValue{0, 0, 0, 7, 8, 9});
  grid.AddBoolean(true);
  grid.AddBinary(std::string("\x00\xff", 2));
  grid.AddText("");
  ASSERT_EQ(grid.Rows(), 4u);
  ASSERT_EQ(grid.Cols(), 3u);
  EXPECT_EQ(grid.ColumnName(1), "b");
  EXPECT_EQ(grid.At(0, 0).type, CellType::Integer);
  EXPECT_EQ(grid.At(0, 0).integer, std::numeric_limits<int64_t>::min());
  EXPECT_EQ(grid.At(0, 1).text, "città");
  EXPECT_EQ(grid.At(0, 2).type, CellType::Null);
  EXPECT_EQ(grid.At(1, 0).real, -1.25);
  EXPECT_EQ(grid.At(1, 1).type, CellType::Single);
  EXPECT_EQ(grid.At(1, 1).real, 0.5);
  EXPECT_EQ(grid.At(1, 2).text, "12.340");
  EXPECT_EQ(grid.At(2, 0).date_time, when);
  EXPECT_EQ(grid.At(2, 1).type, CellType::Date);
  EXPECT_EQ(grid.At(2, 1).date_time.year, 1);
  EXPECT_EQ(grid.At(2, 2).date_time.second, 9);
  EXPECT_EQ(grid.At(3, 0).integer, 1);
  EXPECT_EQ(grid.At(3, 1).text, std::string_view("\x00\xff", 2));
  EXPECT_EQ(grid.At(3, 2).type, CellType::Text);
  EXPECT_EQ(grid.At(3, 2).text, "");
  EXPECT_THROW(grid.At(4, 0), std::out_of_range);
  EXPECT_THROW(grid.At(0, 3), std::out_of_range);
}

TEST(ResultGrid, CopiesAreIndependentAcrossBlocksAndChunks) {
  ResultGrid grid({"n", "t"});
  const std::string big(3 << 20, 'z');  // larger than one text chunk
  for (int r = 0; r < 40000; ++r) {
    grid.AddInteger(r);
    if (r == 20000) {
      grid.AddText(big);
    } else {
      grid.AddText("riga " + std::to_string(r));
    }
  }
  ResultGrid copy = grid;
  ResultGrid moved = std::move(grid);
  ASSERT_EQ(copy.Rows(), 40000u);
  ASSERT_EQ(moved.Rows(), 40000u);
  for (size_t r : {size_t{0}, size_t{16383}, size_t{16384}, size_t{19999}, size_t{20001}, size_t{39999}}) {
    EXPECT_EQ(copy.At(r, 0).integer, static_cast<int64_t>(r));
    EXPECT_EQ(copy.At(r, 1).text, "riga " + std::to_string(r));
    EXPECT_EQ(moved.At(r, 1).text, copy.At(r, 1).text);
  }
  EXPECT_EQ(copy.At(20000, 1).text, big);
  EXPECT_NE(copy.At(20000, 1).text.data(), moved.At(20000, 1).text.data());
}

TEST(ResultGrid, IncompleteRowIsNotCounted) {
  ResultGrid grid({"a", "b"});
  grid.AddInteger(1);
  EXPECT_EQ(grid.Rows(), 0u);
  grid.AddInteger(2);
  EXPECT_EQ(grid.Rows(), 1u);
}

TEST(ResultGrid, StaysCompact) {
  ResultGrid grid({"i", "t", "d", "w", "x"});
  const size_t rows = 100000;
  grid.Reserve(rows);
  size_t text_bytes = 0;
  for (size_t r = 0; r < rows; ++r) {
    grid.AddInteger(static_cast<int64_t>(r));
    grid.AddText("customer");
    grid.AddDouble(1.5);
    grid.AddDateTime(DateTimeValue{2024, 1, 2, 3, 4, 5});
    grid.AddText("x");
    text_bytes += 9;
  }
  const double per_cell = static_cast<double>(grid.MemoryBytes() - text_bytes) / (rows * 5.0);
  EXPECT_LT(per_cell, 16.0);
}

struct TextCase {
  CellView cell;
  RegionalSettings regional;
  std::string expected;
};

class CellTextCases : public ::testing::TestWithParam<TextCase> {};

TEST_P(CellTextCases, Converts) {
  EXPECT_EQ(CellText(GetParam().cell, GetParam().regional), GetParam().expected);
}

CellView IntegerCell(int64_t v) {
  CellView c;
  c.type = CellType::Integer;
  c.integer = v;
  return c;
}

CellView DateCell(CellType type, DateTimeValue v) {
  CellView c;
  c.type = type;
  c.date_time = v;
  return c;
}

CellView BooleanCell(bool v) {
  CellView c;
  c.type = CellType::Boolean;
  c.integer = v ? 1 : 0;
  return c;
}

RegionalSettings UsDates() {
  RegionalSettings r;
  r.short_date = "mm/dd/yyyy";
  return r;
}

RegionalSettings IsoDates() {
  RegionalSettings r;
  r.short_date = "yyyy-mm-dd";
  return r;
}

INSTANTIATE_TEST_SUITE_P(
    All, CellTextCases,
    ::testing::Values(
        TextCase{CellView{}, Plain(), ""},
        TextCase{TextCell("a;b \xC3\xA8"), Italian(), "a;b \xC3\xA8"},
        TextCase{TextCell(""), Plain(), ""},
        TextCase{IntegerCell(0), Plain(), "0"},
        TextCase{IntegerCell(-9223372036854775807LL - 1), Plain(), "-9223372036854775808"},
        TextCase{IntegerCell(1234567890123), Italian(), "1234567890123"},
        TextCase{Number(1234.5), Italian(), "1234,5"},
        TextCase{Number(1234.5), Plain(), "1234.5"},
        TextCase{Number(0.1), Plain(), "0.1"},
        TextCase{Number(0.1 + 0.2), Plain(), "0.3"},
        TextCase{Number(1.0 / 3.0), Plain(), "0.333333333333333"},
        TextCase{Number(2.0 / 3.0), Plain(), "0.666666666666667"},
        TextCase{Number(100000000000000.0), Plain(), "100000000000000"},
        TextCase{Number(999999999999999.0), Plain(), "999999999999999"},
        TextCase{Number(1e15), Plain(), "1E+15"},
        TextCase{Number(9999999999999999.0), Plain(), "1E+16"},
        TextCase{Number(1e20), Plain(), "1E+20"},
        TextCase{Number(-1.5e100), Italian(), "-1,5E+100"},
        TextCase{Number(123456789012345678.0), Plain(), "1.23456789012346E+17"},
        TextCase{Number(0.0001), Plain(), "0.0001"},
        TextCase{Number(0.00012345), Italian(), "0,00012345"},
        TextCase{Number(0.00001), Plain(), "1E-05"},
        TextCase{Number(-0.000015), Italian(), "-1,5E-05"},
        TextCase{Number(1e-300), Plain(), "1E-300"},
        TextCase{Number(-0.0), Plain(), "0"},
        TextCase{Number(12400), Plain(), "12400"},
        TextCase{Number(-7), Plain(), "-7"},
        TextCase{SingleNumber(0.1f), Plain(), "0.1"},
        TextCase{SingleNumber(3.14159274f), Italian(), "3,141593"},
        TextCase{SingleNumber(1234567.0f), Plain(), "1234567"},
        TextCase{SingleNumber(10000000.0f), Plain(), "1E+07"},
        TextCase{TextCell("-123.4500", CellType::Decimal), Italian(), "-123,45"},
        TextCase{TextCell("100.000", CellType::Decimal), Plain(), "100"},
        TextCase{TextCell("100", CellType::Decimal), Plain(), "100"},
        TextCase{TextCell(".50", CellType::Decimal), Plain(), "0.5"},
        TextCase{TextCell("-.50", CellType::Decimal), Italian(), "-0,5"},
        TextCase{TextCell("-0.000", CellType::Decimal), Plain(), "0"},
        TextCase{TextCell("12345678901234567890.123456789", CellType::Decimal), Plain(),
                 "12345678901234567890.123456789"},
        TextCase{DateCell(CellType::DateTime, {2024, 3, 5, 14, 30, 0}), Italian(),
                 "05/03/2024 14:30:00"},
        TextCase{DateCell(CellType::DateTime, {2024, 3, 5, 0, 0, 0}), Italian(), "05/03/2024"},
        TextCase{DateCell(CellType::DateTime, {2024, 3, 5, 0, 0, 1}), UsDates(),
                 "03/05/2024 00:00:01"},
        TextCase{DateCell(CellType::DateTime, {987, 12, 31, 9, 5, 7}), IsoDates(),
                 "0987-12-31 09:05:07"},
        TextCase{DateCell(CellType::Date, {2024, 12, 1, 0, 0, 0}), Italian(), "01/12/2024"},
        TextCase{DateCell(CellType::Time, {0, 0, 0, 0, 0, 0}), Plain(), "00:00:00"},
        TextCase{DateCell(CellType::Time, {0, 0, 0, 23, 9, 59}), Plain(), "23:09:59"},
        TextCase{BooleanCell(true), Italian(), "True"},
        TextCase{BooleanCell(false), Italian(), "False"},
        TextCase{TextCell(std::string_view("\x00\x1f\xab", 3), CellType::Binary), Plain(),
                 "001FAB"}));

TEST(CellText, EveryDoubleWithFifteenDigitsRoundTrips) {
  // Values written with at most 15 significant digits come back as the same text.
  const char* texts[] = {"1234.5", "0.1", "3.14159265358979", "123456789012345", "0.000123",
                         "98765.4321", "1.5E+300", "2.5E-10"};
  for (const char* t : texts) {
    double v = 0;
    std::string s(t);
    std::from_chars(s.data(), s.data() + s.size(), v);
    EXPECT_EQ(CellText(Number(v), Plain()), s) << t;
  }
}

struct NumericCase {
  CellView cell;
  RegionalSettings regional;
  bool numeric;
  double value;
};

class NumericCases : public ::testing::TestWithParam<NumericCase> {};

TEST_P(NumericCases, Decides) {
  const NumericCase& c = GetParam();
  double value = -999;
  EXPECT_EQ(IsNumericCell(c.cell, c.regional, &value), c.numeric);
  if (c.numeric) {
    EXPECT_DOUBLE_EQ(value, c.value);
  } else {
    EXPECT_EQ(value, -999);
  }
}

INSTANTIATE_TEST_SUITE_P(
    All, NumericCases,
    ::testing::Values(
        NumericCase{CellView{}, Plain(), false, 0},
        NumericCase{TextCell(""), Plain(), false, 0},
        NumericCase{TextCell("   "), Plain(), false, 0},
        NumericCase{IntegerCell(42), Plain(), true, 42},
        NumericCase{Number(1.5), Plain(), true, 1.5},
        NumericCase{Number(std::numeric_limits<double>::infinity()), Plain(), false, 0},
        NumericCase{Number(std::nan("")), Plain(), false, 0},
        NumericCase{SingleNumber(0.25f), Plain(), true, 0.25},
        NumericCase{TextCell("12.50", CellType::Decimal), Italian(), true, 12.5},
        NumericCase{TextCell("1234,5"), Italian(), true, 1234.5},
        NumericCase{TextCell("1234.5"), Italian(), false, 0},
        NumericCase{TextCell("1234.5"), Plain(), true, 1234.5},
        NumericCase{TextCell("1234,5"), Plain(), false, 0},
        NumericCase{TextCell("  -7  "), Plain(), true, -7},
        NumericCase{TextCell("\t+3,25 "), Italian(), true, 3.25},
        NumericCase{TextCell(",5"), Italian(), true, 0.5},
        NumericCase{TextCell("5,"), Italian(), true, 5},
        NumericCase{TextCell("1,5E3"), Italian(), true, 1500},
        NumericCase{TextCell("1e-2"), Plain(), true, 0.01},
        NumericCase{TextCell("1e"), Plain(), false, 0},
        NumericCase{TextCell("1e999"), Plain(), false, 0},
        NumericCase{TextCell("1.234.567"), Plain(), false, 0},
        NumericCase{TextCell("1,234"), Plain(), false, 0},
        NumericCase{TextCell("0x1F"), Plain(), false, 0},
        NumericCase{TextCell("&H1F"), Plain(), false, 0},
        NumericCase{TextCell("inf"), Plain(), false, 0},
        NumericCase{TextCell("nan"), Plain(), false, 0},
        NumericCase{TextCell("12 5"), Plain(), false, 0},
        NumericCase{TextCell("-"), Plain(), false, 0},
        NumericCase{TextCell("."), Plain(), false, 0},
        NumericCase{TextCell("12abc"), Plain(), false, 0},
        NumericCase{BooleanCell(true), Plain(), false, 0},
        NumericCase{DateCell(CellType::DateTime, {2024, 1, 1, 0, 0, 0}), Plain(), false, 0},
        NumericCase{TextCell("12", CellType::Binary), Plain(), false, 0}));

}  // namespace
}  // namespace panorello
