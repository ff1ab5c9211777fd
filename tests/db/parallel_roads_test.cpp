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
  auto with = [](const std::string& db_type, const std::string& database, const std::string& text) {
    Settings s;
    s.DbType = db_type, s.Database = database, s.ConnectionString = text;
    return s;
  };
  const std::pair<Settings, bool> cases[] = {
      {with("ACCESS", sqlite, ""), true},
      {with("", "", "Driver={PostgreSQL Unicode};Server=127.0.0.1;Database=x"), true},
      {with("", "", "Driver={MariaDB Unicode};Server=127.0.0.1"), true},
      {with("", "", "Driver=/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so;Server=h"), true},
      {with("", "", "Driver={MDBTools};DBQ=/tmp/x.mdb"), false},
      {with("", "", "Driver={SQLite3};Database=" + sqlite), false},
      {with("", "", "DSN=nessuna_sorgente_registrata"), false},
      {with("", "", "Provider=Sconosciuto;Data Source=x"), false},
  };
  for (const auto& [settings, expected] : cases) {
    EXPECT_EQ(RoadRunsBlocksSideBySide(settings), expected)
        << settings.DbType << " " << settings.ConnectionString;
  }
}

}  // namespace
}  // namespace panorello
