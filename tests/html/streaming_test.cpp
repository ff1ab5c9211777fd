// TABLE and CHART bodies written while the rows arrive: the same bytes as the table of the whole
// result, and a failure half-way through that leaves the error box alone.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <string>
#include <vector>

#include "db/connection.h"
#include "html/block_render.h"
#include "html/generation.h"
#include "html/grid_builder.h"
#include "html/page_out.h"
#include "support/rendered.h"
#include "support/test_support.h"

namespace panorello {
namespace {

const std::string kOverflowBox = "<div class=\"error\">Errore query: integer overflow</div>";
// A failure on row 5001: SQLite's integer overflow, raised after 5000 rows were handed on.
constexpr const char* kFailsLate =
    "SELECT n, testo, CASE WHEN n > 5000 THEN abs(-9223372036854775808) ELSE n END AS v FROM molte";

struct SqliteContext : testing::SqliteContext {
  SqliteContext()
      : testing::SqliteContext(
            {"CREATE TABLE t (id INTEGER, \"nome & co\" TEXT, importo DOUBLE, creato DATETIME, ok "
             "BOOLEAN, dato BLOB)",
             "INSERT INTO t VALUES (1, 'A & <b> \"c\"', 1.37, '2024-03-05 14:30:00', 1, x'00ff'), "
             "(2, NULL, 0.1, '2024-03-05', 'false', NULL), (3, 'riga\r\ndue\rtre', -1e20, 'non "
             "data', 'x', x''), "
             "(4, '', 1234567.125, '07:08:09', 0, x'10'), (5, 'è ✓', 0.000012, NULL, NULL, NULL)",
             "CREATE TABLE molte AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
             "WHERE i < 8000) "
             "SELECT i AS n, 'riga ' || i || ' ' || replace(hex(zeroblob(50)), '0', '&') AS testo "
             "FROM n"}) {}
};

TEST(TableStreaming, SameBytesAsTheTableOfTheWholeResult) {
  SqliteContext t;
  t->regional.decimal_separator = '&';  // separators that must be escaped in the page
  t->regional.short_date = "dd<mm>yyyy";
  const char* const sql = "SELECT * FROM t ORDER BY id";
  const std::optional<ResultGrid> grid = OpenConnection(t->settings, t->limits)->Query(sql);
  ASSERT_TRUE(grid.has_value());
  EXPECT_EQ(testing::RenderedQuery(*t, sql, " table "), testing::RenderedTable(*grid, t->regional));
  // A late failure takes back only the block's body, not what was on the page before it; a
  // chart drawn from the rows so far never reaches the page.
  for (const char* mode : {"TABLE", "CHART"}) {
    PageOut out;
    out.Append("<div>prima</div>");
    RenderBlockQuery(BlockQueryEnv::Of(*t), kFailsLate, mode, out);
    EXPECT_EQ(out.TakeText(), "<div>prima</div>" + kOverflowBox) << mode;
  }
}

TEST(TableStreaming, AFailingPageFileFailsTheRunInsteadOfBecomingAnErrorBox) {
  // The page file stops growing at 1 MB while a TABLE block is written: the run fails with the
  // system's reason, not a later "write interrupted" from taking the block back.
  SqliteContext t;
  t.Add("Grande", "SELECT n, testo FROM molte", "TABLE");
  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 1000000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  GenerationOutcome run;
  const bool ok = RunDashboardGeneration(*t, false, true, "", run);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_FALSE(ok);
  EXPECT_FALSE(FileExists(t->settings.OutputFile));
  const std::vector<std::string> log = testing::LogMessages(t.folder.Path());
  ASSERT_FALSE(log.empty());
  const std::string head = "Errore RunDashboardGeneration: Impossibile scrivere il file " +
                           t->settings.OutputFile + ": ";
  EXPECT_EQ(log.back().rfind(head, 0), 0u) << log.back();
  EXPECT_EQ(log.back().find("scrittura interrotta"), std::string::npos) << log.back();
}

}  // namespace
}  // namespace panorello
