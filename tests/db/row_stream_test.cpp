// Row streaming: the rows QueryRows hands on are the rows Query collects, on SQLite and through
// ODBC, with failures half-way and the re-read of a result whose sizes were wrong.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "db_test_servers.h"
#include "support/test_support.h"
#include "util/error.h"

namespace panorello {
namespace {

using Texts = std::vector<std::string>;

std::string TypedText(const CellView& cell) {
  RegionalSettings r;
  r.decimal_separator = ',';
  r.short_date = "dd.mm.yyyy";
  return std::to_string(static_cast<int>(cell.type)) + ":" + CellText(cell, r);
}

struct RecordingSink final : RowSink {
  void Columns(const std::vector<std::string>& n) override {
    ++columns_calls;
    names = n;
  }
  void Row(const CellView* cells, size_t count) override {
    Texts row;
    for (size_t c = 0; c < count; ++c) row.push_back(TypedText(cells[c]));
    rows.push_back(std::move(row));
    if (on_row) on_row();
  }
  void Restart() override {
    ++restarts;
    names.clear();
    rows.clear();
  }
  int columns_calls = 0;
  int restarts = 0;
  Texts names;
  std::vector<Texts> rows;
  std::function<void()> on_row;
};

// QueryRows and Query of one statement agree: same names, same cells, same "any row" answer.
void ExpectSameAsGrid(Connection& connection, const std::string& sql) {
  SCOPED_TRACE(sql);
  RecordingSink sink;
  const bool any = connection.QueryRows(sql, sink);
  const std::optional<ResultGrid> grid = connection.Query(sql);
  EXPECT_EQ(sink.columns_calls - sink.restarts, 1);
  ASSERT_EQ(any, grid.has_value());
  std::vector<Texts> rows;
  Texts names;
  for (size_t r = 0; grid && r < grid->Rows(); ++r) {
    rows.emplace_back();
    for (size_t c = 0; c < grid->Cols(); ++c) rows.back().push_back(TypedText(grid->At(r, c)));
  }
  for (size_t c = 0; grid && c < grid->Cols(); ++c) names.push_back(grid->ColumnName(c));
  if (grid) {
    EXPECT_EQ(sink.names, names);
  }
  EXPECT_TRUE(sink.rows == rows);
}

class SqliteRows : public ::testing::Test {
 protected:
  void SetUp() override {
    connection_ = CreateSqliteDatabase(folder_.File("dati.db"), {});
    connection_->Execute("CREATE TABLE t (id INTEGER, nome TEXT, importo DOUBLE, creato DATETIME, ok BOOLEAN, dato BLOB)");
    connection_->Execute(
        "INSERT INTO t VALUES (1, 'A & <b>', 1.37, '2024-03-05 14:30:00', 1, x'00ff'), "
        "(2, NULL, 0.1, '2024-03-05', 'false', NULL), (3, 'riga\r\ndue', -1e20, 'non data', 'x', "
        "x''), (4, '', 1234567.125, '07:08:09', 0, x'10')");
    connection_->Execute(
        "CREATE TABLE molte AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
        "WHERE i < 10000) SELECT i AS n, 'riga ' || i AS testo FROM n");
  }
  testing::TempFolder folder_;
  std::unique_ptr<Connection> connection_;
};

TEST_F(SqliteRows, RowsAreTheCellsOfTheGrid) {
  for (const char* sql : {"SELECT * FROM t ORDER BY id", "SELECT * FROM t WHERE id > 99",
                          "SELECT n, testo, n * 0.5 AS meta FROM molte", "SELECT NULL AS niente, 'x' AS y"}) {
    ExpectSameAsGrid(*connection_, sql);
  }
  RecordingSink empty;  // no rows: the columns are still named
  EXPECT_FALSE(connection_->QueryRows("SELECT id AS numero, nome FROM t WHERE id < 0", empty));
  EXPECT_EQ(empty.names, (Texts{"numero", "nome"}));
}

TEST_F(SqliteRows, FailuresBeforeAndAfterTheFirstRows) {
  const struct {
    const char* sql;
    size_t rows_before;  // rows handed on before the failure
    const char* message;
  } cases[] = {
      {"SELECT CASE WHEN n > 5000 THEN abs(-9223372036854775808) ELSE n END AS v FROM molte", 5000, "integer overflow"},
      {"SELECT * FROM mancante", 0, "no such table: mancante"},
      {"CREATE TABLE nuova (x)", 0, "L'istruzione SQL non restituisce un risultato (nessuna colonna)"},
      {"   ", 0, "Testo SQL vuoto: nessuna istruzione da eseguire"},
  };
  for (const auto& k : cases) {
    RecordingSink sink;
    try {
      connection_->QueryRows(k.sql, sink);
      ADD_FAILURE() << k.sql;
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()), k.message);
    }
    EXPECT_EQ(sink.rows.size(), k.rows_before) << k.sql;
  }
  // An exception of the sink stops the statement, and the connection stays usable.
  RecordingSink sink;
  sink.on_row = [&sink] {
    if (sink.rows.size() == 3) throw Error("pagina piena");
  };
  EXPECT_THROW(connection_->QueryRows("SELECT n FROM molte", sink), Error);
  EXPECT_EQ(sink.rows.size(), 3u);
  ExpectSameAsGrid(*connection_, "SELECT count(*) AS quante FROM molte");
}

