#include "html/block_render.h"

#include <gtest/gtest.h>

#include "html/chart.h"
#include "html/grid_builder.h"
#include "html/kpi_table.h"
#include "support/test_support.h"
#include "util/text.h"

namespace panorello {
namespace {

using testing::Cell;
using testing::MakeGrid;
using testing::Null;

// Twelve rows: a label, then two numeric columns; odd_cell replaces column 2 of row 4.
ResultGrid TwelveMonths(const Cell& odd_cell = int64_t{4}) {
  std::vector<std::vector<Cell>> rows;
  for (int64_t r = 0; r < 12; ++r) {
    rows.push_back(
        {"M" + std::to_string(r + 1), static_cast<double>(r * 10), r == 4 ? odd_cell : Cell{r}});
  }
  return MakeGrid({"m", "a", "b"}, rows);
}

TEST(ChooseBody, ModesAndTheAutoRuleGiveTheirRenderersInOrder) {
  const RegionalSettings rs;
  const struct {
    std::string mode;
    ResultGrid grid;
    BodyKind expected;
  } cases[] = {
      {"AUTO", MakeGrid({"a", "b", "c"}, {{std::string("x"), int64_t{1}, 2.0}}), BodyKind::Kpi},
      {"AUTO", MakeGrid({"a"}, {{int64_t{5}}}), BodyKind::Kpi},
      {"AUTO", TwelveMonths(), BodyKind::ChartTable},
      {"AUTO", TwelveMonths(std::string("n/d")), BodyKind::Table},
      {"AUTO", TwelveMonths(Null{}), BodyKind::ChartTable},
      {"AUTO", TwelveMonths(std::string("   ")), BodyKind::ChartTable},
      {"AUTO", TwelveMonths(std::string(" 12.5 ")), BodyKind::ChartTable},
      {"AUTO", TwelveMonths(DateTime{2024, 2, 1, 14, 30, 0}), BodyKind::Table},
      {"AUTO", MakeGrid({"a"}, {{1.0}, {2.0}}), BodyKind::Table},
      {"AUTO", MakeGrid({"m", "a"}, {{std::string("x"), 1.0}, {Null{}, 2.0}}),
       BodyKind::ChartTable},
      {"PIE", TwelveMonths(), BodyKind::ChartTable},
      {"TABLE", MakeGrid({"a"}, {{int64_t{5}}}), BodyKind::Table},
      {"KPI", TwelveMonths(), BodyKind::Kpi},
      {"CHART", TwelveMonths(), BodyKind::Chart},
      {"CHART", MakeGrid({"m", "a"}, {{std::string("x"), 1.0}}), BodyKind::Chart},
      {"CHARTTABLE", MakeGrid({"m", "a"}, {{std::string("x"), 1.0}}), BodyKind::ChartTable},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode + " " + std::to_string(c.grid.Rows()) + "x" +
                 std::to_string(c.grid.Cols()));
    EXPECT_EQ(ChooseBody(c.grid, c.mode, rs), c.expected);
    const std::string chart = RenderChart(c.grid, rs), table = RenderResultTable(c.grid, rs);
    const std::string body[] = {table, RenderKpiCards(c.grid, rs), chart, chart + table};
    PageOut out;
    RenderGridBody(c.grid, c.mode, rs, out);
    EXPECT_EQ(out.Text(), body[static_cast<int>(c.expected)]);
  }
}

struct MonthsContext : testing::SqliteContext {
  MonthsContext()
      : SqliteContext(
            {"CREATE TABLE t (m VARCHAR(10), a INTEGER, b DOUBLE)",
             "INSERT INTO t VALUES ('Gen', 10, 1.5), ('Feb', 20, 2.5), ('Mar', 40, 3.5)"}) {}
};

TEST(RenderBlockQuery, RealQueriesNoRowsAndErrorBoxes) {
  MonthsContext t;
  const RegionalSettings rs;
  const ResultGrid months = MakeGrid({"m", "a", "b"}, {{std::string("Gen"), int64_t{10}, 1.5},
                                                       {std::string("Feb"), int64_t{20}, 2.5},
                                                       {std::string("Mar"), int64_t{40}, 3.5}});
  const std::string sql = "SELECT m, a, b FROM t ORDER BY a",
                    error = "<div class=\"error\">Errore query: ";
  const std::string kpi =
      "<div class=\"kpiwrap\"><div class=\"kpicard kpi-1\"><div class=\"kpilabel\">a</div>"
      "<div class=\"kpivalue\">20</div></div></div>";
  const ResultGrid extremes =
      MakeGrid({"'a'", "1e-300"}, {{std::string("a"), 1e-300}, {std::string("b"), -1e300}});
  const std::string cases[][3] = {
      {sql, "AUTO", RenderChart(months, rs) + RenderResultTable(months, rs)},
      {"SELECT a FROM t WHERE a = 20", "AUTO", kpi},
      {"SELECT m, a FROM t WHERE a = 20", "CHART", ""},
      {"SELECT * FROM \"a<b&c\"", "TABLE",
       error +
           "no such table: a&lt;b&amp;c — La query usa una tabella o una vista che non esiste: "
           "verificare i nomi nel testo SQL del blocco e il database a cui ci si collega.</div>"},
      {"", "AUTO", error + "Testo SQL vuoto: nessuna istruzione da eseguire</div>"},
      // Finite values at the ends of the range keep their chart and their table.
      {"SELECT 'a', 1e-300 UNION ALL SELECT 'b', -1e300", "AUTO",
       RenderChart(extremes, rs) + RenderResultTable(extremes, rs)},
  };
  for (const auto& [query, mode, expected] : cases)
    EXPECT_EQ(RenderBlockQuery(*t, query, mode), expected) << query;
  for (const char* mode : {"AUTO", "TABLE", "KPI", "CHART", "CHARTTABLE", "PIE"}) {
    EXPECT_EQ(RenderBlockQuery(*t, "SELECT * FROM t WHERE a > 1000", mode),
              "<div class=\"nodata\">Nessun dato disponibile</div>")
        << mode;
  }
  t->settings.Database = t.folder.File("manca.db");
  EXPECT_EQ(RenderBlockQuery(*t, "SELECT 1", "AUTO"),
            error + "File di database non trovato: " + HtmlEncode(t->settings.Database) + "</div>");
}

TEST(RenderBlock, FrameAroundTheBody) {
  MonthsContext t;
  Block b;
  b.Title = "Vendite & co";
  b.Sql = "SELECT a FROM t WHERE a = 10";
  const std::string frame =
      "<div class=\"block\"><div class=\"title\">Vendite &amp; co</div>"
      "<div class=\"subtitle\"></div><div class=\"sep\"></div>";
  for (const char* mode : {"", "  kpi "}) {
    b.RenderMode = mode;
    EXPECT_EQ(RenderBlock(*t, b),
              frame +
                  "<div class=\"kpiwrap\"><div class=\"kpicard kpi-1\"><div class=\"kpilabel\">"
                  "a</div><div class=\"kpivalue\">10</div></div></div></div>")
        << mode;
  }
}

}  // namespace
}  // namespace panorello
