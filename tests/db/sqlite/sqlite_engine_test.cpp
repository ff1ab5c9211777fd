// SQLite files: opening, the first statement only, types, time-outs, creation.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>

#include "db/connection.h"
#include "db/db_error.h"
#include "db/db_test_support.h"
#include "db/sqlite/sqlite_values.h"
#include "support/test_support.h"
#include "util/error.h"

namespace panorello {
namespace {

using testing::ExpectSameAsGrid;
using testing::RecordingSink;
using testing::TempFolder;
using Texts = std::vector<std::string>;

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.what();
  }
  return "(nessun errore)";
}

Settings Access(const std::string& path) { return {.DbType = "access", .Database = path}; }
std::unique_ptr<Connection> Open(const std::string& path, ConnectionLimits limits = {}) {
  return OpenConnection(Access(path), limits);
}

class SqliteFile : public ::testing::Test {
 protected:
  void SetUp() override {
    auto c = CreateSqliteDatabase(path_, {});
    c->Execute(
        "CREATE TABLE t (i INTEGER, r DOUBLE, s VARCHAR(20), d DATETIME, b BOOLEAN, "
        "n NUMERIC, x BLOB, dd DATE, tt TIME, bit BIT)");
    c->Execute(
        "INSERT INTO t VALUES (1, 1234.5, 'Città', '2024-03-05 14:30:00', 1, 12.50, x'00FF', "
        "'2024-12-01', '07:08:09', 0), (NULL, NULL, NULL, '2024-03-05', 0, 7, NULL, "
        "'non una data', NULL, 'true')");
    c->Execute(
        "CREATE TABLE molte AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
        "WHERE i < 10000) SELECT i AS n, 'riga ' || i AS testo FROM n");
  }
  int64_t Count(Connection& c) { return c.Query("SELECT count(*) FROM t")->At(0, 0).integer; }

  TempFolder folder_;
  std::string path_ = folder_.File("dati.db");
};

TEST_F(SqliteFile, DeclaredTypesBecomeCells) {
  auto grid = Open(path_)->Query(
      "SELECT i, r, s, d, b, n, x, dd, tt, bit, 'a' || 'b' AS expr FROM t ORDER BY rowid");
  ASSERT_TRUE(grid.has_value());
  ASSERT_EQ(grid->Rows(), 2u);
  EXPECT_EQ(testing::RowTexts(*grid, 0),
            (Texts{"1", "1234,5", "Città", "05/03/2024 14:30:00", "True", "12,5", "00FF",
                   "01/12/2024", "07:08:09", "False", "ab"}));
  EXPECT_EQ(testing::RowTexts(*grid, 1),
            (Texts{"", "", "", "05/03/2024", "False", "7", "", "non una data", "", "True", "ab"}));
  // The texts that another type would show the same way.
  const std::tuple<size_t, size_t, CellType> types[] = {
      {1, 3, CellType::Date}, {0, 8, CellType::Time}, {1, 0, CellType::Null}};
  for (const auto& [row, col, type] : types) EXPECT_EQ(grid->At(row, col).type, type) << row << col;
}

TEST_F(SqliteFile, OnlyTheFirstStatementRuns) {
  EXPECT_EQ(Open(path_)->Query("SELECT count(*) FROM t; DROP TABLE t")->At(0, 0).integer, 2);
  auto c = OpenSqliteDatabaseForWriting(path_, {});
  c->Execute("DELETE FROM t WHERE i = 1; DELETE FROM t");
  EXPECT_EQ(Count(*c), 1);
}

TEST_F(SqliteFile, BlockStatementsLeaveTheFileUnchanged) {
  const std::string before = testing::ReadBytes(path_);
  const std::string copy = folder_.File("copia.db");
  const std::string statements[] = {
      "DELETE FROM t RETURNING i",  "PRAGMA journal_mode=WAL",
      "PRAGMA user_version = 7",    "VACUUM",
      "VACUUM INTO '" + copy + "'", "ATTACH '" + copy + "' AS altro",
  };
  for (const std::string& sql : statements) {
    for (const bool rows : {true, false}) {
      try {
        if (rows)
          Open(path_)->Query(sql);
        else
          Open(path_)->Execute(sql);  // statements without result columns run too
      } catch (const Error&) {
        // refused: what counts is the file
      }
    }
    EXPECT_TRUE(testing::ReadBytes(path_) == before) << sql;
  }
  EXPECT_FALSE(std::filesystem::exists(copy));
  EXPECT_FALSE(std::filesystem::exists(path_ + "-wal"));
}

