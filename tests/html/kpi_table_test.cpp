#include "html/kpi_table.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "html/grid_builder.h"
#include "support/rendered.h"
#include "support/test_support.h"

namespace panorello {
namespace {

using testing::Cell;
using testing::MakeGrid;
using testing::Null;

RegionalSettings Italian() {
  RegionalSettings italian;
  italian.decimal_separator = ',';
  return italian;
}

TEST(KpiCards, FirstRowEscapedWithAColourClassPerColumn) {
  const struct {
    const char* name;
    ResultGrid grid;
    RegionalSettings regional;
    std::string cards;
  } cases[] = {
      {.name = "only the first row; a null shows nothing; names and values escaped",
       .grid =
           MakeGrid({"a<b", "n"}, {{std::string("x & y"), Null{}}, {std::string("2"), int64_t{2}}}),
       .cards = "<div class=\"kpicard kpi-1\"><div class=\"kpilabel\">a&lt;b</div>"
                "<div class=\"kpivalue\">x &amp; y</div></div><div class=\"kpicard kpi-2\">"
                "<div class=\"kpilabel\">n</div><div class=\"kpivalue\"></div></div>"},
      {.name = "the regional decimal separator",
       .grid = MakeGrid({"v"}, {{1234.5}}),
       .regional = Italian(),
       .cards = "<div class=\"kpicard kpi-1\"><div class=\"kpilabel\">v</div>"
                "<div class=\"kpivalue\">1234,5</div></div>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(testing::RenderedKpiCards(c.grid, c.regional),
              "<div class=\"kpiwrap\">" + c.cards + "</div>")
        << c.name;
  }
}

TEST(KpiCards, ColourClassesWrapAfterEight) {
  std::vector<std::string> names;
  for (int c = 0; c < 9; ++c) names.push_back("c" + std::to_string(c));
  ResultGrid grid(names);
  for (int c = 0; c < 9; ++c) grid.AddInteger(c);
  const std::string cards = testing::RenderedKpiCards(grid, RegionalSettings{});
  EXPECT_NE(cards.find("kpi-8\"><div class=\"kpilabel\">c7<"), std::string::npos);
  EXPECT_NE(cards.find("kpi-1\"><div class=\"kpilabel\">c8<"), std::string::npos);
}

TEST(ResultTable, EveryRowEscapedInTheRegionalForm) {
  const ResultGrid grid =
      MakeGrid({"Cliente", "Importo"}, {{std::string("Rossi & <Figli>"), int64_t{1960}},
                                        {Null{}, 2.5},
                                        {std::string("a\r\nb"), int64_t{-3}}});
  EXPECT_EQ(testing::RenderedTable(grid, Italian()),
            "<div class=\"tablebox\" tabindex=\"0\" role=\"region\" aria-label=\"Tabella\">"
            "<table class=\"result\"><tr><th scope=\"col\">Cliente</th>"
            "<th scope=\"col\">Importo</th></tr>"
            "<tr><td>Rossi &amp; &lt;Figli&gt;</td><td>1960</td></tr><tr><td></td><td>2,5</td></tr>"
            "<tr><td>a<br>b</td><td>-3</td></tr></table></div>");
}

TEST(ResultTable, StreamedInChunksIntoAFile) {
  testing::TempFolder folder;
  std::vector<std::vector<Cell>> rows;
  for (int r = 0; r < 40000; ++r) rows.push_back({int64_t{r}, "riga <" + std::to_string(r)});
  const ResultGrid grid = MakeGrid({"n", "t"}, rows);
  const std::string whole = testing::RenderedTable(grid, RegionalSettings{});
  const std::string path = folder.File("t.html");
  AtomicFileWriter file(path);
  PageOut out(&file);
  RenderResultTable(grid, RegionalSettings{}, out);
  EXPECT_LT(out.Buffer().size(), 400u * 1024u);  // handed on while rendering, not held whole
  out.Flush();
  file.Commit();
  EXPECT_EQ(testing::ReadBytes(path), whole);
}

}  // namespace
}  // namespace panorello
