#include "html/chart_stream.h"

#include <algorithm>

#include "html/chart.h"

namespace panorello {

namespace {

// Buckets kept per series before neighbours merge.
constexpr size_t kMaxBuckets = 2 * kPlotColumns;
// Rows taken in between two clean-ups of the rows no bucket names any more.
constexpr size_t kSlackRows = 4096;

}  // namespace

void ChartSink::Columns(const std::vector<std::string>& names) {
  names_ = names;
  held_ = ResultGrid(names);
  series_ = names.size() < 2 ? 0 : names.size() - 1;
  compact_at_ = kSlackRows;
}

void ChartSink::Row(const CellView* cells, size_t count) {
  const size_t place = rows_++;
  if (series_ == 0) return;  // nothing to draw: the rows are only counted
  for (size_t c = 0; c < count; ++c) held_.Add(cells[c]);
  const size_t row = at_.size();
  at_.push_back(place);
  const bool opens = place % step_ == 0;
  if (opens && buckets_.size() == kMaxBuckets * series_) Halve();  // place is a multiple of both
  for (size_t k = 1; k <= series_; ++k) {
    double v = 0;
    if (!IsNumericCell(cells[k], regional_, &v)) {
      v = 0;
    } else if (v > max_) {
      max_ = v;
    }
    const Point p{row, v};
    if (opens) {
      buckets_.push_back({p, p, p, p});
      continue;
    }
    Extremes& e = buckets_[buckets_.size() - series_ + k - 1];
    if (v < e.low.value) e.low = p;
    if (v > e.high.value) e.high = p;
    e.last = p;
  }
  if (at_.size() >= compact_at_) Compact();
}

size_t ChartSink::Distinct(const Extremes& e, const Point** out) {
  const Point* points[4] = {&e.first, &e.low, &e.high, &e.last};
  std::sort(std::begin(points), std::end(points),
            [](const Point* a, const Point* b) { return a->row < b->row; });
  size_t n = 0;
  for (const Point* p : points) {
    if (n == 0 || out[n - 1]->row != p->row) out[n++] = p;
  }
  return n;
}

void ChartSink::Halve() {
  std::vector<Extremes> merged;
  merged.reserve(buckets_.size() / 2);
  for (size_t b = 0; b + 2 * series_ <= buckets_.size(); b += 2 * series_) {
    for (size_t k = 0; k < series_; ++k) {
      const Extremes& left = buckets_[b + k];
      const Extremes& right = buckets_[b + series_ + k];
      merged.push_back({left.first, right.low.value < left.low.value ? right.low : left.low,
                        right.high.value > left.high.value ? right.high : left.high, right.last});
    }
  }
  buckets_ = std::move(merged);
  step_ *= 2;
}

// Keeps only the rows the buckets name.
void ChartSink::Compact() {
  std::vector<size_t> named;
  named.reserve(buckets_.size() * 4);
  for (const Extremes& e : buckets_) {
    for (const Point* p : {&e.first, &e.low, &e.high, &e.last}) named.push_back(p->row);
  }
  std::sort(named.begin(), named.end());
  named.erase(std::unique(named.begin(), named.end()), named.end());
  ResultGrid kept(names_);
  std::vector<size_t> at;
  at.reserve(named.size());
  for (size_t r : named) {
    for (size_t c = 0; c < names_.size(); ++c) kept.Add(held_.At(r, c));
    at.push_back(at_[r]);
  }
  for (Extremes& e : buckets_) {
    for (Point* p : {&e.first, &e.low, &e.high, &e.last}) {
      p->row =
          static_cast<size_t>(std::lower_bound(named.begin(), named.end(), p->row) - named.begin());
    }
  }
  held_ = std::move(kept);
  at_ = std::move(at);
  compact_at_ = 2 * at_.size() + kSlackRows;
}

std::vector<std::vector<size_t>> ChartSink::Drawn() const {
  std::vector<std::vector<size_t>> drawn(series_ + 1);
  if (rows_ <= kPlotColumns) {  // every row, each its own bucket
    for (size_t k = 1; k <= series_; ++k) {
      drawn[k].resize(at_.size());
      for (size_t r = 0; r < at_.size(); ++r) drawn[k][r] = r;
    }
    return drawn;
  }
  for (size_t k = 1; k <= series_; ++k) {
    ColumnReducer reducer(rows_);
    for (size_t b = k - 1; b < buckets_.size(); b += series_) {
      const Point* points[4];
      const size_t n = Distinct(buckets_[b], points);
      for (size_t i = 0; i < n; ++i)
        reducer.Add(at_[points[i]->row], points[i]->value, points[i]->row);
    }
    drawn[k] = reducer.Finish();
  }
  return drawn;
}

std::vector<size_t> ChartSink::DrawnPlaces(size_t k) const {
  std::vector<size_t> places;
  if (k == 0 || k > series_) return places;
  const std::vector<std::vector<size_t>> drawn = Drawn();
  for (size_t r : drawn[k]) places.push_back(at_[r]);
  return places;
}

std::string ChartSink::Render(std::string_view name, bool with_data) const {
  if (rows_ <= 1 || series_ == 0) return {};
  // Every row is held: the chart of the whole result.
  if (rows_ <= kPlotColumns) return RenderChart(held_, regional_, name, with_data);
  ChartPlan plan{.grid = &held_, .at = at_, .rows = rows_, .max = max_ > 0 ? max_ : 1};
  plan.drawn = Drawn();
  // Labels go on kept rows: each bucket's first row lies within a pixel column of the next.
  std::vector<size_t> candidates;
  for (const Extremes& e : buckets_) {
    for (const Point* p : {&e.first, &e.low, &e.high, &e.last}) candidates.push_back(p->row);
  }
  std::sort(candidates.begin(), candidates.end());
  candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
  plan.labels = LabelRowsAmong(plan, candidates, regional_);
  return RenderChartPlan(plan, regional_, name, with_data);
}

}  // namespace panorello
