#pragma once
// One query result held whole in memory: column names and rows x columns of typed cells.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "util/clock.h"
#include "util/regional.h"

namespace panorello {

enum class CellType : uint8_t {
  Null,
  Integer,  // 64-bit signed
  Double,
  Single,    // single precision, shown with 7 significant digits
  Decimal,   // exact decimal kept as its digits ("-123.4500")
  Text,      // UTF-8
  DateTime,  // date and time of day
  Date,      // date alone
  Time,      // time of day alone
  Boolean,
  Binary,
};

// A read-only view of one cell; the string_view points into the grid.
struct CellView {
  CellType type = CellType::Null;
  int64_t integer = 0;    // Integer; Boolean as 0/1
  double real = 0;        // Double, Single
  std::string_view text;  // Text, Decimal digits, Binary bytes
  DateTime date_time;     // DateTime, Date, Time
};

class ResultGrid {
 public:
  ResultGrid() = default;
  explicit ResultGrid(std::vector<std::string> column_names);
  ResultGrid(const ResultGrid& other);
  ResultGrid& operator=(const ResultGrid& other);
  ResultGrid(ResultGrid&&) noexcept = default;
  ResultGrid& operator=(ResultGrid&&) noexcept = default;
  ~ResultGrid() = default;

  size_t Rows() const;
  size_t Cols() const { return names_.size(); }
  const std::string& ColumnName(size_t c) const { return names_.at(c); }
  CellView At(size_t row, size_t col) const;

  // Cells are appended row by row, left to right; a row is complete after Cols() appends.
  void AddNull();
  void AddInteger(int64_t v);
  void AddDouble(double v);
  void AddSingle(float v);
  void AddDecimal(std::string_view digits);
  void AddText(std::string_view utf8);
  void AddDateTime(const DateTime& v);
  void AddDate(const DateTime& v);
  void AddTime(const DateTime& v);
  void AddBoolean(bool v);
  void AddBinary(std::string_view bytes);
  // Any cell by its view (a Single's real is narrowed back to float).
  void Add(const CellView& cell);

  // Bytes held by the grid: its cell blocks, text chunks and column names (the fetch benchmark
  // reports them per cell).
  size_t MemoryBytes() const;

 private:
  // Cells live in fixed blocks (no copying as the grid grows, no doubled capacity): one type
  // byte and one 8-byte payload each — the integer, the double's bits, a packed date-time, or
  // where a text sits in the text chunks (chunk number in the high 32 bits, offset below).
  static constexpr size_t kBlockCells = size_t{1} << 14;
  static constexpr size_t kChunkBytes = size_t{1} << 20;
  struct Block {
    std::unique_ptr<CellType[]> types;
    std::unique_ptr<uint64_t[]> payload;
  };
  struct Chunk {
    std::unique_ptr<char[]> bytes;
    size_t size = 0;
    size_t used = 0;
  };

  void Push(CellType t, uint64_t payload);
  uint64_t Store(std::string_view bytes);

  std::vector<std::string> names_;
  std::vector<Block> blocks_;
  size_t cells_ = 0;
  std::vector<Chunk> chunks_;  // texts: 4-byte length, then the bytes
};

// The text of a cell as the page shows it.
std::string CellText(const CellView& cell, const RegionalSettings& regional);
// The same text appended to out (no temporary string).
void AppendCellText(std::string& out, const CellView& cell, const RegionalSettings& regional);

// A finite number, or a text that reads whole as a number with the regional separator (blanks
// around it allowed; no grouping, hex, inf or nan). value receives the number when numeric.
bool IsNumericCell(const CellView& cell, const RegionalSettings& regional, double* value);

}  // namespace panorello
