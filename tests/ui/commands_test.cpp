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
#include <utility>

#include "demo/demo_db.h"
#include "storage/blocks_file.h"
#include "storage/settings.h"
#include "ui/main_window.h"
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
  Tick(Find<QCheckBox>("chkIntegrated"));
  auto* user = Find<QLineEdit>("txtUser");
  EXPECT_TRUE(user->isEnabled());
  Retype(user, "  mario  ");
  Retype(Find<QLineEdit>("txtPassword"), " segreta ");
  Retype(Find<QLineEdit>("txtServer"), "db.example");
  Retype(Find<QLineEdit>("txtRefreshSeconds"), "13.5");
  Click(Find<QPushButton>("cmdSaveConfig"));
  EXPECT_TRUE(t.reporter.messages.empty());
  EXPECT_EQ(Find<QLabel>("lblStatus")->text(), "Configurazione salvata");
  const Settings stored = LoadSettings(t.folder.Path());
  EXPECT_EQ(stored.User, "mario");
  EXPECT_EQ(stored.Password, " segreta ");
  EXPECT_EQ(stored.Server, "db.example");
  EXPECT_FALSE(stored.Integrated);
  EXPECT_EQ(stored.RefreshSeconds, 14);
  // Ticking again greys user and password, keeping their text.
  Tick(Find<QCheckBox>("chkIntegrated"));
  EXPECT_FALSE(user->isEnabled());
  EXPECT_EQ(user->text(), "  mario  ");
}

TEST_F(WindowTest, PickingOracleFillsTheTemplateAndMysqlLeavesIt) {
  Open();
  auto* db = Find<QComboBox>("cboDbType");
  auto* cs = Find<QLineEdit>("txtConnectionString");
  db->setFocus();
  // From SQLSERVER two steps down by keyboard: ACCESS, then ORACLE (each one a pick).
  QTest::keyClick(db, Qt::Key_Down);
  EXPECT_EQ(cs->text(), "");
  QTest::keyClick(db, Qt::Key_Down);
  EXPECT_EQ(db->currentText(), "ORACLE");
  EXPECT_EQ(cs->text(),
            "Provider=OraOLEDB.Oracle;Data Source=TNS_NAME;User ID=utente;Password=password;");
  QTest::keyClick(db, Qt::Key_Down);
  EXPECT_EQ(db->currentText(), "MYSQL");
  EXPECT_TRUE(cs->text().startsWith("Provider=OraOLEDB.Oracle"));
}

TEST_F(WindowTest, RefusedSaveIsAnsweredWithoutBlocking) {
  Open();
  Retype(Find<QPlainTextEdit>("txtSql"), "SELECT 1");
  Click(Find<QPushButton>("cmdSaveBlock"));
  ASSERT_EQ(t.reporter.messages.size(), 1u);
  EXPECT_EQ(t.reporter.messages[0].text, "Inserire il titolo.");
  EXPECT_EQ(t.reporter.messages[0].title, kAppTitle);
  EXPECT_EQ(Find<QListWidget>("lstBlocks")->count(), 0);
  EXPECT_FALSE(FileExists(File("blocks.ini")));
}

TEST_F(WindowTest, SavingLoadingAndDeletingBlocks) {
  Open();
  auto* list = Find<QListWidget>("lstBlocks");
  Retype(Find<QLineEdit>("txtTitle"), "Vendite");
  auto* subtitle = Find<QPlainTextEdit>("txtSubtitle");
  subtitle->setFocus();
  QTest::keyClicks(subtitle, "riga uno");
  QTest::keyClick(subtitle, Qt::Key_Return);
  QTest::keyClicks(subtitle, "riga due");
  Retype(Find<QPlainTextEdit>("txtSql"), "SELECT 1");
  Retype(Find<QLineEdit>("txtDashboard"), "DEMO");
  auto* mode = Find<QComboBox>("cboRenderMode");
  mode->setCurrentIndex(2);  // KPI
  Tick(Find<QCheckBox>("chkActive"));
  Click(Find<QPushButton>("cmdSaveBlock"));
  ASSERT_EQ(list->count(), 1);
  EXPECT_EQ(list->item(0)->text(), "001 - Vendite [DEMO] {KPI} [OFF]");
  EXPECT_EQ(Find<QLabel>("lblStatus")->text(), "Blocco salvato");
  ASSERT_EQ(t->blocks.BlockCount(), 1);
  EXPECT_EQ(t->blocks.At(0).Subtitle, "riga uno\r\nriga due");

  Click(Find<QPushButton>("cmdNew"));
  Retype(Find<QLineEdit>("txtTitle"), "Fatturato");
  Retype(Find<QPlainTextEdit>("txtSql"), "SELECT 2");
  Click(Find<QPushButton>("cmdSaveBlock"));
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(1)->text(), "002 - Fatturato {AUTO}");

  ClickEntry(list, 0);
  EXPECT_EQ(Find<QLabel>("lblStatus")->text(), "Blocco caricato");
  EXPECT_EQ(Find<QLineEdit>("txtTitle")->text(), "Vendite");
  EXPECT_EQ(subtitle->toPlainText(), "riga uno\nriga due");
  EXPECT_EQ(mode->currentText(), "KPI");
  EXPECT_FALSE(Find<QCheckBox>("chkActive")->isChecked());
  EXPECT_EQ(window->Form().State().CurrentBlockIndex, 0);

  Click(Find<QPushButton>("cmdDeleteBlock"));
  EXPECT_EQ(Find<QLabel>("lblStatus")->text(), "Blocco eliminato");
  ASSERT_EQ(list->count(), 1);
  EXPECT_EQ(list->item(0)->text(), "002 - Fatturato {AUTO}");
  EXPECT_EQ(Find<QLineEdit>("txtOrder")->text(), "2");
  EXPECT_EQ(Find<QLineEdit>("txtTitle")->text(), "");
  BlockList stored;
  LoadBlocks(stored, t.folder.Path());
  ASSERT_EQ(stored.BlockCount(), 1);
  EXPECT_EQ(stored.At(0).Title, "Fatturato");

  // Nothing selected now: the delete asks for a selection.
  Click(Find<QPushButton>("cmdDeleteBlock"));
  ASSERT_EQ(t.reporter.messages.size(), 1u);
  EXPECT_EQ(t.reporter.messages[0].text, "Seleziona un blocco da eliminare.");
}

