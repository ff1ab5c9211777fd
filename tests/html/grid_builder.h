#pragma once
// Small helpers for the page tests: result grids written as literals, and SQLite-backed contexts.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "db/connection.h"
#include "db/result/result_grid.h"
#include "support/test_support.h"

namespace panorello::testing {

struct Null {};
using Cell = std::variant<Null, int64_t, double, std::string, DateTime>;

inline ResultGrid MakeGrid(std::vector<std::string> names,
                           const std::vector<std::vector<Cell>>& rows) {
  ResultGrid grid(std::move(names));
  for (const auto& row : rows) {
    for (const Cell& cell : row) {
      std::visit(
          [&grid](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, Null>)
              grid.AddNull();
            else if constexpr (std::is_same_v<T, int64_t>)
              grid.AddInteger(v);
            else if constexpr (std::is_same_v<T, double>)
              grid.AddDouble(v);
            else if constexpr (std::is_same_v<T, std::string>)
              grid.AddText(v);
            else
              grid.AddDateTime(v);
          },
          cell);
    }
  }
  return grid;
}

// A grid of one label column and series columns of doubles.
inline ResultGrid SeriesGrid(const std::vector<std::vector<double>>& series) {
  std::vector<std::string> names{"Mese"};
  for (size_t k = 0; k < series.size(); ++k) names.push_back("S" + std::to_string(k + 1));
  ResultGrid grid(names);
  for (size_t r = 0; r < (series.empty() ? 0 : series[0].size()); ++r) {
    grid.AddText("R" + std::to_string(r + 1));
    for (const auto& s : series) grid.AddDouble(s[r]);
  }
  return grid;
}

// A context whose database is a new SQLite file made by the given statements.
struct SqliteContext : TestContext {
  explicit SqliteContext(std::initializer_list<const char*> statements) {
    const std::string path = folder.File("dati.db");
    auto db = CreateSqliteDatabase(path, ctx->limits);
    for (const char* sql : statements) db->Execute(sql);
    ctx->settings.DbType = "ACCESS";
    ctx->settings.Database = path;
    ctx->settings.ConnectionString.clear();
    ctx->settings.OutputFile = folder.File("out/page.html");
  }
  // Appends a block; returns it for further changes.
  Block& Add(const std::string& title, const std::string& sql, const std::string& mode = "AUTO") {
    Block b{.Title = title, .Sql = sql, .RenderMode = mode};
    ctx->blocks.SaveBlock(-1, b);
    return ctx->blocks.At(ctx->blocks.BlockCount() - 1);
  }
};

}  // namespace panorello::testing
