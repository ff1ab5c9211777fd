// Which roads let the blocks of a run use several threads: SQLite files and the server drivers
// known to be safe; the MDBTools and SQLite3 ODBC drivers and unreadable strings get one worker.
#include <gtest/gtest.h>

#include "db/connection.h"
#include "support/test_support.h"

namespace panorello {
namespace {

TEST(RoadRunsBlocksSideBySide, ByRoadAndDriver) {
  testing::TempFolder folder;
  const std::string sqlite = folder.File("dati.db");
  CreateSqliteDatabase(sqlite, ConnectionLimits{}).reset();
  const auto odbc = [](const std::string& text) { return Settings{.ConnectionString = text}; };
  const std::pair<Settings, bool> cases[] = {
      {{.DbType = "ACCESS", .Database = sqlite}, true},
      {odbc("Driver={PostgreSQL Unicode};Server=127.0.0.1;Database=x"), true},
      {odbc("Driver={MariaDB Unicode};Server=127.0.0.1"), true},
      {odbc("Driver=/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so;Server=h"), true},
      {odbc("Driver={MDBTools};DBQ=/tmp/x.mdb"), false},
      {odbc("Driver={SQLite3};Database=" + sqlite), false},
      {odbc("DSN=nessuna_sorgente_registrata"), false},
      {odbc("Provider=Sconosciuto;Data Source=x"), false},
  };
  for (const auto& [settings, expected] : cases) {
    EXPECT_EQ(RoadRunsBlocksSideBySide(settings), expected)
        << settings.DbType << " " << settings.ConnectionString;
  }
}

}  // namespace
}  // namespace panorello
