// Shared by the data-access tests: cell texts, a recording row sink, and the fixture of the
// servers that tests/db/db_servers.sh starts under ctest.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/target/connection_string.h"

namespace panorello::testing {

inline std::string Repeat(const std::string& piece, int times) {
  std::string out;
  for (int n = 0; n < times; ++n) out += piece;
  return out;
}

inline std::vector<std::string> RowTexts(const ResultGrid& grid, size_t row) {
  RegionalSettings italian;
  italian.decimal_separator = ',';
  std::vector<std::string> texts;
  for (size_t c = 0; c < grid.Cols(); ++c) texts.push_back(CellText(grid.At(row, c), italian));
  return texts;
}

inline std::string TypedText(const CellView& cell) {
  RegionalSettings r;
  r.decimal_separator = ',';
  r.short_date = "dd.mm.yyyy";
  return std::to_string(static_cast<int>(cell.type)) + ":" + CellText(cell, r);
}

using Texts = std::vector<std::string>;

struct RecordingSink final : RowSink {
  void Columns(const std::vector<std::string>& n) override {
    ++columns_calls;
    names = n;
  }
  void Row(const CellView* cells, size_t count) override {
    std::vector<std::string> row;
    for (size_t c = 0; c < count; ++c) row.push_back(TypedText(cells[c]));
    rows.push_back(std::move(row));
    if (on_row) on_row();
  }
  int columns_calls = 0;
  std::vector<std::string> names;
  std::vector<std::vector<std::string>> rows;
  std::function<void()> on_row;
};

// The column names and typed rows that QueryRows hands on.
inline std::pair<Texts, std::vector<Texts>> StreamedRows(Connection& connection,
                                                         const std::string& sql) {
  RecordingSink sink;
  connection.QueryRows(sql, sink);
  return {sink.names, sink.rows};
}

// How long an action took, in seconds.
template <typename Action>
double SecondsTaken(Action&& action) {
  const auto start = std::chrono::steady_clock::now();
  action();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Settings whose explicit connection string wins over their DbType.
inline Settings Explicit(const std::string& connection_string) {
  return Settings{.DbType = "ACCESS", .ConnectionString = connection_string};
}

// QueryRows and Query of one statement agree: same names, same cells, same "any row" answer.
inline void ExpectSameAsGrid(Connection& connection, const std::string& sql) {
  SCOPED_TRACE(sql);
  RecordingSink sink;
  const bool any = connection.QueryRows(sql, sink);
  const std::optional<ResultGrid> grid = connection.Query(sql);
  EXPECT_EQ(sink.columns_calls, 1);
  ASSERT_EQ(any, grid.has_value());
  std::vector<Texts> rows(grid ? grid->Rows() : 0);
  for (size_t r = 0; r < rows.size(); ++r) {
    for (size_t c = 0; c < grid->Cols(); ++c) rows[r].push_back(TypedText(grid->At(r, c)));
  }
  EXPECT_TRUE(sink.rows == rows);
  for (size_t c = 0; grid && c < grid->Cols(); ++c) {
    EXPECT_EQ(c < sink.names.size() ? sink.names[c] : "", grid->ColumnName(c));
  }
}

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ifstream in(std::string(PANORELLO_BINARY_DIR) + "/db-servers/servers.env");
    for (std::string line; std::getline(in, line);) {
      const size_t eq = line.find('=');
      if (eq != std::string::npos) env_[line.substr(0, eq)] = line.substr(eq + 1);
    }
    if (env_["READY"] != "1") GTEST_SKIP() << "Server di test non avviati (eseguire con ctest)";
  }
  Settings Typed(const char* type, const std::string& user, const std::string& password) {
    return Settings{.DbType = type,
                    .Server = "127.0.0.1",
                    .Database = env_["DATABASE"],
                    .User = user,
                    .Password = password};
  }
  // The typed road of POSTGRESQL (libpq) or MYSQL (MariaDB client library) to the fixture.
  Settings Native(const char* type) {
    Settings s = Typed(type, env_["USER"], env_["PASSWORD"]);
    s.Server = "127.0.0.1:" + env_[std::string(type) == "MYSQL" ? "MARIADB_PORT" : "PG_PORT"];
    return s;
  }
  // The built POSTGRESQL string fixes Port=5432; the test cluster listens elsewhere.
  std::string Postgres(const std::string& user, const std::string& password) {
    std::string built = BuildConnectionString(Typed("POSTGRESQL", user, password));
    const size_t at = built.find(";Port=5432;");
    EXPECT_NE(at, std::string::npos) << built;
    if (at != std::string::npos) built.replace(at, 11, ";Port=" + env_["PG_PORT"] + ";");
    return built;
  }
  std::string MariaDb(const std::string& user, const std::string& password) {
    return BuildConnectionString(Typed("MYSQL", user, password)) + "Port=" + env_["MARIADB_PORT"] +
           ";";
  }
  std::unique_ptr<Connection> Pg() {
    return OpenConnectionString(Postgres(env_["USER"], env_["PASSWORD"]), {});
  }
  std::unique_ptr<Connection> Maria() {
    return OpenConnectionString(MariaDb(env_["USER"], env_["PASSWORD"]), {});
  }

  std::map<std::string, std::string> env_;
};

}  // namespace panorello::testing
