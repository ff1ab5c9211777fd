#include "demo/demo_db.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "db/connection.h"
#include "support/test_support.h"
#include "util/files.h"

namespace panorello {
namespace {

using testing::LogMessages;
using testing::TestContext;

std::string Text(AppContext& ctx, const std::string& sql) {
  auto db = OpenConnectionString(
      "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + DemoDbPath(ctx) + ";", ctx.limits);
  auto grid = db->Query(sql);
  if (!grid) return "<no rows>";
  std::string out;
  for (size_t r = 0; r < grid->Rows(); ++r) {
    for (size_t c = 0; c < grid->Cols(); ++c) {
      if (c > 0) out += '|';
      out += CellText(grid->At(r, c), ctx.regional);
    }
    if (r + 1 < grid->Rows()) out += '\n';
  }
  return out;
}

TEST(DemoInsertStatements, OrderRowsAndDatesOfTheCreationDay) {
  const auto statements = DemoInsertStatements(DateTime{2023, 3, 15, 10, 30, 0});
  ASSERT_EQ(statements.size(), 58u);
  const std::pair<size_t, std::string> prefixes[] = {
      {0, "INSERT INTO Clienti "}, {9, "INSERT INTO Clienti "}, {10, "INSERT INTO Prodotti "},
      {14, "INSERT INTO Prodotti "}, {15, "INSERT INTO VenditeMensili "},
      {37, "INSERT INTO VenditeMensili "}, {38, "INSERT INTO Fatture "}, {57, "INSERT INTO Fatture "}};
  for (const auto& [index, prefix] : prefixes) {
    EXPECT_EQ(statements[index].rfind(prefix, 0), 0u) << index;
  }
  EXPECT_NE(statements[17].find("VALUES (3, 2022, 3, 14200, 10, 8)"), std::string::npos);
  EXPECT_NE(statements[26].find("VALUES (12, 2022, 12, 19800, 14, 10)"), std::string::npos);
  EXPECT_NE(statements[37].find("VALUES (23, 2023, 11, 27600, 18, 13)"), std::string::npos);
  EXPECT_NE(statements[48].find("(11, 2, '2025/001', '2023-02-18 00:00:00', '2023-03-20 00:00:00', 2800, FALSE)"),
            std::string::npos)
      << statements[48];
  EXPECT_NE(statements[57].find("(20, 2, '2024/015', '2023-02-05 00:00:00', '2023-01-29 00:00:00', 3200, FALSE)"),
            std::string::npos)
      << statements[57];
}

TEST(CreateDemoDatabase, CreatesTheFourTablesWithTheirRows) {
  TestContext t(DateTime{2023, 3, 15, 9, 0, 0});
  std::string error_text;
  ASSERT_TRUE(CreateDemoDatabase(*t, error_text)) << error_text;
  const std::string path = DemoDbPath(*t);
  EXPECT_EQ(path, t.folder.File("demo_panorello.mdb"));
  EXPECT_EQ(LogMessages(t.folder.Path()),
            (std::vector<std::string>{"Creazione database demo: " + path,
                                      "Database demo creato con successo"}));
  EXPECT_EQ(Text(*t, "SELECT COUNT(*), SUM(Attivo) FROM Clienti"), "10|9");
  EXPECT_EQ(Text(*t, "SELECT ID FROM Clienti WHERE NOT Attivo"), "10");
  EXPECT_EQ(Text(*t, "SELECT RagioneSociale, DataAcquisizione, Attivo FROM Clienti WHERE ID = 1"),
            "Rossi & Figli Srl|01/03/2021|True");
  EXPECT_EQ(Text(*t, "SELECT COUNT(*), SUM(Attivo) FROM Prodotti"), "5|4");
  EXPECT_EQ(Text(*t, "SELECT ID FROM Prodotti WHERE NOT Attivo"), "5");
  EXPECT_EQ(Text(*t, "SELECT Anno, COUNT(*) FROM VenditeMensili GROUP BY Anno ORDER BY Anno"),
            "2022|12\n2023|11");
  EXPECT_EQ(Text(*t, "SELECT Fatturato, NrFatture, NrClienti FROM VenditeMensili WHERE ID = 23"),
            "27600|18|13");
  EXPECT_EQ(Text(*t, "SELECT COUNT(*), SUM(Pagata) FROM Fatture"), "20|10");
  EXPECT_EQ(Text(*t, "SELECT DataFattura, DataScadenza, Importo FROM Fatture WHERE ID = 11"),
            "18/02/2023|20/03/2023|2800");
  EXPECT_EQ(Text(*t, "SELECT typeof(Importo), typeof(DataFattura) FROM Fatture WHERE ID = 1"),
            "real|text");
}

TEST(CreateDemoDatabase, PresentFileIsLeftAlone) {
  TestContext t;
  testing::WriteBytes(DemoDbPath(*t), "not touched");
  std::string error_text = "unchanged";
  EXPECT_TRUE(CreateDemoDatabase(*t, error_text));
  EXPECT_EQ(error_text, "unchanged");
  EXPECT_TRUE(LogMessages(t.folder.Path()).empty());
  EXPECT_EQ(testing::ReadBytes(DemoDbPath(*t)), "not touched");
}

TEST(CreateDemoDatabase, FolderThatCannotHoldTheFile) {
  TestContext t;
  testing::WriteBytes(t.folder.File("file"), "x");
  t->app_folder = t.folder.File("file/sotto");
  t->settings.LogFile = t.folder.File("demo.log");
  std::string error_text;
  EXPECT_FALSE(CreateDemoDatabase(*t, error_text));
  EXPECT_EQ(error_text.rfind("Errore creazione tabelle: ", 0), 0u) << error_text;
  const std::string log = testing::ReadBytes(t.folder.File("demo.log"));
  EXPECT_NE(log.find(" - Creazione database demo: " + DemoDbPath(*t) + "\r\n"), std::string::npos);
  EXPECT_NE(log.find(" - " + error_text + "\r\n"), std::string::npos);
  EXPECT_EQ(log.find("successo"), std::string::npos);
}

TEST(CreateDemoDatabase, FailurePartWayRemovesTheFileSoTheNextRunRetries) {
  TestContext t;
  const std::string path = DemoDbPath(*t);
  // The rollback journal cannot be created: the file opens, the first table cannot be written.
  ASSERT_EQ(mkdir((path + "-journal").c_str(), 0755), 0);
  std::string error_text;
  EXPECT_FALSE(CreateDemoDatabase(*t, error_text));
  EXPECT_EQ(error_text.rfind("Errore creazione tabelle: ", 0), 0u) << error_text;
  EXPECT_FALSE(FileExists(path));
  EXPECT_EQ(LogMessages(t.folder.Path()),
            (std::vector<std::string>{"Creazione database demo: " + path, error_text}));

  rmdir((path + "-journal").c_str());
  error_text.clear();
  EXPECT_TRUE(CreateDemoDatabase(*t, error_text)) << error_text;
  EXPECT_EQ(Text(*t, "SELECT COUNT(*) FROM Fatture"), "20");
}

TEST(InsertDemoRows, FailingInsertIsReportedWithItsPrefix) {
  TestContext t;
  const std::string path = DemoDbPath(*t);
  CreateSqliteDatabase(path, t->limits)->Execute("CREATE TABLE Clienti (ID INTEGER)");
  std::string error_text;
  EXPECT_FALSE(InsertDemoRows(*t, path, error_text));
  EXPECT_EQ(error_text.rfind("Errore inserimento dati demo: ", 0), 0u) << error_text;
  EXPECT_EQ(LogMessages(t.folder.Path()), std::vector<std::string>{error_text});
  EXPECT_EQ(Text(*t, "SELECT COUNT(*) FROM Clienti"), "0");  // nothing half-inserted
}

}  // namespace
}  // namespace panorello

namespace panorello {
namespace {

TEST(CreateDemoTables, NeverRemovesAFileThatWasAlreadyThere) {
  testing::TestContext t;
  const std::string path = t.folder.File("esistente.mdb");
  testing::WriteBytes(path, "dati dell'utente");
  std::string error_text;
  EXPECT_FALSE(CreateDemoTables(*t, path, error_text));
  EXPECT_EQ(error_text.rfind("Errore creazione tabelle: ", 0), 0u) << error_text;
  EXPECT_EQ(testing::ReadBytes(path), "dati dell'utente");
}

}  // namespace
}  // namespace panorello
