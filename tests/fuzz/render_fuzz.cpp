// The renderers fed with arbitrary grids: the chart, the KPI cards and the table are well-formed
// (tags balanced, text escaped), and the chart's SVG holds no nan or inf.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "db/result/result_grid.h"
#include "fuzz_support.h"
#include "grid_input.h"
#include "html/chart.h"
#include "html/kpi_table.h"
#include "html/page_out.h"
#include "util/text.h"

using panorello::fuzz::Require;

namespace panorello {
namespace {

bool StartsWithEntity(std::string_view rest) {
  for (std::string_view e : {"&amp;", "&lt;", "&gt;", "&quot;"}) {
    if (rest.starts_with(e)) return true;
  }
  return false;
}

// Tags balanced, every & an entity, no > outside a tag, and no nan/inf in the attributes of
// the SVG elements (but for the chart's name).
void CheckWellFormed(const std::string& html) {
  Require(IsValidUtf8(html), "the body is UTF-8", html);
  std::vector<std::string> open;
  bool in_svg = false;
  for (size_t i = 0; i < html.size();) {
    const char c = html[i];
    if (c == '&') {
      Require(StartsWithEntity(std::string_view(html).substr(i)), "& starts an entity", html);
      ++i;
      continue;
    }
    Require(c != '>' && c != '"', "no > or \" outside a tag", html);
    if (c != '<') {
      ++i;
      continue;
    }
    const size_t end = html.find('>', i);
    Require(end != std::string::npos, "a tag is closed", html);
    const std::string_view tag = std::string_view(html).substr(i + 1, end - i - 1);
    Require(tag.find('<') == std::string_view::npos, "no < inside a tag", html);
    if (in_svg) {
      std::string lowered = LowerCase(tag);
      // The chart's name is text (the series names), not a number.
      const size_t name_at = lowered.find("aria-label=\"");
      if (name_at != std::string::npos) {
        lowered.erase(name_at, lowered.find('"', name_at + 12) + 1 - name_at);
      }
      Require(lowered.find("nan") == std::string::npos && lowered.find("inf") == std::string::npos,
              "no nan or inf in the SVG", tag);
    }
    const size_t name_end = tag.find_first_of(" /");
    if (!tag.empty() && tag.front() == '/') {
      const std::string name(tag.substr(1));
      Require(!open.empty() && open.back() == name, "the closing tag matches", html);
      open.pop_back();
      if (name == "svg") in_svg = false;
    } else if (tag != "br" && (tag.empty() || tag.back() != '/')) {
      open.emplace_back(tag.substr(0, name_end));
      if (open.back() == "svg") in_svg = true;
    }
    i = end + 1;
  }
  Require(open.empty(), "every element is closed", html);
}

}  // namespace
}  // namespace panorello

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace panorello;
  FuzzedDataProvider in(data, size);
  RegionalSettings regional;
  regional.decimal_separator = in.ConsumeBool() ? ',' : '.';
  const size_t cols = in.ConsumeIntegralInRange<size_t>(1, 4);
  const size_t rows = in.ConsumeIntegralInRange<size_t>(0, 6);
  std::vector<std::string> names;
  for (size_t c = 0; c < cols; ++c) names.push_back(fuzz::Text(in, 12));
  ResultGrid grid(names);
  for (size_t r = 0; r < rows; ++r) {
    for (size_t c = 0; c < cols; ++c) fuzz::AddCell(grid, in);
  }
  CheckWellFormed(RenderChart(grid, regional));  // an exception ends the run as a finding
  std::string cards;
  RenderKpiCards(grid, regional, cards);
  CheckWellFormed(cards);
  PageOut table;
  RenderResultTable(grid, regional, table);
  CheckWellFormed(table.TakeText());
  return 0;
}
