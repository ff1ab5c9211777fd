#pragma once
// Small helpers to build result grids in the tests.
#include <cstdint>
#include <string>
#include <vector>

#include "db/result_grid.h"

namespace panorello::testing {

struct Null {};

// One cell value of a test grid.
struct Cell {
  enum class Kind { Null, Integer, Double, Text, DateTime };
  Cell(Null) {}
  Cell(int64_t v) : kind(Kind::Integer), integer(v) {}
  Cell(double v) : kind(Kind::Double), real(v) {}
  Cell(std::string v) : kind(Kind::Text), text(std::move(v)) {}
  Cell(DateTimeValue v) : kind(Kind::DateTime), date_time(v) {}
  Kind kind = Kind::Null;
  int64_t integer = 0;
  double real = 0;
  std::string text;
  DateTimeValue date_time;
};

inline ResultGrid MakeGrid(std::vector<std::string> names, const std::vector<std::vector<Cell>>& rows) {
  ResultGrid grid(std::move(names));
  for (const auto& row : rows) {
    for (const Cell& cell : row) {
      switch (cell.kind) {
        case Cell::Kind::Null: grid.AddNull(); break;
        case Cell::Kind::Integer: grid.AddInteger(cell.integer); break;
        case Cell::Kind::Double: grid.AddDouble(cell.real); break;
        case Cell::Kind::Text: grid.AddText(cell.text); break;
        case Cell::Kind::DateTime: grid.AddDateTime(cell.date_time); break;
      }
    }
  }
  return grid;
}

// A grid of one label column and series columns of doubles.
inline ResultGrid SeriesGrid(const std::vector<std::vector<double>>& series) {
  std::vector<std::string> names{"Mese"};
  for (size_t k = 0; k < series.size(); ++k) names.push_back("S" + std::to_string(k + 1));
  ResultGrid grid(names);
  const size_t rows = series.empty() ? 0 : series[0].size();
  for (size_t r = 0; r < rows; ++r) {
    grid.AddText("R" + std::to_string(r + 1));
    for (const auto& s : series) grid.AddDouble(s[r]);
  }
  return grid;
}

}  // namespace panorello::testing