TEST_F(SqliteFile, QueryPastTheLimitIsStoppedAndLockWaitsThenFails) {
  const ConnectionLimits short_limits{.query_seconds = 1};
  auto c = Open(path_, short_limits);
  auto start = std::chrono::steady_clock::now();
  std::string error = ErrorOf([&] {
    c->Query(
        "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n) SELECT max(x) FROM n");
  });
  EXPECT_NE(error.find("Tempo scaduto"), std::string::npos) << error;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(Count(*c), 2);  // the connection stays usable

  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  start = std::chrono::steady_clock::now();
  error = ErrorOf([&] { Count(*Open(path_, short_limits)); });
  const auto elapsed = std::chrono::steady_clock::now() - start;
  sqlite3_close(other);
  EXPECT_NE(error.find("database bloccato da un altro programma"), std::string::npos) << error;
  EXPECT_GE(elapsed, std::chrono::milliseconds(900));
  EXPECT_LT(elapsed, std::chrono::seconds(5));
}

TEST_F(SqliteFile, StreamedRowsAreTheCellsOfTheGrid) {
  auto c = Open(path_);
  ExpectSameAsGrid(*c, "SELECT * FROM t ORDER BY rowid");
  RecordingSink empty;  // no rows: the columns are still named
  EXPECT_FALSE(c->QueryRows("SELECT i AS numero, s AS nome FROM t WHERE i < 0", empty));
  EXPECT_EQ(empty.names, (Texts{"numero", "nome"}));
}

TEST_F(SqliteFile, StreamingFailuresBeforeAndAfterTheFirstRows) {
  auto c = Open(path_);
  const struct {
    const char* sql;
    size_t rows_before;  // rows handed on before the failure
    const char* message;
    int result_code;  // SQLite's, carried by the error; 0: not an error of SQLite
  } cases[] = {
      {"SELECT CASE WHEN n > 5000 THEN abs(-9223372036854775808) ELSE n END AS v FROM molte", 5000,
       "integer overflow", SQLITE_ERROR},
      {"SELECT * FROM mancante", 0, "no such table: mancante", SQLITE_ERROR},
      {"DELETE FROM t", 0, "L'istruzione SQL non restituisce un risultato (nessuna colonna)", 0},
      {"-- solo un commento", 0, "Testo SQL vuoto: nessuna istruzione da eseguire", 0},
  };
  for (const auto& k : cases) {
    RecordingSink sink;
    try {
      c->QueryRows(k.sql, sink);
      ADD_FAILURE() << k.sql;
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()), k.message);
      const auto* db = dynamic_cast<const DbError*>(&e);
      EXPECT_EQ(db != nullptr ? db->diagnostic().native_code : 0, k.result_code) << k.sql;
      if (db != nullptr) {
        EXPECT_EQ(db->diagnostic().family, ServerFamily::kSqlite);
      }
    }
    EXPECT_EQ(sink.rows.size(), k.rows_before) << k.sql;
  }
  // An exception of the sink stops the statement, and the connection stays usable.
  RecordingSink sink;
  sink.on_row = [&sink] {
    if (sink.rows.size() == 3) throw Error("pagina piena");
  };
  EXPECT_THROW(c->QueryRows("SELECT n FROM molte", sink), Error);
  EXPECT_EQ(sink.rows.size(), 3u);
  ExpectSameAsGrid(*c, "SELECT count(*) AS quante FROM molte");
}

