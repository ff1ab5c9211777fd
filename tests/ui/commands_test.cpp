// Typing and clicking through the window, headless; message boxes are answered by the recorder.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "demo/demo_db.h"
#include "storage/blocks_file.h"
#include "storage/settings.h"
#include "ui/window_fixture.h"
#include "util/files.h"

namespace panorello::testing {
namespace {

void Click(QPushButton* b) { QTest::mouseClick(b, Qt::LeftButton); }

// Check boxes react on their box and caption only: click near the box.
void Tick(QCheckBox* c) { QTest::mouseClick(c, Qt::LeftButton, Qt::NoModifier, QPoint(6, c->height() / 2)); }

void ClickEntry(QListWidget* list, int row) {
  const QRect r = list->visualItemRect(list->item(row));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
}

void Retype(QWidget* box, const QString& text) {
  box->setFocus();
  QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(box, Qt::Key_Delete);
  QTest::keyClicks(box, text);
}

TEST_F(WindowTest, TypingAndSavingTheConfiguration) {
  Open();
  auto* db = Find<QComboBox>("cboDbType");
  auto* cs = Find<QLineEdit>("txtConnectionString");
  db->setFocus();
  QTest::keyClick(db, Qt::Key_Down);  // ACCESS: no template
  EXPECT_EQ(cs->text(), "");
  QTest::keyClick(db, Qt::Key_Down);  // ORACLE: its template into the empty box
  EXPECT_TRUE(cs->text().startsWith("Provider=OraOLEDB.Oracle;"));
  Tick(Find<QCheckBox>("chkIntegrated"));
  auto* user = Find<QLineEdit>("txtUser");
  EXPECT_TRUE(user->isEnabled());
  Retype(user, "  mario  ");
  Retype(Find<QLineEdit>("txtPassword"), " segreta ");
  Retype(Find<QLineEdit>("txtRefreshSeconds"), "13.5");
  Click(Find<QPushButton>("cmdSaveConfig"));
  EXPECT_TRUE(t.reporter.messages.empty());
  EXPECT_EQ(Find<QLabel>("lblStatus")->text(), "Configurazione salvata");
  const Settings stored = LoadSettings(t.folder.Path());
  EXPECT_EQ(stored.DbType, "ORACLE");
  EXPECT_EQ(stored.ConnectionString, cs->text().toStdString());
  EXPECT_EQ(stored.User, "mario");
  EXPECT_EQ(stored.Password, " segreta ");
  EXPECT_FALSE(stored.Integrated);
  EXPECT_EQ(stored.RefreshSeconds, 14);
  Tick(Find<QCheckBox>("chkIntegrated"));  // greys user and password, keeping their text
  EXPECT_FALSE(user->isEnabled());
  EXPECT_EQ(user->text(), "  mario  ");
}

TEST_F(WindowTest, SavingLoadingAndDeletingBlocks) {
  Open();
  auto* list = Find<QListWidget>("lstBlocks");
  auto* title = Find<QLineEdit>("txtTitle");
  auto* sql = Find<QPlainTextEdit>("txtSql");
  Retype(title, "Vendite");
  auto* subtitle = Find<QPlainTextEdit>("txtSubtitle");
  subtitle->setFocus();
  QTest::keyClicks(subtitle, "riga uno");
  QTest::keyClick(subtitle, Qt::Key_Return);
  QTest::keyClicks(subtitle, "riga due");
  Retype(sql, "SELECT 1");
  Retype(Find<QLineEdit>("txtDashboard"), "DEMO");
  auto* mode = Find<QComboBox>("cboRenderMode");
  mode->setCurrentIndex(2);  // KPI
  Tick(Find<QCheckBox>("chkActive"));
  Click(Find<QPushButton>("cmdSaveBlock"));
  ASSERT_EQ(list->count(), 1);
  EXPECT_EQ(list->item(0)->text(), "001 - Vendite [DEMO] {KPI} [OFF]");
  EXPECT_EQ(Find<QLabel>("lblStatus")->text(), "Blocco salvato");
  EXPECT_EQ(t->blocks.At(0).Subtitle, "riga uno\r\nriga due");

  Click(Find<QPushButton>("cmdNew"));
  Retype(title, "Fatturato");
  Retype(sql, "SELECT 2");
  Click(Find<QPushButton>("cmdSaveBlock"));
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(1)->text(), "002 - Fatturato {AUTO}");

  ClickEntry(list, 0);
  EXPECT_EQ(Find<QLabel>("lblStatus")->text(), "Blocco caricato");
  EXPECT_EQ(title->text(), "Vendite");
  EXPECT_EQ(subtitle->toPlainText(), "riga uno\nriga due");
  EXPECT_EQ(mode->currentText(), "KPI");
  EXPECT_FALSE(Find<QCheckBox>("chkActive")->isChecked());

  Click(Find<QPushButton>("cmdDeleteBlock"));
  EXPECT_EQ(Find<QLabel>("lblStatus")->text(), "Blocco eliminato");
  ASSERT_EQ(list->count(), 1);
  EXPECT_EQ(list->item(0)->text(), "002 - Fatturato {AUTO}");
  EXPECT_EQ(Find<QLineEdit>("txtOrder")->text(), "2");
  EXPECT_EQ(title->text(), "");
  BlockList stored;
  LoadBlocks(stored, t.folder.Path());
  ASSERT_EQ(stored.BlockCount(), 1);
  EXPECT_EQ(stored.At(0).Title, "Fatturato");