TEST_F(WindowTest, GeneratingThePageAndKeepingTheLoadedBlock) {
  std::string error;
  ASSERT_TRUE(CreateDemoDatabase(*t, error)) << error;
  t.reporter.messages.clear();
  t->settings.DbType = "ACCESS";
  t->settings.Database = DemoDbPath(*t);
  t->settings.OpenBrowser = false;
  for (auto [title, order] : {std::pair{"Secondo", 2}, std::pair{"Primo", 1}}) {
    Block b;
    b.Title = title;
    b.Sql = "SELECT COUNT(*) AS N FROM Clienti";
    b.SortOrder = order;
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
  EXPECT_TRUE(t.browser.opened.empty());
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(0)->text(), "001 - Primo {AUTO}");
  EXPECT_EQ(list->currentRow(), 1);
  EXPECT_EQ(window->Form().State().CurrentBlockIndex, 1);
  Retype(Find<QLineEdit>("txtTitle"), "Secondo bis");
  Click(Find<QPushButton>("cmdSaveBlock"));
  EXPECT_EQ(t->blocks.At(1).Title, "Secondo bis");
  EXPECT_EQ(t->blocks.At(0).Title, "Primo");
}

TEST_F(WindowTest, DemoButtonRunsTheDemoAndComesBack) {
  WriteBytes(File("blocks_demo.ini"),
             ReadBytes(std::string(PANORELLO_SOURCE_DIR) + "/src/demo/blocks_demo.ini"));
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

TEST_F(WindowTest, KeyboardMovesInTheListLoadTheBlocksAndKeepAnUnknownMode) {
  Block chart;
  chart.Title = "Andamento";
  chart.Sql = "SELECT 1";
  chart.SortOrder = 1;
  chart.RenderMode = "CHART";
  t->blocks.SaveBlock(-1, chart);
  Block kpi = chart;
  kpi.Id = 0;
  kpi.Title = "Totale";
  kpi.RenderMode = "KPI";
  t->blocks.SaveBlock(-1, kpi);
  Open();
  auto* list = Find<QListWidget>("lstBlocks");
  auto* mode = Find<QComboBox>("cboRenderMode");
  ClickEntry(list, 0);
  EXPECT_EQ(mode->currentText(), "CHART");
  EXPECT_EQ(mode->count(), 5);
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Down);
  EXPECT_EQ(Find<QLineEdit>("txtTitle")->text(), "Totale");
  EXPECT_EQ(mode->currentText(), "KPI");
  EXPECT_EQ(mode->count(), 4);
  EXPECT_EQ(window->Form().State().CurrentBlockIndex, 1);
  QTest::keyClick(list, Qt::Key_Up);
  EXPECT_EQ(Find<QLineEdit>("txtTitle")->text(), "Andamento");
  // Saved without touching the mode: it stays CHART.
  Click(Find<QPushButton>("cmdSaveBlock"));
  EXPECT_EQ(t->blocks.At(0).RenderMode, "CHART");
  // Tab leaves the SQL box instead of typing a tab; Enter starts a new line.
  auto* sql = Find<QPlainTextEdit>("txtSql");
  sql->setFocus();
  QTest::keyClick(sql, Qt::Key_End, Qt::ControlModifier);
  QTest::keyClick(sql, Qt::Key_Return);
  QTest::keyClicks(sql, "WHERE 1 = 1");
  QTest::keyClick(sql, Qt::Key_Tab);
  EXPECT_EQ(sql->toPlainText(), "SELECT 1\nWHERE 1 = 1");
  EXPECT_FALSE(sql->hasFocus());
}

TEST(WindowRoad, WithoutADisplayItExplainsTheBatchSwitchesAndReturnsTwo) {
  TestContext t;
  const char* names[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
  std::string saved[3];
  bool had[3];
  for (int i = 0; i < 3; ++i) {
    const char* v = std::getenv(names[i]);
    had[i] = v != nullptr;
    if (had[i]) saved[i] = v;
    unsetenv(names[i]);
  }
  ::testing::internal::CaptureStderr();
  char name[] = "panorello";
  char* argv[] = {name, nullptr};
  const int status = RunWindow(*t, 1, argv);
  const std::string err = ::testing::internal::GetCapturedStderr();
  for (int i = 0; i < 3; ++i) {
    if (had[i]) setenv(names[i], saved[i].c_str(), 1);
  }
  EXPECT_EQ(status, 2);
  for (const char* sw : {"/RUN", "/AUTORUN", "/OPEN", "/DASH=", "/DEMO"}) {
    EXPECT_NE(err.find(sw), std::string::npos) << sw;
  }
}

// The real program with a display that cannot be reached: our message and status 2, no abort.
TEST(WindowRoad, UnreachableDisplayDoesNotAbort) {
  const std::string exe = std::string(PANORELLO_BINARY_DIR) + "/panorello";
  if (!FileExists(exe)) GTEST_SKIP() << "panorello not built";
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