using ServerRows = testing::ServerTest;

TEST_F(ServerRows, RowsAreTheCellsOfTheGrid) {
  auto pg = Pg();
  for (const char* sql :
       {"SELECT g AS n, g * 0.5::float8 AS half, TIMESTAMP '2024-01-01' + g * INTERVAL '1 minute' "
        "AS ts, CASE WHEN g % 7 = 0 THEN NULL ELSE 'r' || g END AS maybe, 1.50::numeric(5,2) AS d, "
        "g % 2 = 0 AS pari FROM generate_series(1, 3000) g",
        "SELECT 1 AS n WHERE false", "SELECT repeat('àb', 70000) AS t, 1 AS n UNION ALL SELECT 'corto', 2"}) {
    ExpectSameAsGrid(*pg, sql);
  }
  ExpectSameAsGrid(*Maria(), "SELECT 1 AS n, 'è' AS t, CAST(2.5 AS DOUBLE) AS d UNION ALL SELECT 2, REPEAT('x', 20000), NULL");
}

TEST_F(ServerRows, AValueLongerThanItsColumnSaidStartsTheRowsAgain) {
  // Text columns are bound at their reported width; a longer value far into the result voids the
  // rows handed on, and the whole result comes again, value by value.
  const std::string sql =
      "SELECT g AS n, CASE WHEN g = 2900 THEN repeat('y', 9000) ELSE 'r' || g END AS t "
      "FROM generate_series(1, 3000) g ORDER BY g";
  auto pg = Pg();
  RecordingSink sink;
  ASSERT_TRUE(pg->QueryRows(sql, sink));
  EXPECT_EQ(sink.restarts, 1);
  EXPECT_EQ(sink.columns_calls, 2);
  ASSERT_EQ(sink.rows.size(), 3000u);
  EXPECT_EQ(sink.rows[2899][1], "5:" + std::string(9000, 'y'));
  ExpectSameAsGrid(*pg, sql);
}

TEST_F(ServerRows, FailuresComeAsTheDriverMessage) {
  auto pg = Pg();
  RecordingSink sink;
  try {
    pg->QueryRows("SELECT * FROM tabella_che_non_esiste", sink);
    ADD_FAILURE() << "nessun errore";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("tabella_che_non_esiste"), std::string::npos) << e.what();
  }
  EXPECT_EQ(sink.columns_calls, 0);
  EXPECT_THROW(pg->QueryRows("SET search_path TO public", sink), Error);
  // Division by zero on row 2000, after the first row arrays were read.
  EXPECT_THROW(pg->QueryRows("SELECT 1 / (2000 - g) AS x FROM generate_series(1, 3000) g", sink), Error);
}

}  // namespace
}  // namespace panorello
