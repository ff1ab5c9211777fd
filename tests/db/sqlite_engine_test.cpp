// SQLite files: opening, the first statement only, types, time-outs, creation.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

#include "db/connection.h"
#include "db/connection_string.h"
#include "db/sqlite_values.h"
#include "support/test_support.h"
#include "util/error.h"

namespace panorello {
namespace {

using testing::TempFolder;

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.what();
  }
  return "(nessun errore)";
}

std::string Jet(const std::string& path) {
  Settings s;
  s.DbType = "ACCESS";
  s.Database = path;
  return BuildConnectionString(s);
}

class SqliteFile : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = folder_.File("dati.db");
    auto c = CreateSqliteDatabase(path_, limits_);
    c->Execute(
        "CREATE TABLE t (i INTEGER, r DOUBLE, s VARCHAR(20), d DATETIME, b BOOLEAN, n NUMERIC, "
        "x BLOB, dd DATE, tt TIME, bit BIT)");
    c->Execute(
        "INSERT INTO t VALUES (1, 1234.5, 'Città', '2024-03-05 14:30:00', 1, 12.50, x'00FF', "
        "'2024-12-01', '07:08:09', 0)");
    c->Execute(
        "INSERT INTO t VALUES (NULL, NULL, NULL, '2024-03-05', 0, 7, NULL, 'non una data', NULL, "
        "'true')");
  }

  TempFolder folder_;
  std::string path_;
  ConnectionLimits limits_;
};

TEST_F(SqliteFile, TypesBecomeCells) {
  auto c = OpenConnectionString(Jet(path_), limits_);
  auto grid = c->Query("SELECT i, r, s, d, b, n, x, dd, tt, bit, 'a' || 'b' AS expr FROM t ORDER BY rowid");
  ASSERT_TRUE(grid.has_value());
  ASSERT_EQ(grid->Rows(), 2u);
  ASSERT_EQ(grid->Cols(), 11u);
  EXPECT_EQ(grid->ColumnName(10), "expr");
  RegionalSettings it;
  it.decimal_separator = ',';
  const char* first[] = {"1", "1234,5", "Città", "05/03/2024 14:30:00", "True", "12,5", "00FF",
                         "01/12/2024", "07:08:09", "False", "ab"};
  const char* second[] = {"", "", "", "05/03/2024", "False", "7", "", "non una data", "", "True", "ab"};
  for (size_t col = 0; col < 11; ++col) {
    EXPECT_EQ(CellText(grid->At(0, col), it), first[col]) << col;
    EXPECT_EQ(CellText(grid->At(1, col), it), second[col]) << col;
  }
  EXPECT_EQ(grid->At(0, 3).type, CellType::DateTime);
  EXPECT_EQ(grid->At(1, 3).type, CellType::Date);
  EXPECT_EQ(grid->At(0, 8).type, CellType::Time);
  EXPECT_EQ(grid->At(1, 7).type, CellType::Text);
  EXPECT_EQ(grid->At(1, 0).type, CellType::Null);
  double value = 0;
  EXPECT_TRUE(IsNumericCell(grid->At(0, 5), it, &value));
  EXPECT_DOUBLE_EQ(value, 12.5);
}

TEST_F(SqliteFile, NoRowsIsNotAGrid) {
  auto c = OpenConnectionString(Jet(path_), limits_);
  EXPECT_FALSE(c->Query("SELECT * FROM t WHERE 1 = 0").has_value());
}

TEST_F(SqliteFile, OnlyTheFirstStatementRuns) {
  auto c = OpenConnectionString(Jet(path_), limits_);
  auto grid = c->Query("SELECT count(*) FROM t; DROP TABLE t");
  ASSERT_TRUE(grid.has_value());
  EXPECT_EQ(grid->At(0, 0).integer, 2);
  c->Execute("DELETE FROM t WHERE i = 1; DELETE FROM t");
  EXPECT_EQ(c->Query("SELECT count(*) FROM t")->At(0, 0).integer, 1);
}

