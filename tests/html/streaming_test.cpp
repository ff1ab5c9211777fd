// TABLE bodies written while the rows arrive: the same bytes as the table of the whole result, the
// no-data note, and a failure half-way through that leaves the error box alone — in memory and in
// the page file, also after parts of the table already reached the file.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <string>
#include <vector>

#include "db/connection.h"
#include "html/block_render.h"
#include "html/generation.h"
#include "html/kpi_table.h"
#include "html/page_out.h"
#include "support/test_support.h"
#include "util/text.h"

namespace panorello {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::TestContext;

// The table of a whole result built cell by cell from CellText and HtmlEncode.
std::string ExpectedTable(const ResultGrid& grid, const RegionalSettings& regional) {
  std::string out = "<table class=\"result\"><tr>";
  for (size_t c = 0; c < grid.Cols(); ++c) out += "<th>" + HtmlEncode(grid.ColumnName(c)) + "</th>";
  out += "</tr>";
  for (size_t r = 0; r < grid.Rows(); ++r) {
    out += "<tr>";
    for (size_t c = 0; c < grid.Cols(); ++c) {
      out += "<td>" + HtmlEncode(CellText(grid.At(r, c), regional)) + "</td>";
    }
    out += "</tr>";
  }
  return out + "</table>";
}

std::string ErrorBox(const std::string& message) {
  return "<div class=\"error\">Errore query: " + HtmlEncode(message) + "</div>";
}

// A failure on row 5001: SQLite's integer overflow, raised after 5000 rows were handed on.
constexpr const char* kFailsLate =
    "SELECT n, testo, CASE WHEN n > 5000 THEN abs(-9223372036854775808) ELSE n END AS v FROM molte";

struct SqliteContext : TestContext {
  SqliteContext() {
    const std::string path = folder.File("dati.db");
    auto c = CreateSqliteDatabase(path, ctx->limits);
    c->Execute(
        "CREATE TABLE t (id INTEGER, \"nome & co\" TEXT, importo DOUBLE, creato DATETIME, "
        "ok BOOLEAN, dato BLOB, quota REAL)");
    c->Execute(
        "INSERT INTO t VALUES (1, 'A & <b> \"c\"', 1.37, '2024-03-05 14:30:00', 1, x'00ff', 0.5), "
        "(2, NULL, 0.1, '2024-03-05', 'false', NULL, NULL), "
        "(3, 'riga\r\ndue\rtre\nquattro', -1e20, 'non data', 'x', x'', 1e-7), "
        "(4, '', 1234567.125, '07:08:09', 0, x'10', -2), (5, 'è ✓', 0.000012, NULL, NULL, NULL, 3)");
    c->Execute(
        "CREATE TABLE molte AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
        "WHERE i < 8000) SELECT i AS n, 'riga ' || i || ' ' || replace(hex(zeroblob(50)), '0', '&') AS testo "
        "FROM n");
    ctx->settings.DbType = "ACCESS";
    ctx->settings.Database = path;
    ctx->settings.ConnectionString.clear();
    ctx->settings.OutputFile = folder.File("out/page.html");
  }
  void Add(const std::string& title, const std::string& mode, const std::string& sql) {
    Block b;
    b.Title = title;
    b.RenderMode = mode;
    b.Sql = sql;
    ctx->blocks.SaveBlock(-1, b);
  }
};

TEST(TableStreaming, SameBytesAsTheTableOfTheWholeResult) {
  SqliteContext t;
  RegionalSettings italian;
  italian.decimal_separator = ',';
  italian.short_date = "dd.mm.yyyy";
  RegionalSettings odd;  // separators that must be escaped in the page
  odd.decimal_separator = '&';
  odd.short_date = "dd<mm>yyyy";
  for (const RegionalSettings& regional : {RegionalSettings{}, italian, odd}) {
    t->regional = regional;
    for (const char* sql : {"SELECT * FROM t ORDER BY id", "SELECT n, testo, n / 7.0 AS r FROM molte",
                            "SELECT 'x' AS \"<tag>\""}) {
      SCOPED_TRACE(sql);
      const std::optional<ResultGrid> grid = OpenConnection(t->settings, t->limits)->Query(sql);
      ASSERT_TRUE(grid.has_value());
      const std::string expected = ExpectedTable(*grid, regional);
      for (const char* mode : {"TABLE", " table "}) {
        const std::string got = RenderBlockQuery(*t, sql, mode);
        EXPECT_EQ(got.size(), expected.size());
        EXPECT_TRUE(got == expected) << got.substr(0, 400);
      }
      EXPECT_TRUE(RenderResultTable(*grid, regional) == expected);  // the grid road agrees
    }
  }
}

TEST(TableStreaming, NoRowsGiveTheNoteAndFailuresTheErrorBox) {
  SqliteContext t;
  const std::string nodata = "<div class=\"nodata\">Nessun dato disponibile</div>";
  struct Case {
    std::string sql;
    std::string expected;
  } cases[] = {
      {"SELECT * FROM t WHERE id < 0", nodata},
      {kFailsLate, ErrorBox("integer overflow")},
      {"SELECT * FROM <mancante>", ErrorBox("near \"<\": syntax error")},
      {"", ErrorBox("Testo SQL vuoto: nessuna istruzione da eseguire")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(RenderBlockQuery(*t, c.sql, "TABLE"), c.expected);
    // The whole-result road of the other modes gives the same body for these.
    EXPECT_EQ(RenderBlockQuery(*t, c.sql, "AUTO"), c.expected);
  }
  // What was on the page before the block stays; only the body is taken back.
  PageOut out;
  out.Append("<div>prima</div>");
  RenderBlockQuery(*t, kFailsLate, "TABLE", out);
  EXPECT_EQ(out.Text(), "<div>prima</div>" + ErrorBox("integer overflow"));
}

TEST(TableStreaming, AFailureAfterPartsReachedTheFileLeavesTheErrorBoxAlone) {
  // The failing block writes about 2.5 MB of rows before its error: several chunks go to
  // the temporary file first. The page must equal the page where that block fails at once
  // (mode AUTO reads the whole result before writing anything) and the page built in memory.
  SqliteContext t;
  t.Add("Prima", "TABLE", "SELECT id, \"nome & co\" FROM t ORDER BY id");
  t.Add("Guasto", "TABLE", kFailsLate);
  t.Add("Vuoto", "TABLE", "SELECT * FROM t WHERE 0");
  t.Add("Dopo", "TABLE", "SELECT n, testo FROM molte WHERE n <= 3000");
  ASSERT_TRUE(RunDashboardGeneration(*t, false, true, ""));
  const std::string streamed = ReadBytes(t->settings.OutputFile);
  const std::string in_memory = BuildDashboardHtml(*t, "");

  t->blocks.At(1).RenderMode = "AUTO";
  ASSERT_TRUE(RunDashboardGeneration(*t, false, true, ""));
  const std::string whole_result = ReadBytes(t->settings.OutputFile);

  EXPECT_EQ(streamed.size(), whole_result.size());
  EXPECT_TRUE(streamed == whole_result);
  EXPECT_TRUE(in_memory == whole_result);
  EXPECT_EQ(testing::CountOf(streamed, ErrorBox("integer overflow")), 1u);
  EXPECT_NE(streamed.find("<div class=\"title\">Guasto</div><div class=\"subtitle\"></div>"
                          "<div class=\"sep\"></div>" +
                          ErrorBox("integer overflow") + "</div>"),
            std::string::npos);
  EXPECT_EQ(testing::CountOf(streamed, "riga 5000 "), 0u);  // none of the failed rows is left
  EXPECT_EQ(testing::CountOf(streamed, "riga 3000 "), 1u);
  EXPECT_EQ(testing::CountOf(streamed, "Nessun dato disponibile"), 1u);
}

TEST(TableStreaming, AFailingPageFileFailsTheRunInsteadOfBecomingAnErrorBox) {
  // The file of the page stops growing at 1 MB while a TABLE block is being written: that is not
  // the block's failure but the run's, with the file's own message.
  SqliteContext t;
  t.Add("Grande", "TABLE", "SELECT n, testo FROM molte");
  struct rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 1000000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool ok = RunDashboardGeneration(*t, false, true, "");
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_FALSE(ok);
  EXPECT_FALSE(FileExists(t->settings.OutputFile));
  const std::vector<std::string> log = testing::LogMessages(t.folder.Path());
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back().rfind("Errore RunDashboardGeneration: Impossibile scrivere il file " +
                                 t->settings.OutputFile + ": ",
                             0),
            0u)
      << log.back();
  // The system's reason, not a later "write interrupted" from taking the block back.
  EXPECT_EQ(log.back().find("scrittura interrotta"), std::string::npos) << log.back();
}

TEST(PageOutRollback, TruncateToAMarkInMemoryAndInTheFile) {
  struct Case {
    const char* name;
    bool to_file;
    size_t before;  // bytes before the mark
    size_t after;   // bytes written after it, then taken back
  } cases[] = {
      {"memory", false, 10, 5000},
      {"file, within the buffer", true, 10, 100},
      {"file, back into what was flushed", true, 300000, 700000},
      {"file, mark inside a flushed chunk", true, 10, 600000},
      {"file, nothing after the mark", true, 400000, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    const std::string path = folder.File("p.html");
    AtomicFileWriter file(path);
    PageOut out(c.to_file ? &file : nullptr);
    const std::string before(c.before, 'a');
    out.Append(before);
    out.MaybeFlush();
    const uint64_t mark = out.Size();
    ASSERT_EQ(mark, c.before);
    for (size_t done = 0; done < c.after; done += 1000) {
      out.Append(std::string(std::min<size_t>(1000, c.after - done), 'b'));
      out.MaybeFlush();
    }
    ASSERT_EQ(out.Size(), c.before + c.after);
    out.TruncateTo(mark);
    EXPECT_EQ(out.Size(), mark);
    out.Append("fine");
    out.Flush();
    if (c.to_file) {
      file.Commit();
      EXPECT_TRUE(ReadBytes(path) == before + "fine");
    } else {
      EXPECT_TRUE(out.Text() == before + "fine");
    }
  }
}

}  // namespace
}  // namespace panorello