  Click(Find<QPushButton>("cmdDeleteBlock"));  // nothing selected now
  ASSERT_EQ(t.reporter.messages.size(), 1u);
  EXPECT_EQ(t.reporter.messages[0].text, "Seleziona un blocco da eliminare.");
}

TEST_F(WindowTest, KeyboardMovesInTheListLoadTheBlocksAndTabLeavesTheSql) {
  for (const char* title : {"Andamento", "Totale"}) {
    Block b;
    b.Title = title;
    b.Sql = "SELECT 1";
    b.RenderMode = title == std::string("Totale") ? "KPI" : "CHART";
    t->blocks.SaveBlock(-1, b);
  }
  Open();
  auto* list = Find<QListWidget>("lstBlocks");
  auto* mode = Find<QComboBox>("cboRenderMode");
  ClickEntry(list, 0);
  EXPECT_EQ(mode->currentText(), "CHART");
  EXPECT_EQ(mode->count(), 5);
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Down);
  EXPECT_EQ(Find<QLineEdit>("txtTitle")->text(), "Totale");
  EXPECT_EQ(mode->count(), 4);
  EXPECT_EQ(window->Form().State().CurrentBlockIndex, 1);
  QTest::keyClick(list, Qt::Key_Up);
  EXPECT_EQ(Find<QLineEdit>("txtTitle")->text(), "Andamento");
  Click(Find<QPushButton>("cmdSaveBlock"));  // the mode was not touched: it stays CHART
  EXPECT_EQ(t->blocks.At(0).RenderMode, "CHART");
  auto* sql = Find<QPlainTextEdit>("txtSql");
  sql->setFocus();
  QTest::keyClick(sql, Qt::Key_End, Qt::ControlModifier);
  QTest::keyClick(sql, Qt::Key_Return);
  QTest::keyClicks(sql, "WHERE 1 = 1");
  QTest::keyClick(sql, Qt::Key_Tab);
  EXPECT_EQ(sql->toPlainText(), "SELECT 1\nWHERE 1 = 1");
  EXPECT_FALSE(sql->hasFocus());
}

TEST_F(WindowTest, GeneratingThePageAndKeepingTheLoadedBlock) {
  std::string error;
  ASSERT_TRUE(CreateDemoDatabase(*t, error)) << error;
  t.reporter.messages.clear();
  t->settings.DbType = "ACCESS";
  t->settings.Database = DemoDbPath(*t);
  t->settings.OpenBrowser = false;
  for (const char* title : {"Secondo", "Primo"}) {
    Block b;
    b.Title = title;
    b.Sql = "SELECT COUNT(*) AS N FROM Clienti";
    b.SortOrder = title == std::string("Primo") ? 1 : 2;
    t->blocks.SaveBlock(-1, b);
  }
  Open();
  auto* list = Find<QListWidget>("lstBlocks");
  ClickEntry(list, 0);  // Secondo
  Retype(Find<QLineEdit>("txtOutputFile"), QString::fromStdString(File("pagina.html")));
  Click(Find<QPushButton>("cmdGenerate"));
  EXPECT_TRUE(t.reporter.messages.empty());
  EXPECT_EQ(Find<QLabel>("lblStatus")->text().toStdString(), "HTML generato: " + File("pagina.html"));
  EXPECT_TRUE(FileExists(File("pagina.html")));
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(0)->text(), "001 - Primo {AUTO}");
  EXPECT_EQ(list->currentRow(), 1);
  Retype(Find<QLineEdit>("txtTitle"), "Secondo bis");
  Click(Find<QPushButton>("cmdSaveBlock"));
  EXPECT_EQ(t->blocks.At(1).Title, "Secondo bis");
  EXPECT_EQ(t->blocks.At(0).Title, "Primo");
}

TEST_F(WindowTest, DemoButtonRunsTheDemoAndComesBack) {
  WriteBytes(File("blocks_demo.ini"), ReadBytes(DemoBlocksSource()));
  Open();
  auto* demo = Find<QPushButton>("cmdDemo");
  Click(demo);
  ASSERT_EQ(t.reporter.messages.size(), 1u);
  EXPECT_EQ(t.reporter.messages[0].title, "Panorello Demo");
  EXPECT_EQ(t.reporter.messages[0].text, "Dashboard demo generata e aperta nel browser.");
  EXPECT_TRUE(demo->isEnabled());
  EXPECT_EQ(demo->text(), "Avvia Demo");
  EXPECT_EQ(Find<QComboBox>("cboDbType")->currentText(), "ACCESS");
  EXPECT_EQ(Find<QLineEdit>("txtPageTitle")->text(), "Panorello Demo - Zavo Software");
  EXPECT_EQ(Find<QListWidget>("lstBlocks")->count(), 0);  // the user's (empty) list is back
  EXPECT_TRUE(FileExists(File("dashboard_demo.html")));
}

// The real program with a display that cannot be reached: our message and status 2, no abort.
TEST(WindowRoad, UnreachableDisplayDoesNotAbort) {
  const std::string exe = std::string(PANORELLO_BINARY_DIR) + "/panorello";
  ASSERT_TRUE(FileExists(exe)) << "build the panorello target first";
  TempFolder folder;
  const std::string copy = folder.File("panorello");
  WriteBytes(copy, ReadBytes(exe));
  ASSERT_EQ(std::system(("chmod +x '" + copy + "'").c_str()), 0);
  const std::string cmd = "env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY DISPLAY=:173 '" + copy +
                          "' 2>'" + folder.File("err.txt") + "'";
  const int raw = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), 2);
  EXPECT_NE(ReadBytes(folder.File("err.txt")).find("/RUN"), std::string::npos);
}

}  // namespace
}  // namespace panorello::testing