TEST_F(SqliteFile, StatementWithoutColumnsIsRefusedAndNotRun) {
  auto c = OpenConnectionString(Jet(path_), limits_);
  EXPECT_NE(ErrorOf([&] { c->Query("DELETE FROM t"); }).find("nessuna colonna"), std::string::npos);
  EXPECT_EQ(c->Query("SELECT count(*) FROM t")->At(0, 0).integer, 2);
}

TEST_F(SqliteFile, EmptyTextIsAnError) {
  auto c = OpenConnectionString(Jet(path_), limits_);
  for (const char* sql : {"", "   ", "-- solo un commento", ";"}) {
    EXPECT_NE(ErrorOf([&] { c->Query(sql); }).find("Testo SQL vuoto"), std::string::npos) << sql;
  }
}

TEST_F(SqliteFile, SyntaxErrorCarriesSqliteMessage) {
  auto c = OpenConnectionString(Jet(path_), limits_);
  EXPECT_EQ(ErrorOf([&] { c->Query("SELECT * FROM missing_table"); }), "no such table: missing_table");
}

TEST_F(SqliteFile, QueryPastTheLimitIsStopped) {
  ConnectionLimits short_limits;
  short_limits.query_seconds = 1;
  auto c = OpenConnectionString(Jet(path_), short_limits);
  const auto start = std::chrono::steady_clock::now();
  const std::string error = ErrorOf([&] {
    c->Query("WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n) SELECT max(x) FROM n");
  });
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_NE(error.find("Tempo scaduto"), std::string::npos) << error;
  EXPECT_LT(elapsed, std::chrono::seconds(5));
  // The connection stays usable.
  EXPECT_EQ(c->Query("SELECT count(*) FROM t")->At(0, 0).integer, 2);
}

TEST_F(SqliteFile, LockedDatabaseWaitsThenFails) {
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  ConnectionLimits short_limits;
  short_limits.query_seconds = 1;
  const auto start = std::chrono::steady_clock::now();
  const std::string error = ErrorOf([&] {
    auto c = OpenConnectionString(Jet(path_), short_limits);
    c->Query("SELECT count(*) FROM t");
  });
  const auto elapsed = std::chrono::steady_clock::now() - start;
  sqlite3_close(other);
  EXPECT_EQ(error, "database is locked");
  EXPECT_GE(elapsed, std::chrono::milliseconds(900));
  EXPECT_LT(elapsed, std::chrono::seconds(5));
}