TEST_F(SqliteFile, TextsThatAreNotUtf8AreReadAsWindows1252) {
  const std::pair<const char*, const char*> cases[] = {
      {"436974749E", "Citt\u017E"},  // 0x9E: ž
      {"C3A0", "\u00E0"},            // valid UTF-8 stays
      {"C3", "\u00C3"},              // a cut sequence
  };
  auto c = Open(path_);
  for (const auto& [hex, expected] : cases) {
    const std::string sql = std::string("SELECT CAST(x'") + hex + "' AS TEXT) AS \"nome\xE0\"";
    auto grid = c->Query(sql);
    ASSERT_TRUE(grid.has_value());
    EXPECT_EQ(std::string(grid->At(0, 0).text), expected) << hex;
    EXPECT_EQ(grid->ColumnName(0), "nome\u00E0");
  }
}

TEST(SqliteOpen, OpeningAndCreatingFiles) {
  TempFolder folder;
  const std::string missing = folder.File("nessuno.mdb");
  std::string error = "prima";
  EXPECT_FALSE(TestConnection(Access(missing), {}, error));
  EXPECT_EQ(error, "File di database non trovato: " + missing);
  EXPECT_FALSE(std::filesystem::exists(missing));  // not created by the attempt
  EXPECT_NE(ErrorOf([&] { Open(folder.Path()); }).find("cartella"), std::string::npos);
  testing::WriteBytes(folder.File("testo.db"),
                      "questo non è un database SQLite, ma un testo lungo "
                      "abbastanza da avere un'intestazione");
  EXPECT_EQ(ErrorOf([&] { Open(folder.File("testo.db")); }), "file is not a database");
  EXPECT_NE(ErrorOf([&] { CreateSqliteDatabase(folder.File("testo.db"), {}); }).find("esiste già"),
            std::string::npos);
  EXPECT_EQ(testing::ReadBytes(folder.File("testo.db")).substr(0, 6), "questo");
  const std::string nowhere = folder.File("manca/demo.mdb");
  EXPECT_NE(ErrorOf([&] { CreateSqliteDatabase(nowhere, {}); }).find(nowhere), std::string::npos);
  const std::string good = folder.File("a;b.db");  // a separator in the path
  CreateSqliteDatabase(good, {});
  EXPECT_TRUE(TestConnection(Access(good), {}, error));
  EXPECT_EQ(error, "File di database non trovato: " + missing);  // left as it was
}

TEST(SqliteValues, IsoTextsAndDeclaredTypes) {
  const struct {
    std::string text;
    bool valid;
    CellType type;
    DateTime value;
  } cases[] = {
      {"2024-02-29", true, CellType::Date, {2024, 2, 29, 0, 0, 0}},
      {"2024-03-05 14:30", true, CellType::DateTime, {2024, 3, 5, 14, 30, 0}},
      {"2024-03-05T14:30:59.123Z", true, CellType::DateTime, {2024, 3, 5, 14, 30, 59}},
      {"23:59:59", true, CellType::Time, {1899, 12, 30, 23, 59, 59}},
      {"2023-02-29", false, {}, {}},
      {"2024-03-05 24:00:00", false, {}, {}},
      {"2024-03-05 14:30:00+02:00", false, {}, {}},
      {"2024-3-5", false, {}, {}},
  };
  for (const auto& c : cases) {
    const auto parsed = ParseIsoDateTime(c.text);
    ASSERT_EQ(parsed.has_value(), c.valid) << c.text;
    EXPECT_TRUE(!parsed || (parsed->type == c.type && parsed->value == c.value)) << c.text;
  }
  const std::pair<const char*, SqliteColumnKind> kinds[] = {
      {"timestamp", SqliteColumnKind::DateTime},
      {"Date", SqliteColumnKind::DateTime},
      {"bit", SqliteColumnKind::Boolean},
      {"BITS", SqliteColumnKind::Plain},
      {nullptr, SqliteColumnKind::Plain}};
  for (const auto& [declared, kind] : kinds)
    EXPECT_EQ(SqliteKindOfDeclaredType(declared), kind) << (declared ? declared : "(none)");
}

}  // namespace
}  // namespace panorello
