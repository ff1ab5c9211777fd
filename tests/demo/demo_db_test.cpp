#include "demo/demo_db.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "db/connection.h"
#include "support/test_support.h"
#include "util/files.h"

namespace panorello {
namespace {

using testing::LogMessages;
using testing::ReadBytes;
using testing::TestContext;

// The rows of a query on the sample file as cell texts: "a|b" per row, rows split by "\n".
std::string Text(AppContext& ctx, const std::string& sql) {
  Settings access;
  access.DbType = "ACCESS";
  access.Database = DemoDbPath(ctx);
  auto grid = OpenConnection(access, ctx.limits)->Query(sql);
  if (!grid) return "<no rows>";
  std::string out;
  for (size_t r = 0; r < grid->Rows(); ++r) {
    for (size_t c = 0; c < grid->Cols(); ++c)
      out += (c > 0 ? "|" : "") + CellText(grid->At(r, c), ctx.regional);
    if (r + 1 < grid->Rows()) out += '\n';
  }
  return out;
}

TEST(CreateDemoDatabase, CreatesTheFourTablesWithTheRowsOfTheCreationDay) {
  TestContext t(DateTime{2023, 3, 15, 9, 0, 0});
  std::string error_text;
  ASSERT_TRUE(CreateDemoDatabase(*t, error_text)) << error_text;
  const std::string path = DemoDbPath(*t);
  EXPECT_EQ(path, t.folder.File("demo_panorello.mdb"));
  EXPECT_EQ(LogMessages(t.folder.Path()),
            (std::vector<std::string>{"Creazione database demo: " + path,
                                      "Database demo creato con successo"}));
  const std::pair<const char*, const char*> cases[] = {
      {"SELECT COUNT(*), SUM(Attivo) FROM Clienti", "10|9"},
      {"SELECT RagioneSociale, DataAcquisizione, Attivo FROM Clienti WHERE ID = 1",
       "Rossi & Figli Srl|01/03/2021|True"},
      {"SELECT Anno, Mese, Fatturato, NrFatture, NrClienti FROM VenditeMensili WHERE ID IN (3, 23)",
       "2022|3|14200|10|8\n2023|11|27600|18|13"},
      {"SELECT COUNT(*), SUM(Pagata) FROM Fatture", "20|10"},
      {"SELECT ID, Numero, DataFattura, DataScadenza, Importo FROM Fatture WHERE ID IN (11, 20)",
       "11|2025/001|18/02/2023|20/03/2023|2800\n20|2024/015|05/02/2023|29/01/2023|3200"},
      {"SELECT typeof(Importo), typeof(DataFattura) FROM Fatture WHERE ID = 1", "real|text"},
  };
  for (const auto& [sql, expected] : cases) EXPECT_EQ(Text(*t, sql), expected) << sql;
}

// A failed creation leaves nothing beside the executable (no half file, no temporary one), so
// the next run tries again; a finished one leaves exactly the sample file.
TEST(CreateDemoDatabase, FailureLeavesNothingSoTheNextRunRetries) {
  TestContext t;
  t->app_folder = t.folder.File("app");  // not there yet: the file cannot be created
  t->settings.LogFile = t.folder.File("run.log");
  const std::string path = DemoDbPath(*t);
  std::string error_text;
  EXPECT_FALSE(CreateDemoDatabase(*t, error_text));
  EXPECT_EQ(error_text.rfind("Errore creazione DB demo: ", 0), 0u) << error_text;
  EXPECT_EQ(testing::LogLines(t.folder.File("run.log")),
            (std::vector<std::string>{"Creazione database demo: " + path, error_text}));
  ASSERT_EQ(mkdir(t->app_folder.c_str(), 0755), 0);
  error_text.clear();
  EXPECT_TRUE(CreateDemoDatabase(*t, error_text)) << error_text;
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(t->app_folder)) {
    names.push_back(e.path().filename());
  }
  EXPECT_EQ(names, std::vector<std::string>{"demo_panorello.mdb"});
}

TEST(InsertDemoRows, FailingInsertIsReportedWithItsPrefixAndLeavesNoHalfRows) {
  TestContext t;
  const std::string path = DemoDbPath(*t);
  CreateSqliteDatabase(path, t->limits)->Execute("CREATE TABLE Clienti (ID INTEGER)");
  std::string error_text;
  EXPECT_FALSE(InsertDemoRows(*t, path, error_text));
  EXPECT_EQ(error_text.rfind("Errore inserimento dati demo: ", 0), 0u) << error_text;
  EXPECT_EQ(LogMessages(t.folder.Path()), std::vector<std::string>{error_text});
  EXPECT_EQ(Text(*t, "SELECT COUNT(*) FROM Clienti"), "0");
}

TEST(CreateDemoTables, NeverRemovesAFileThatWasAlreadyThere) {
  TestContext t;
  const std::string path = t.folder.File("esistente.mdb");
  testing::WriteBytes(path, "dati dell'utente");
  std::string error_text;
  EXPECT_FALSE(CreateDemoTables(*t, path, error_text));
  EXPECT_EQ(error_text.rfind("Errore creazione tabelle: ", 0), 0u) << error_text;
  EXPECT_EQ(ReadBytes(path), "dati dell'utente");
}

}  // namespace
}  // namespace panorello
