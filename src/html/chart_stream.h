#pragma once
// The chart of a CHART block drawn from its rows as they arrive, in memory bounded by the plot's
// width and the number of series, whatever the number of rows.
#include <string>
#include <string_view>
#include <vector>

#include "db/connection.h"
#include "db/result/result_grid.h"
#include "util/regional.h"

namespace panorello {

// Rows are gathered in buckets of `step` consecutive rows, each keeping per series its first,
// smallest, largest and last point; when the buckets fill twice the plot's pixel columns, step
// doubles and neighbouring buckets merge. Only the rows those points name are kept. Up to
// twice the pixel columns every row is its own bucket, so a chart that fits the plot is the
// chart of the whole result; a longer one is drawn from the extremes of each pixel column among
// the kept points, the same line within a pixel.
class ChartSink final : public RowSink {
 public:
  explicit ChartSink(const RegionalSettings& regional) : regional_(regional) {}
  void Columns(const std::vector<std::string>& names) override;
  void Row(const CellView* cells, size_t count) override;

  size_t Rows() const { return rows_; }
  // Rows held now (the memory used grows with these).
  size_t RowsHeld() const { return held_.Rows(); }
  // The places in the result of the points drawn for series k (1-based), in order.
  std::vector<size_t> DrawnPlaces(size_t k) const;
  // The chart box as RenderChart gives it (name: the block's title; with_data: the drawn rows as
  // a table for screen readers); empty with fewer than 2 rows or 2 columns.
  std::string Render(std::string_view name, bool with_data) const;

 private:
  struct Point {
    size_t row = 0;  // in held_
    double value = 0;
  };
  struct Extremes {
    Point first, low, high, last;
  };

  // The bucket's points in row order, each once; returns their count.
  static size_t Distinct(const Extremes& e, const Point** out);
  void Halve();
  void Compact();
  std::vector<std::vector<size_t>> Drawn() const;

  const RegionalSettings& regional_;
  std::vector<std::string> names_;
  ResultGrid held_;         // the rows the buckets name, and perhaps some no longer named
  std::vector<size_t> at_;  // the place in the result of each held row
  size_t series_ = 0;
  size_t rows_ = 0;
  size_t step_ = 1;
  std::vector<Extremes> buckets_;  // bucket b, series k (1-based): [b * series_ + k - 1]
  double max_ = 0;
  size_t compact_at_ = 0;
};

}  // namespace panorello
