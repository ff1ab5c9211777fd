#include "mail/page_digest.h"

#include "util/text.h"

namespace panorello {

namespace {

constexpr std::string_view kNpos = {};

// The text between open (found from pos) and the next close; empty when open is missing.
// pos moves past close.
std::string_view Between(std::string_view s, size_t& pos, std::string_view open,
                         std::string_view close) {
  const size_t a = s.find(open, pos);
  if (a == std::string_view::npos) return kNpos;
  const size_t start = a + open.size();
  size_t end = s.find(close, start);
  if (end == std::string_view::npos) end = s.size();
  pos = std::min(s.size(), end + close.size());
  return s.substr(start, end - start);
}

// Markup to plain text: <br> is a line break, other tags go, the page's entities are decoded.
std::string PlainOf(std::string_view html) {
  std::string out;
  out.reserve(html.size());
  for (size_t i = 0; i < html.size();) {
    if (html[i] == '<') {
      const size_t end = html.find('>', i);
      if (html.substr(i, 4) == "<br>") out += '\n';
      i = end == std::string_view::npos ? html.size() : end + 1;
      continue;
    }
    if (html[i] == '&') {
      static constexpr std::pair<std::string_view, char> kEntities[] = {
          {"&amp;", '&'},  {"&lt;", '<'},   {"&gt;", '>'},
          {"&quot;", '"'}, {"&#39;", '\''}, {"&nbsp;", ' '}};
      bool done = false;
      for (const auto& [name, ch] : kEntities) {
        if (html.substr(i, name.size()) == name) {
          out += ch;
          i += name.size();
          done = true;
          break;
        }
      }
      if (done) continue;
    }
    out += html[i++];
  }
  return out;
}

std::vector<std::string> CellsOf(std::string_view row, std::string_view open) {
  std::vector<std::string> cells;
  size_t pos = 0;
  while (row.find(open, pos) != std::string_view::npos) {
    cells.push_back(PlainOf(Between(row, pos, open, open == "<th" ? "</th>" : "</td>")));
  }
  return cells;
}

// <td> cells, without the attributes of <th scope="col">.
std::string StripAttributeRest(std::string s) {
  if (!s.empty() && s[0] == '>') return s.substr(1);
  const size_t gt = s.find('>');
  return gt == std::string::npos ? s : s.substr(gt + 1);
}

TableDigest TableOf(std::string_view table, size_t first_rows) {
  TableDigest t;
  size_t pos = 0;
  bool head = true;
  while (table.find("<tr>", pos) != std::string_view::npos) {
    const std::string_view row = Between(table, pos, "<tr>", "</tr>");
    if (head) {
      for (std::string& c : CellsOf(row, "<th")) t.columns.push_back(StripAttributeRest(c));
      head = false;
      continue;
    }
    if (t.rows.size() < first_rows) t.rows.push_back(CellsOf(row, "<td>"));
    ++t.total_rows;
  }
  return t;
}

ChartDigest ChartOf(std::string_view box) {
  ChartDigest chart;
  const size_t a = box.find("<svg");
  const size_t b = box.find("</svg>", a);
  if (a == std::string_view::npos || b == std::string_view::npos) return chart;
  chart.svg = std::string(box.substr(a, b + 6 - a));
  size_t pos = b;
  std::string_view legend = Between(box, pos, "<div class=\"chartlegend\">", "</div>");
  size_t at = 0;
  while (legend.find("background:", at) != std::string_view::npos) {
    LegendItem item;
    item.colour = std::string(Between(legend, at, "background:", ";"));
    item.name = PlainOf(Between(legend, at, "</span>", "</span>"));
    chart.legend.push_back(std::move(item));
  }
  return chart;
}

void ReadKpis(std::string_view body, BlockDigest& block) {
  size_t pos = 0;
  while (body.find("<div class=\"kpicard kpi-", pos) != std::string_view::npos) {
    KpiDigest kpi;
    const std::string_view n = Between(body, pos, "<div class=\"kpicard kpi-", "\"");
    kpi.colour = n.empty() ? 1 : n[0] - '0';
    kpi.label = PlainOf(Between(body, pos, "<div class=\"kpilabel\">", "</div>"));
    kpi.value = PlainOf(Between(body, pos, "<div class=\"kpivalue\">", "</div>"));
    block.kpis.push_back(std::move(kpi));
  }
}

// Charts and the tables outside them (a chart's own table is for screen readers).
void ReadChartsAndTables(std::string_view body, size_t first_rows, BlockDigest& block) {
  size_t pos = 0;
  while (pos < body.size()) {
    const size_t chart = body.find("<div class=\"chartbox\">", pos);
    const size_t table = body.find("<table class=\"result\">", pos);
    if (chart == std::string_view::npos && table == std::string_view::npos) return;
    if (chart < table) {
      const size_t srdata = body.find("<div class=\"srdata\">", chart);
      const size_t next = body.find("<div class=\"chartbox\">", chart + 1);
      // The box ends after its legend, or after the table for screen readers that follows it.
      size_t end = body.find("</div>", body.find("<div class=\"chartlegend\">", chart));
      if (srdata != std::string_view::npos && srdata < next) end = body.find("</table>", srdata);
      if (end == std::string_view::npos) end = body.size();
      block.charts.push_back(ChartOf(body.substr(chart, end - chart)));
      pos = end + 1;
      continue;
    }
    size_t end = body.find("</table>", table);
    if (end == std::string_view::npos) end = body.size();
    block.tables.push_back(TableOf(body.substr(table, end - table), first_rows));
    pos = end + 1;
  }
}

BlockDigest BlockOf(std::string_view box, size_t first_rows) {
  BlockDigest block;
  size_t pos = 0;
  block.title = PlainOf(Between(box, pos, "<div class=\"title\">", "</div>"));
  block.subtitle = PlainOf(Between(box, pos, "<div class=\"subtitle\">", "</div>"));
  const std::string_view body = box.substr(pos);
  size_t at = 0;
  block.error = PlainOf(Between(body, at, "<div class=\"error\">", "</div>"));
  block.no_data = body.find("<div class=\"nodata\">") != std::string_view::npos;
  ReadKpis(body, block);
  ReadChartsAndTables(body, first_rows, block);
  return block;
}

}  // namespace

PageDigest DigestPage(std::string_view page, size_t first_rows) {
  PageDigest digest;
  size_t pos = 0;
  digest.title = PlainOf(Between(page, pos, "<h1>", "</h1>"));
  digest.facts = PlainOf(Between(page, pos, "<div class=\"meta\">", "</div>"));
  constexpr std::string_view kBlock = "<div class=\"block\">";
  size_t start = page.find(kBlock, pos);
  const size_t main_end = page.rfind("</main>");
  while (start != std::string_view::npos) {
    size_t next = page.find(kBlock, start + kBlock.size());
    const size_t end = next != std::string_view::npos                           ? next
                       : main_end != std::string_view::npos && main_end > start ? main_end
                                                                                : page.size();
    digest.blocks.push_back(BlockOf(page.substr(start, end - start), first_rows));
    start = next;
  }
  return digest;
}

}  // namespace panorello
