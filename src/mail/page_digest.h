#pragma once
// What a mail says of a written page: its title and, per block, the title, KPI cards, the first
// rows of each table, each chart's SVG with its legend and the error text. Read back from the
// page itself, so the mail shows exactly what was written, charts from the very same SVG.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace panorello {

struct KpiDigest {
  std::string label;
  std::string value;
  int colour = 1;  // the card's series colour, 1 to 8
};

struct TableDigest {
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> rows;  // the first rows only
  size_t total_rows = 0;
};

struct LegendItem {
  std::string name;
  std::string colour;  // "#rrggbb"
};

struct ChartDigest {
  std::string svg;  // as in the page
  std::vector<LegendItem> legend;
};

struct BlockDigest {
  std::string title;
  std::string subtitle;
  std::vector<KpiDigest> kpis;
  std::vector<ChartDigest> charts;
  std::vector<TableDigest> tables;
  std::string error;  // the error box's text
  bool no_data = false;
};

struct PageDigest {
  std::string title;
  std::string facts;  // the header's line of run facts
  std::vector<BlockDigest> blocks;
};

// The digest of a page the generation run wrote; tables keep their first first_rows rows. Texts
// are plain (entities decoded, line breaks as "\n").
PageDigest DigestPage(std::string_view page, size_t first_rows);

}  // namespace panorello
