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

TEST(KpiCardsAndTable, ExactBodies) {
  RegionalSettings italian;
  italian.decimal_separator = ',';
  const struct {
    bool kpi;
    ResultGrid grid;
    RegionalSettings regional;
    std::string expected;
  } cases[] = {
      {true,
       MakeGrid({"Totale"}, {{int64_t{42}}}),
       {},
       "<div class=\"kpiwrap\"><div class=\"kpicard kpi-1\"><div class=\"kpilabel\">Totale</div>"
       "<div class=\"kpivalue\">42</div></div></div>"},
      // Only the first row; a null shows nothing; names and values are escaped.
      {true,
       MakeGrid({"a<b", "n"}, {{std::string("x & y"), Null{}}, {std::string("2"), int64_t{2}}}),
       {},
       "<div class=\"kpiwrap\"><div class=\"kpicard kpi-1\"><div class=\"kpilabel\">a&lt;b</div>"
       "<div class=\"kpivalue\">x &amp; y</div></div><div class=\"kpicard kpi-2\">"
       "<div class=\"kpilabel\">n</div><div class=\"kpivalue\"></div></div></div>"},
      {true, MakeGrid({"v"}, {{1234.5}}), italian,
       "<div class=\"kpiwrap\"><div class=\"kpicard kpi-1\"><div class=\"kpilabel\">v</div>"
       "<div class=\"kpivalue\">1234,5</div></div></div>"},
      {false,
       MakeGrid({"Cliente", "Importo"}, {{std::string("Rossi & Figli"), int64_t{1960}},
                                         {Null{}, 2.5},
                                         {std::string("a\r\nb"), int64_t{-3}}}),
       italian,
       "<table class=\"result\"><tr><th>Cliente</th><th>Importo</th></tr>"
       "<tr><td>Rossi &amp; Figli</td><td>1960</td></tr><tr><td></td><td>2,5</td></tr>"
       "<tr><td>a<br>b</td><td>-3</td></tr></table>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.kpi ? RenderKpiCards(c.grid, c.regional) : RenderResultTable(c.grid, c.regional),
              c.expected);
  }
}

TEST(KpiCards, ColourClassesWrapAfterEight) {
  std::vector<std::string> names;
  std::string expected;
  for (int c = 0; c < 10; ++c) {
    const std::string n = std::to_string(c);
    names.push_back("c" + n);
    expected += "<div class=\"kpicard kpi-" + std::to_string(c % 8 + 1) +
                "\"><div class=\"kpilabel\">c" + n + "</div><div class=\"kpivalue\">" + n +
                "</div></div>";
  }
  ResultGrid grid(names);
  for (int c = 0; c < 10; ++c) grid.AddInteger(c);
  EXPECT_EQ(RenderKpiCards(grid, RegionalSettings{}),
            "<div class=\"kpiwrap\">" + expected + "</div>");
}

TEST(ResultTable, EveryRowAlsoWhenStreamedInChunks) {
  testing::TempFolder folder;
  std::vector<std::vector<Cell>> rows;
  for (int r = 0; r < 40000; ++r)
    rows.push_back({int64_t{r}, std::string("riga <") + std::to_string(r)});
  ResultGrid grid = MakeGrid({"n", "t"}, rows);
  const std::string whole = RenderResultTable(grid, RegionalSettings{});
  EXPECT_NE(whole.find("<tr><td>39999</td><td>riga &lt;39999</td></tr></table>"),
            std::string::npos);
  const std::string path = folder.File("t.html");
  {
    AtomicFileWriter file(path);
    PageOut out(&file);
    RenderResultTable(grid, RegionalSettings{}, out);
    EXPECT_LT(out.Text().size(), 400u * 1024u);  // handed on while rendering, not held whole
    out.Flush();
    file.Commit();
  }
  EXPECT_EQ(testing::ReadBytes(path), whole);
}

}  // namespace
}  // namespace panorello