TEST(SqliteOpen, MissingFileIsNamedAndNotCreated) {
  TempFolder folder;
  const std::string path = folder.File("nessuno.mdb");
  Settings s;
  s.DbType = "access";
  s.Database = path;
  std::string error = "prima";
  EXPECT_FALSE(TestConnection(s, ConnectionLimits{}, error));
  EXPECT_EQ(error, "File di database non trovato: " + path);
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(SqliteOpen, FolderAndNonDatabaseFilesFail) {
  TempFolder folder;
  EXPECT_NE(ErrorOf([&] { OpenConnectionString(Jet(folder.Path()), ConnectionLimits{}); })
                .find("cartella"),
            std::string::npos);
  testing::WriteBytes(folder.File("testo.db"), "questo non è un database SQLite, ma un testo lungo "
                                               "abbastanza da avere un'intestazione");
  EXPECT_EQ(ErrorOf([&] { OpenConnectionString(Jet(folder.File("testo.db")), ConnectionLimits{}); }),
            "file is not a database");
}

TEST(SqliteOpen, SuccessLeavesErrorTextAlone) {
  TempFolder folder;
  const std::string path = folder.File("a;b.db");  // quoted by the built string
  CreateSqliteDatabase(path, ConnectionLimits{});
  Settings s;
  s.DbType = "ACCESS";
  s.Database = path;
  std::string error = "testo precedente";
  EXPECT_TRUE(TestConnection(s, ConnectionLimits{}, error));
  EXPECT_EQ(error, "testo precedente");
}

TEST(SqliteCreate, RefusesAnExistingFile) {
  TempFolder folder;
  const std::string path = folder.File("demo.mdb");
  testing::WriteBytes(path, "contenuto");
  EXPECT_NE(ErrorOf([&] { CreateSqliteDatabase(path, ConnectionLimits{}); }).find("esiste già"),
            std::string::npos);
  EXPECT_EQ(testing::ReadBytes(path), "contenuto");
}

TEST(SqliteCreate, MissingFolderIsNamed) {
  TempFolder folder;
  const std::string path = folder.File("manca/demo.mdb");
  EXPECT_NE(ErrorOf([&] { CreateSqliteDatabase(path, ConnectionLimits{}); }).find(path),
            std::string::npos);
}

struct IsoCase {
  std::string text;
  bool valid;
  CellType type;
  DateTimeValue value;
};

class IsoCases : public ::testing::TestWithParam<IsoCase> {};

TEST_P(IsoCases, Parses) {
  const auto parsed = ParseIsoDateTime(GetParam().text);
  ASSERT_EQ(parsed.has_value(), GetParam().valid) << GetParam().text;
  if (parsed) {
    EXPECT_EQ(parsed->type, GetParam().type);
    EXPECT_EQ(parsed->value, GetParam().value);
  }
}

INSTANTIATE_TEST_SUITE_P(
    All, IsoCases,
    ::testing::Values(IsoCase{"2024-02-29", true, CellType::Date, {2024, 2, 29, 0, 0, 0}},
                      IsoCase{"2023-02-29", false, CellType::Date, {}},
                      IsoCase{"2024-13-01", false, CellType::Date, {}},
                      IsoCase{"2024-03-05 14:30", true, CellType::DateTime, {2024, 3, 5, 14, 30, 0}},
                      IsoCase{"2024-03-05T14:30:59.123Z", true, CellType::DateTime,
                              {2024, 3, 5, 14, 30, 59}},
                      IsoCase{"2024-03-05 24:00:00", false, CellType::DateTime, {}},
                      IsoCase{"23:59:59", true, CellType::Time, {0, 0, 0, 23, 59, 59}},
                      IsoCase{"07:08", true, CellType::Time, {0, 0, 0, 7, 8, 0}},
                      IsoCase{"2024-03-05 14:30:00+02:00", false, CellType::DateTime, {}},
                      IsoCase{"05/03/2024", false, CellType::Date, {}},
                      IsoCase{"", false, CellType::Date, {}},
                      IsoCase{"2024-3-5", false, CellType::Date, {}}));

TEST(SqliteKinds, DeclaredTypes) {
  EXPECT_EQ(SqliteKindOfDeclaredType("DATETIME"), SqliteColumnKind::DateTime);
  EXPECT_EQ(SqliteKindOfDeclaredType("timestamp"), SqliteColumnKind::DateTime);
  EXPECT_EQ(SqliteKindOfDeclaredType("Date"), SqliteColumnKind::DateTime);
  EXPECT_EQ(SqliteKindOfDeclaredType("TIME"), SqliteColumnKind::DateTime);
  EXPECT_EQ(SqliteKindOfDeclaredType("BOOLEAN"), SqliteColumnKind::Boolean);
  EXPECT_EQ(SqliteKindOfDeclaredType("bit"), SqliteColumnKind::Boolean);
  EXPECT_EQ(SqliteKindOfDeclaredType("INTEGER"), SqliteColumnKind::Plain);
  EXPECT_EQ(SqliteKindOfDeclaredType("BITS"), SqliteColumnKind::Plain);
  EXPECT_EQ(SqliteKindOfDeclaredType(nullptr), SqliteColumnKind::Plain);
}

}  // namespace
}  // namespace panorello
