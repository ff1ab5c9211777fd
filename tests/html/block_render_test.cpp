#include "html/block_render.h"

#include <gtest/gtest.h>

#include "db/connection.h"
#include "html/chart.h"
#include "html/grid_builder.h"
#include "html/kpi_table.h"
#include "support/test_support.h"

namespace panorello {
namespace {

using testing::Cell;
using testing::MakeGrid;
using testing::Null;
using testing::TestContext;

std::vector<std::vector<Cell>> TwelveMonths(const Cell& odd_cell = 0.0, size_t odd_row = 99) {
  std::vector<std::vector<Cell>> rows;
  for (size_t r = 0; r < 12; ++r) {
    rows.push_back({std::string("M") + std::to_string(r + 1), static_cast<double>(r * 10),
                    r == odd_row ? odd_cell : Cell{static_cast<int64_t>(r)}});
  }
  return rows;
}

TEST(IsChartData, ColumnsOneAndUpMustBeNumericOrBlank) {
  const DateTimeValue date{2024, 1, 15, 0, 0, 0};
  struct Case {
    const char* name;
    ResultGrid grid;
    bool expected;
  } cases[] = {
      {"numbers", MakeGrid({"m", "a", "b"}, TwelveMonths()), true},
      {"n/d text", MakeGrid({"m", "a", "b"}, TwelveMonths(std::string("n/d"), 4)), false},
      {"null", MakeGrid({"m", "a", "b"}, TwelveMonths(Null{}, 4)), true},
      {"blank text", MakeGrid({"m", "a", "b"}, TwelveMonths(std::string("   "), 4)), true},
      {"numeric text", MakeGrid({"m", "a", "b"}, TwelveMonths(std::string(" 12.5 "), 4)), true},
      {"date-time", MakeGrid({"m", "a", "b"}, TwelveMonths(date, 4)), false},
      {"single column", MakeGrid({"m"}, {{1.0}, {2.0}}), false},
      {"text in column 0 only", MakeGrid({"m", "a"}, {{std::string("x"), 1.0}, {Null{}, 2.0}}), true},
  };
  for (auto& c : cases) EXPECT_EQ(IsChartData(c.grid, RegionalSettings{}), c.expected) << c.name;
}

TEST(ChooseBody, ModesAndTheAutoRule) {
  struct Case {
    const char* name;
    std::string mode;
    ResultGrid grid;
    BodyKind expected;
  } cases[] = {
      {"AUTO one row three columns", "AUTO",
       MakeGrid({"a", "b", "c"}, {{std::string("x"), int64_t{1}, 2.0}}), BodyKind::Kpi},
      {"AUTO one row one column", "AUTO", MakeGrid({"a"}, {{int64_t{5}}}), BodyKind::Kpi},
      {"AUTO twelve months", "AUTO", MakeGrid({"m", "a", "b"}, TwelveMonths()), BodyKind::ChartTable},
      {"AUTO n/d", "AUTO", MakeGrid({"m", "a", "b"}, TwelveMonths(std::string("n/d"), 3)),
       BodyKind::Table},
      {"AUTO nulls", "AUTO", MakeGrid({"m", "a", "b"}, TwelveMonths(Null{}, 3)), BodyKind::ChartTable},
      {"AUTO dates", "AUTO",
       MakeGrid({"m", "a", "b"}, TwelveMonths(DateTimeValue{2024, 2, 1, 14, 30, 0}, 0)),
       BodyKind::Table},
      {"AUTO single column rows", "AUTO", MakeGrid({"a"}, {{1.0}, {2.0}}), BodyKind::Table},
      {"unknown PIE", "PIE", MakeGrid({"m", "a", "b"}, TwelveMonths()), BodyKind::ChartTable},
      {"TABLE", "TABLE", MakeGrid({"a"}, {{int64_t{5}}}), BodyKind::Table},
      {"KPI many rows", "KPI", MakeGrid({"m", "a", "b"}, TwelveMonths()), BodyKind::Kpi},
      {"CHART", "CHART", MakeGrid({"a"}, {{std::string("x")}}), BodyKind::Chart},
      {"CHARTTABLE", "CHARTTABLE", MakeGrid({"a"}, {{std::string("x")}}), BodyKind::ChartTable},
  };
  for (auto& c : cases) EXPECT_EQ(ChooseBody(c.grid, c.mode, RegionalSettings{}), c.expected) << c.name;
}

TEST(RenderGridBody, BodiesAreTheRenderersInOrder) {
  const RegionalSettings rs;
  ResultGrid months = MakeGrid({"m", "a", "b"}, TwelveMonths());
  ResultGrid one_row = MakeGrid({"m", "a"}, {{std::string("x"), 1.0}});
  struct Case {
    std::string mode;
    const ResultGrid* grid;
    std::string expected;
  } cases[] = {
      {"AUTO", &months, RenderChart(months, rs) + RenderResultTable(months, rs)},
      {"CHARTTABLE", &months, RenderChart(months, rs) + RenderResultTable(months, rs)},
      {"CHART", &months, RenderChart(months, rs)},
      {"CHART", &one_row, ""},
      {"CHARTTABLE", &one_row, RenderResultTable(one_row, rs)},
      {"TABLE", &months, RenderResultTable(months, rs)},
      {"KPI", &months, RenderKpiCards(months, rs)},
      {"AUTO", &one_row, RenderKpiCards(one_row, rs)},
  };
  for (auto& c : cases) {
    PageOut out;
    RenderGridBody(*c.grid, c.mode, rs, out);
    EXPECT_EQ(out.Text(), c.expected) << c.mode;
  }
}

// A context whose connection is a SQLite file holding one small table.
struct SqliteContext : TestContext {
  SqliteContext() {
    const std::string path = folder.File("dati.db");
    auto db = CreateSqliteDatabase(path, ctx->limits);
    db->Execute("CREATE TABLE t (m VARCHAR(10), a INTEGER, b DOUBLE)");
    db->Execute("INSERT INTO t VALUES ('Gen', 10, 1.5), ('Feb', 20, 2.5), ('Mar', 40, 3.5)");
    ctx->settings.DbType = "ACCESS";
    ctx->settings.Database = path;
    ctx->settings.ConnectionString.clear();
  }
};

const char kErrorStart[] = "<div class=\"error\">Errore query: ";

TEST(RenderBlockQuery, ModesOnARealQuery) {
  SqliteContext t;
  const std::string sql = "SELECT m, a, b FROM t ORDER BY a";
  const std::string auto_body = RenderBlockQuery(*t, sql, "AUTO");
  EXPECT_EQ(auto_body.find("<div class=\"chartbox\">"), 0u);
  EXPECT_NE(auto_body.find("points=\"55,215 617.5,150 1180,20\""), std::string::npos);
  EXPECT_NE(auto_body.find("<table class=\"result\"><tr><th>m</th><th>a</th><th>b</th></tr>"),
            std::string::npos);
  EXPECT_EQ(RenderBlockQuery(*t, "SELECT a FROM t WHERE a = 20", "AUTO"),
            "<div class=\"kpiwrap\"><div class=\"kpicard kpi-1\"><div class=\"kpilabel\">a</div>"
            "<div class=\"kpivalue\">20</div></div></div>");
  EXPECT_EQ(RenderBlockQuery(*t, "SELECT m FROM t WHERE a = 20", "CHART"), "");
  EXPECT_EQ(RenderBlockQuery(*t, sql, "TABLE").find("<table class=\"result\">"), 0u);
}

TEST(RenderBlockQuery, NoRowsInEveryMode) {
  SqliteContext t;
  for (const char* mode : {"AUTO", "TABLE", "KPI", "CHART", "CHARTTABLE", "PIE"}) {
    EXPECT_EQ(RenderBlockQuery(*t, "SELECT * FROM t WHERE a > 1000", mode),
              "<div class=\"nodata\">Nessun dato disponibile</div>")
        << mode;
  }
}

TEST(RenderBlockQuery, ErrorsBecomeTheEscapedErrorBox) {
  SqliteContext t;
  const std::string bad = RenderBlockQuery(*t, "SELECT * FROM \"a<b&c\"", "TABLE");
  EXPECT_EQ(bad.find(kErrorStart), 0u) << bad;
  EXPECT_NE(bad.find("a&lt;b&amp;c"), std::string::npos) << bad;
  EXPECT_EQ(bad.find('<', 1), bad.find("</div>"));  // nothing unescaped inside the box
  EXPECT_EQ(RenderBlockQuery(*t, "", "AUTO").find(kErrorStart), 0u);

  t->settings.Database = t.folder.File("manca.db");
  const std::string refused = RenderBlockQuery(*t, "SELECT 1", "AUTO");
  EXPECT_EQ(refused.find(kErrorStart), 0u) << refused;
}

TEST(RenderBlockQuery, ChartThatCannotBeDrawnDropsTheWholeBody) {
  SqliteContext t;
  const std::string body =
      RenderBlockQuery(*t, "SELECT 'a', 1e-300 UNION ALL SELECT 'b', -1e300", "CHARTTABLE");
  EXPECT_EQ(body, std::string(kErrorStart) + "Valore non rappresentabile nel grafico</div>");
}

TEST(RenderBlock, FrameAroundTheBody) {
  SqliteContext t;
  Block b;
  b.Title = "Vendite & co";
  b.Subtitle = "";
  b.Sql = "SELECT a FROM t WHERE a = 10";
  for (const char* mode : {"", "  kpi ", "auto"}) {
    b.RenderMode = mode;
    EXPECT_EQ(RenderBlock(*t, b),
              "<div class=\"block\"><div class=\"title\">Vendite &amp; co</div>"
              "<div class=\"subtitle\"></div><div class=\"sep\"></div>"
              "<div class=\"kpiwrap\"><div class=\"kpicard kpi-1\"><div class=\"kpilabel\">a</div>"
              "<div class=\"kpivalue\">10</div></div></div></div>")
        << mode;
  }
  b.RenderMode = " table ";
  EXPECT_NE(RenderBlock(*t, b).find("<div class=\"sep\"></div><table class=\"result\">"),
            std::string::npos);
}

}  // namespace
}  // namespace panorello
