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
#include <vector>

#include "demo/demo_db.h"
#include "storage/blocks_file.h"
#include "storage/settings.h"
#include "ui/window_fixture.h"
#include "util/files.h"

namespace panorello::testing {
namespace {

void Click(QPushButton* b) { QTest::mouseClick(b, Qt::LeftButton); }

// Check boxes react on their box and caption only: click near the box.
void Tick(QCheckBox* c) {
  QTest::mouseClick(c, Qt::LeftButton, Qt::NoModifier, QPoint(6, c->height() / 2));
}

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

// One session as a user would have it: configuration, two blocks, a generation, a delete.
TEST_F(WindowTest, TypingAndClickingThroughTheWindow) {
  std::string error;
  ASSERT_TRUE(CreateDemoDatabase(*t, error)) << error;
  t.reporter.messages.clear();
  Open();
  auto* status = Find<QLabel>("lblStatus");
  auto* db = Find<QComboBox>("cboDbType");
  auto* cs = Find<QLineEdit>("txtConnectionString");
  db->setFocus();
  QTest::keyClick(db, Qt::Key_Down);
  QTest::keyClick(db, Qt::Key_Down);  // ORACLE: its template into the empty box
  EXPECT_TRUE(cs->text().startsWith("Provider=OraOLEDB.Oracle;"));
  QTest::keyClick(db, Qt::Key_Up);  // ACCESS
  Retype(cs, "");
  Retype(Find<QLineEdit>("txtDatabase"), QString::fromStdString(DemoDbPath(*t)));
  Tick(Find<QCheckBox>("chkIntegrated"));
  auto* user = Find<QLineEdit>("txtUser");
  EXPECT_TRUE(user->isEnabled());
  Retype(user, "  mario  ");
  Retype(Find<QLineEdit>("txtRefreshSeconds"), "13");
  Retype(Find<QLineEdit>("txtOutputFile"), QString::fromStdString(File("pagina.html")));
  Click(Find<QPushButton>("cmdSaveConfig"));
  EXPECT_EQ(status->text(), "Configurazione salvata");
  const Settings stored = LoadSettings(t.folder.Path());
  EXPECT_EQ(stored.DbType + "|" + stored.User + "|" + std::to_string(stored.RefreshSeconds),
            "ACCESS|mario|13");
  Tick(Find<QCheckBox>("chkIntegrated"));  // greys user and password, keeping their text
  EXPECT_FALSE(user->isEnabled());
  EXPECT_EQ(user->text(), "  mario  ");

  auto* list = Find<QListWidget>("lstBlocks");
  auto* title = Find<QLineEdit>("txtTitle");
  auto* subtitle = Find<QPlainTextEdit>("txtSubtitle");
  auto* sql = Find<QPlainTextEdit>("txtSql");
  auto* mode = Find<QComboBox>("cboRenderMode");
  Retype(title, "Vendite");
  subtitle->setFocus();
  QTest::keyClicks(subtitle, "riga uno");
  QTest::keyClick(subtitle, Qt::Key_Return);
  QTest::keyClicks(subtitle, "riga due");
  Retype(sql, "SELECT COUNT(*) AS N FROM Clienti");
  QTest::keyClick(sql, Qt::Key_Tab);  // Tab leaves the SQL box instead of typing a tab
  EXPECT_FALSE(sql->hasFocus());
  Retype(Find<QLineEdit>("txtOrder"), "2");
  mode->setCurrentIndex(2);  // KPI
  Tick(Find<QCheckBox>("chkActive"));
  Click(Find<QPushButton>("cmdSaveBlock"));
  ASSERT_EQ(list->count(), 1);
  EXPECT_EQ(list->item(0)->text(), "002 - Vendite {KPI} [OFF]");
  EXPECT_EQ(t->blocks.At(0).Subtitle, "riga uno\r\nriga due");

  Click(Find<QPushButton>("cmdNew"));
  Retype(title, "Fatturato");
  Retype(sql, "SELECT 2 AS due");
  Retype(Find<QLineEdit>("txtOrder"), "1");
  Click(Find<QPushButton>("cmdSaveBlock"));
  ASSERT_EQ(list->count(), 2);

  ClickEntry(list, 0);
  EXPECT_EQ(status->text(), "Blocco caricato");
  EXPECT_EQ(subtitle->toPlainText(), "riga uno\nriga due");
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Down);  // moving by keyboard loads as well
  EXPECT_EQ(title->text(), "Fatturato");
  QTest::keyClick(list, Qt::Key_Up);
  EXPECT_EQ(title->text(), "Vendite");

  // The run sorts the blocks: the list follows and still selects the loaded block.
  Click(Find<QPushButton>("cmdGenerate"));
  EXPECT_TRUE(t.reporter.messages.empty());
  EXPECT_EQ(status->text().toStdString(), "HTML generato: " + File("pagina.html"));
  EXPECT_EQ(t.browser.opened, std::vector<std::string>{File("pagina.html")});  // ticked by default
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(0)->text(), "001 - Fatturato {AUTO}");
  EXPECT_EQ(list->currentRow(), 1);

  Click(Find<QPushButton>("cmdDeleteBlock"));
  EXPECT_EQ(status->text(), "Blocco eliminato");
  EXPECT_EQ(list->count(), 1);
}

// The real program with a display that cannot be reached: our message and status 2, no abort.
TEST(WindowRoad, UnreachableDisplayDoesNotAbort) {
  const std::string exe = std::string(PANORELLO_BINARY_DIR) + "/panorello-gui";
  ASSERT_TRUE(FileExists(exe)) << "build the panorello-gui target first";
  TempFolder folder;
  const std::string copy = folder.File("panorello-gui");
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
