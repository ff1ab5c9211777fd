#include "html/kpi_table.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "html/grid_builder.h"
#include "support/test_support.h"

namespace panorello {
namespace {

using testing::Cell;
using testing::MakeGrid;
using testing::Null;

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(KpiCards, OneCardForASingleCount) {
  ResultGrid grid = MakeGrid({"Totale"}, {{int64_t{42}}});
  EXPECT_EQ(RenderKpiCards(grid, RegionalSettings{}),
            "<div class=\"kpiwrap\"><div class=\"kpicard kpi-1\"><div class=\"kpilabel\">Totale</div>"
            "<div class=\"kpivalue\">42</div></div></div>");
}

TEST(KpiCards, ColourClassesWrapAfterEight) {
  std::vector<std::string> names;
  std::vector<Cell> row;
  for (int c = 0; c < 10; ++c) {
    names.push_back("c" + std::to_string(c));
    row.push_back(int64_t{c});
  }
  const std::string html = RenderKpiCards(MakeGrid(names, {row}), RegionalSettings{});
  const char* expected[] = {"kpi-1", "kpi-2", "kpi-3", "kpi-4", "kpi-5",
                            "kpi-6", "kpi-7", "kpi-8", "kpi-1", "kpi-2"};
  size_t at = 0;
  for (int c = 0; c < 10; ++c) {
    at = html.find("<div class=\"kpicard ", at);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(html.substr(at + 20, 5), expected[c]) << c;
    EXPECT_NE(html.find("<div class=\"kpilabel\">c" + std::to_string(c) + "</div>", at), std::string::npos);
    ++at;
  }
  EXPECT_EQ(Count(html, "kpicard"), 10u);
}

TEST(KpiCards, OnlyTheFirstRowNullEmptyAndEscaped) {
  ResultGrid grid = MakeGrid({"a<b", "n"}, {{std::string("x & y"), Null{}},
                                            {std::string("second"), int64_t{2}},
                                            {std::string("third"), int64_t{3}}});
  EXPECT_EQ(RenderKpiCards(grid, RegionalSettings{}),
            "<div class=\"kpiwrap\"><div class=\"kpicard kpi-1\"><div class=\"kpilabel\">a&lt;b</div>"
            "<div class=\"kpivalue\">x &amp; y</div></div><div class=\"kpicard kpi-2\">"
            "<div class=\"kpilabel\">n</div><div class=\"kpivalue\"></div></div></div>");
}

TEST(KpiCards, DecimalCommaOfTheRegionalSettings) {
  RegionalSettings italian;
  italian.decimal_separator = ',';
  ResultGrid grid = MakeGrid({"v"}, {{1234.5}});
  EXPECT_NE(RenderKpiCards(grid, italian).find(">1234,5<"), std::string::npos);
}

TEST(ResultTable, HeaderAndRowsExactly) {
  ResultGrid grid = MakeGrid({"Cliente", "Importo"},
                             {{std::string("Rossi & Figli"), int64_t{1960}},
                              {Null{}, 2.5},
                              {std::string("a\r\nb"), int64_t{-3}}});
  EXPECT_EQ(RenderResultTable(grid, RegionalSettings{}),
            "<table class=\"result\"><tr><th>Cliente</th><th>Importo</th></tr>"
            "<tr><td>Rossi &amp; Figli</td><td>1960</td></tr>"
            "<tr><td></td><td>2.5</td></tr>"
            "<tr><td>a<br>b</td><td>-3</td></tr></table>");
}

TEST(ResultTable, EveryCellIsItsCellText) {
  const DateTimeValue at{2024, 2, 29, 14, 30, 5};
  std::vector<std::vector<Cell>> rows = {
      {int64_t{0}, int64_t{-1}, int64_t{INT64_MIN}, int64_t{INT64_MAX}},
      {0.1, -2.5e-7, 1e21, at},
  };
  ResultGrid grid = MakeGrid({"a", "b", "c", "d"}, rows);
  RegionalSettings italian;
  italian.decimal_separator = ',';
  for (const RegionalSettings& rs : {RegionalSettings{}, italian}) {
    std::string expected = "<table class=\"result\"><tr><th>a</th><th>b</th><th>c</th><th>d</th></tr>";
    for (size_t r = 0; r < grid.Rows(); ++r) {
      expected += "<tr>";
      for (size_t c = 0; c < grid.Cols(); ++c) expected += "<td>" + CellText(grid.At(r, c), rs) + "</td>";
      expected += "</tr>";
    }
    EXPECT_EQ(RenderResultTable(grid, rs), expected + "</table>");
  }
}

TEST(ResultTable, ThousandRowsAllWritten) {
  std::vector<std::vector<Cell>> rows;
  for (int r = 0; r < 1000; ++r) rows.push_back({int64_t{r}});
  const std::string html = RenderResultTable(MakeGrid({"n"}, rows), RegionalSettings{});
  EXPECT_EQ(Count(html, "<tr>"), 1001u);
  EXPECT_NE(html.find("<tr><td>999</td></tr></table>"), std::string::npos);
}

TEST(ResultTable, StreamedInChunksGivesTheSameText) {
  testing::TempFolder folder;
  std::vector<std::vector<Cell>> rows;
  for (int r = 0; r < 40000; ++r) rows.push_back({int64_t{r}, std::string("riga <") + std::to_string(r)});
  ResultGrid grid = MakeGrid({"n", "t"}, rows);
  const std::string path = folder.File("t.html");
  {
    AtomicFileWriter file(path);
    PageOut out(&file);
    RenderResultTable(grid, RegionalSettings{}, out);
    EXPECT_LT(out.Text().size(), 400u * 1024u);  // handed on while rendering, not held whole
    out.Flush();
    file.Commit();
  }
  EXPECT_EQ(testing::ReadBytes(path), RenderResultTable(grid, RegionalSettings{}));
}

}  // namespace
}  // namespace panorello
