// Row-streaming queries: the rows that QueryRows hands on are the rows Query collects, on SQLite
// and through ODBC, with failures half-way and the re-read of a result whose sizes were wrong.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/connection_string.h"
#include "support/test_support.h"
#include "util/error.h"

namespace panorello {
namespace {

using Texts = std::vector<std::string>;

RegionalSettings Italian() {
  RegionalSettings r;
  r.decimal_separator = ',';
  r.short_date = "dd.mm.yyyy";
  return r;
}

// Everything a sink receives, as texts with the cell types.
struct RecordingSink final : RowSink {
  void Columns(const std::vector<std::string>& n) override {
    ++columns_calls;
    names = n;
  }
  void Row(const CellView* cells, size_t count) override {
    Texts row;
    for (size_t c = 0; c < count; ++c) {
      row.push_back(std::to_string(static_cast<int>(cells[c].type)) + ":" +
                    CellText(cells[c], Italian()));
    }
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
  std::vector<std::string> names;
  std::vector<Texts> rows;
  std::function<void()> on_row;
};

std::vector<Texts> GridRows(const ResultGrid& grid) {
  std::vector<Texts> rows;
  for (size_t r = 0; r < grid.Rows(); ++r) {
    Texts row;
    for (size_t c = 0; c < grid.Cols(); ++c) {
      const CellView cell = grid.At(r, c);
      row.push_back(std::to_string(static_cast<int>(cell.type)) + ":" + CellText(cell, Italian()));
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<std::string> GridNames(const ResultGrid& grid) {
  std::vector<std::string> names;
  for (size_t c = 0; c < grid.Cols(); ++c) names.push_back(grid.ColumnName(c));
  return names;
}

// QueryRows and Query of one statement agree: same names, same cells, same "any row" answer.
void ExpectSameAsGrid(Connection& connection, const std::string& sql) {
  SCOPED_TRACE(sql);
  RecordingSink sink;
  const bool any = connection.QueryRows(sql, sink);
  const std::optional<ResultGrid> grid = connection.Query(sql);
  EXPECT_EQ(sink.columns_calls - sink.restarts, 1);
  EXPECT_EQ(any, grid.has_value());
  if (!grid) {
    EXPECT_TRUE(sink.rows.empty());
    return;
  }
  EXPECT_EQ(sink.names, GridNames(*grid));
  EXPECT_EQ(sink.rows, GridRows(*grid));
}

Settings Access(const std::string& path) {
  Settings s;
  s.DbType = "access";
  s.Database = path;
  return s;
}

class SqliteRows : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = folder_.File("dati.db");
    auto c = CreateSqliteDatabase(path_, {});
    c->Execute(
        "CREATE TABLE t (id INTEGER, nome TEXT, importo DOUBLE, creato DATETIME, ok BOOLEAN, "
        "dato BLOB)");
    c->Execute(
        "INSERT INTO t VALUES (1, 'A & <b>', 1.37, '2024-03-05 14:30:00', 1, x'00ff'), "
        "(2, NULL, 0.1, '2024-03-05', 'false', NULL), (3, 'riga\r\ndue', -1e20, 'non data', 'x', "
        "x''), (4, '', 1234567.125, '07:08:09', 0, x'10')");
    c->Execute(
        "CREATE TABLE molte AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
        "WHERE i < 10000) SELECT i AS n, 'riga ' || i AS testo FROM n");
  }
  std::unique_ptr<Connection> Open() { return OpenConnection(Access(path_), {}); }

  testing::TempFolder folder_;
  std::string path_;
};

TEST_F(SqliteRows, RowsAreTheCellsOfTheGrid) {
  auto c = Open();
  for (const char* sql : {"SELECT * FROM t ORDER BY id", "SELECT * FROM t WHERE id > 99",
                          "SELECT n, testo, n * 0.5 AS meta FROM molte", "SELECT 1 AS uno",
                          "SELECT NULL AS niente, 'x' AS y"}) {
    ExpectSameAsGrid(*c, sql);
  }
}

TEST_F(SqliteRows, EmptyResultStillNamesTheColumns) {
  RecordingSink sink;
  EXPECT_FALSE(Open()->QueryRows("SELECT id AS numero, nome FROM t WHERE id < 0", sink));
  EXPECT_EQ(sink.columns_calls, 1);
  EXPECT_EQ(sink.names, (std::vector<std::string>{"numero", "nome"}));
  EXPECT_TRUE(sink.rows.empty());
}

TEST_F(SqliteRows, FailuresBeforeAndAfterTheFirstRows) {
  struct Case {
    const char* sql;
    size_t rows_before;  // rows handed on before the failure
    const char* message;
  } cases[] = {
      {"SELECT CASE WHEN n > 5000 THEN abs(-9223372036854775808) ELSE n END AS v FROM molte", 5000,
       "integer overflow"},
      {"SELECT * FROM mancante", 0, "no such table: mancante"},
      {"CREATE TABLE nuova (x)", 0, "L'istruzione SQL non restituisce un risultato (nessuna colonna)"},
      {"   ", 0, "Testo SQL vuoto: nessuna istruzione da eseguire"},
  };
  auto c = Open();
  for (const Case& k : cases) {
    SCOPED_TRACE(k.sql);
    RecordingSink sink;
    try {
      c->QueryRows(k.sql, sink);
      ADD_FAILURE() << "nessun errore";
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()), k.message);
    }
    EXPECT_EQ(sink.rows.size(), k.rows_before);
  }
}

TEST_F(SqliteRows, AnExceptionOfTheSinkStopsTheStatement) {
  auto c = Open();
  RecordingSink sink;
  sink.on_row = [&sink] {
    if (sink.rows.size() == 3) throw Error("pagina piena");
  };
  EXPECT_THROW(c->QueryRows("SELECT n FROM molte", sink), Error);
  EXPECT_EQ(sink.rows.size(), 3u);
  // The connection is usable again: the statement was finalized.
  ExpectSameAsGrid(*c, "SELECT count(*) AS quante FROM molte");
}

// Against the servers of the ctest fixture (tests/db/db_servers.sh).
class ServerRows : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ifstream in(std::string(PANORELLO_BINARY_DIR) + "/db-servers/servers.env");
    for (std::string line; std::getline(in, line);) {
      const size_t eq = line.find('=');
      if (eq != std::string::npos) env_[line.substr(0, eq)] = line.substr(eq + 1);
    }
    if (env_["READY"] != "1") GTEST_SKIP() << "Server di test non avviati (eseguire con ctest)";
  }
  std::unique_ptr<Connection> Pg() {
    return OpenConnectionString("Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=" + env_["PG_PORT"] +
                                    ";Database=" + env_["DATABASE"] + ";Uid=" + env_["USER"] +
                                    ";Pwd=" + QuoteOdbc(env_["PASSWORD"]) + ";",
                                {});
  }
  std::unique_ptr<Connection> Maria() {
    return OpenConnectionString("Driver={MariaDB Unicode};Server=127.0.0.1;Port=" +
                                    env_["MARIADB_PORT"] + ";Database=" + env_["DATABASE"] +
                                    ";Uid=" + env_["USER"] + ";Pwd=" + QuoteOdbc(env_["PASSWORD"]) + ";",
                                {});
  }
  static std::string QuoteOdbc(const std::string& v) {
    std::string out = "{";
    for (char ch : v) {
      out += ch;
      if (ch == '}') out += '}';
    }
    return out + "}";
  }
  std::map<std::string, std::string> env_;
};

