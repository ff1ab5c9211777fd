#include "html/block_render.h"

#include <gtest/gtest.h>

#include "html/chart.h"
#include "html/grid_builder.h"
#include "support/rendered.h"
#include "support/test_support.h"

namespace panorello {
namespace {

using testing::Cell;
using testing::MakeGrid;
using testing::Null;

// Twelve rows: a label, then two numeric columns; odd_cell replaces column 2 of row 4.
ResultGrid TwelveMonths(const Cell& odd_cell = int64_t{4}) {
  std::vector<std::vector<Cell>> rows;
  for (int64_t r = 0; r < 12; ++r) {
    const Cell b = r == 4 ? odd_cell : Cell{r};
    rows.push_back({"M" + std::to_string(r + 1), static_cast<double>(r * 10), b});
  }
  return MakeGrid({"m", "a", "b"}, rows);
}

TEST(ChooseBody, ModesAndTheAutoRule) {
  const ResultGrid one_row = MakeGrid({"m", "a"}, {{std::string("x"), 1.0}});
  const struct {
    std::string mode;
    ResultGrid grid;
    BodyKind expected;
  } cases[] = {
      {.mode = "AUTO", .grid = one_row, .expected = BodyKind::Kpi},
      {.mode = "AUTO", .grid = TwelveMonths(), .expected = BodyKind::ChartTable},
      {.mode = "AUTO", .grid = TwelveMonths(std::string("n/d")), .expected = BodyKind::Table},
      {.mode = "AUTO", .grid = TwelveMonths(Null{}), .expected = BodyKind::ChartTable},
      {.mode = "AUTO", .grid = MakeGrid({"a"}, {{1.0}, {2.0}}), .expected = BodyKind::Table},
      {.mode = "PIE", .grid = TwelveMonths(), .expected = BodyKind::ChartTable},
      {.mode = "TABLE", .grid = one_row, .expected = BodyKind::Table},
      {.mode = "KPI", .grid = TwelveMonths(), .expected = BodyKind::Kpi},
      {.mode = "CHART", .grid = one_row, .expected = BodyKind::Chart},
      {.mode = "CHARTTABLE", .grid = one_row, .expected = BodyKind::ChartTable},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ChooseBody(c.grid, c.mode, RegionalSettings{}), c.expected)
        << c.mode << " " << c.grid.Rows() << "x" << c.grid.Cols();
  }
}

struct MonthsContext : testing::SqliteContext {
  MonthsContext()
      : SqliteContext(
            {"CREATE TABLE t (m VARCHAR(10), a INTEGER, b DOUBLE)",
             "INSERT INTO t VALUES ('Gen', 10, 1.5), ('Feb', 20, 2.5), ('Mar', 40, 3.5)"}) {}
};

TEST(RenderBlockQuery, BodiesOfRealQueries) {
  MonthsContext t;
  const RegionalSettings rs;
  const ResultGrid months = MakeGrid({"m", "a", "b"}, {{std::string("Gen"), int64_t{10}, 1.5},
                                                       {std::string("Feb"), int64_t{20}, 2.5},
                                                       {std::string("Mar"), int64_t{40}, 3.5}});
  const std::string error = "<div class=\"error\">Errore query: ";
  const struct {
    std::string sql, mode, body;
  } cases[] = {
      {.sql = "SELECT m, a, b FROM t ORDER BY a",
       .mode = "AUTO",
       .body = RenderChart(months, rs) + testing::RenderedTable(months, rs)},
      {.sql = "SELECT m, a, b FROM t ORDER BY a",
       .mode = "CHART",
       .body = RenderChart(months, rs, "", true)},
      {.sql = "SELECT m, a FROM t WHERE a = 20", .mode = "CHART", .body = ""},
      {.sql = "SELECT * FROM t WHERE a > 1000",
       .mode = "CHART",
       .body = "<div class=\"nodata\">Nessun dato disponibile</div>"},
      {.sql = "SELECT * FROM t WHERE a > 1000",
       .mode = "TABLE",
       .body = "<div class=\"nodata\">Nessun dato disponibile</div>"},
      {.sql = "SELECT * FROM \"a<b&c\"",
       .mode = "TABLE",
       .body = error +
               "no such table: a&lt;b&amp;c — La query usa una tabella o una vista che non "
               "esiste: verificare i nomi nel testo SQL del blocco e il database a cui ci si "
               "collega.</div>"},
  };
  for (const auto& c : cases) EXPECT_EQ(testing::RenderedQuery(*t, c.sql, c.mode), c.body) << c.sql;
}

TEST(RenderBlock, FrameAroundTheBodyOfTheTrimmedMode) {
  MonthsContext t;
  Block b;
  b.Title = "Vendite & co";
  b.Subtitle = "<mese>";
  b.Sql = "SELECT a FROM t WHERE a = 10";
  b.RenderMode = "  kpi ";
  EXPECT_EQ(testing::RenderedBlock(*t, b),
            "<div class=\"block\"><div class=\"title\">Vendite &amp; co</div>"
            "<div class=\"subtitle\">&lt;mese&gt;</div><div class=\"sep\"></div>"
            "<div class=\"kpiwrap\"><div class=\"kpicard kpi-1\"><div class=\"kpilabel\">"
            "a</div><div class=\"kpivalue\">10</div></div></div></div>");
}

}  // namespace
}  // namespace panorello