TEST_F(ServerRows, RowsAreTheCellsOfTheGrid) {
  auto pg = Pg();
  for (const char* sql :
       {"SELECT g AS n, g * 0.5::float8 AS half, TIMESTAMP '2024-01-01' + g * INTERVAL '1 minute' "
        "AS ts, CASE WHEN g % 7 = 0 THEN NULL ELSE 'r' || g END AS maybe, 1.50::numeric(5,2) AS d, "
        "g % 2 = 0 AS pari FROM generate_series(1, 3000) g",
        "SELECT 1 AS n WHERE false",
        // a long value: read value by value from the start
        "SELECT repeat('àb', 70000) AS t, 1 AS n UNION ALL SELECT 'corto', 2"}) {
    ExpectSameAsGrid(*pg, sql);
  }
  auto maria = Maria();
  for (const char* sql : {"SELECT 1 AS n, 'è' AS t, CAST(2.5 AS DOUBLE) AS d UNION ALL "
                          "SELECT 2, REPEAT('x', 20000), NULL"}) {
    ExpectSameAsGrid(*maria, sql);
  }
}

TEST_F(ServerRows, AValueLongerThanItsColumnSaidStartsTheRowsAgain) {
  // Text columns are bound at their reported width; a longer value far into the result means
  // that rows already handed on are void and the whole result comes again, value by value.
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
  // Division by zero on row 2000 of the result (after the first row arrays were read).
  RecordingSink late;
  EXPECT_THROW(pg->QueryRows("SELECT 1 / (2000 - g) AS x FROM generate_series(1, 3000) g", late),
               Error);
}

}  // namespace
}  // namespace panorello
