// Typing and clicking through the window, headless: each control reaches its command and the
// window shows what the command left; message boxes are answered by the recorder.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "db/connection.h"
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
  CreateSqliteDatabase(File("dati.db"), t->limits).reset();
  Open();
  auto* db = Find<QComboBox>("cboDbType");
  db->setFocus();
  QTest::keyClick(db, Qt::Key_Down);
  QTest::keyClick(db, Qt::Key_Down);  // ORACLE: its template into the empty box
  EXPECT_TRUE(Find<QLineEdit>("txtConnectionString")->text().startsWith("Provider="));
  QTest::keyClick(db, Qt::Key_Up);  // ACCESS
  Retype(Find<QLineEdit>("txtConnectionString"), "");
  Retype(Find<QLineEdit>("txtDatabase"), QString::fromStdString(File("dati.db")));
  Tick(Find<QCheckBox>("chkIntegrated"));
  auto* user = Find<QLineEdit>("txtUser");
  EXPECT_TRUE(user->isEnabled());
  Retype(user, "mario");
  auto* password = Find<QLineEdit>("txtPassword");
  Retype(password, "abc d");
  EXPECT_EQ(password->displayText(), "*****");
  Retype(Find<QLineEdit>("txtRefreshSeconds"), "13");
  Retype(Find<QLineEdit>("txtOutputFile"), QString::fromStdString(File("pagina.html")));
  Click(Find<QPushButton>("cmdSaveConfig"));
  const Settings stored = LoadSettings(t.folder.Path());
  EXPECT_EQ(stored.DbType + "|" + stored.User + "|" + std::to_string(stored.RefreshSeconds),
            "ACCESS|mario|13");
  Click(Find<QPushButton>("cmdTestConnection"));
  EXPECT_EQ(t.reporter.messages.at(0).text, "Connessione riuscita.");
  t.reporter.messages.clear();
  Tick(Find<QCheckBox>("chkIntegrated"));  // greys user and password again
  EXPECT_FALSE(user->isEnabled());

  auto* list = Find<QListWidget>("lstBlocks");
  auto* title = Find<QLineEdit>("txtTitle");
  auto* subtitle = Find<QPlainTextEdit>("txtSubtitle");
  auto* sql = Find<QPlainTextEdit>("txtSql");
  Retype(title, "Vendite");
  subtitle->setFocus();
  QTest::keyClicks(subtitle, "riga uno");
  QTest::keyClick(subtitle, Qt::Key_Return);
  QTest::keyClicks(subtitle, "riga due");
  Retype(sql, "SELECT 1 AS uno");
  QTest::keyClick(sql, Qt::Key_Tab);  // Tab leaves the SQL box instead of typing a tab
  EXPECT_FALSE(sql->hasFocus());
  Retype(Find<QLineEdit>("txtOrder"), "2");
  Find<QComboBox>("cboRenderMode")->setCurrentIndex(2);  // KPI
  Tick(Find<QCheckBox>("chkActive"));
  Click(Find<QPushButton>("cmdSaveBlock"));
  ASSERT_EQ(t->blocks.BlockCount(), 1);
  const Block& saved = t->blocks.At(0);
  EXPECT_EQ(saved.Sql + "|" + saved.RenderMode + "|" + std::to_string(saved.SortOrder),
            "SELECT 1 AS uno|KPI|2");
  EXPECT_FALSE(saved.Active);
  EXPECT_EQ(saved.Subtitle, "riga uno\r\nriga due");

  Click(Find<QPushButton>("cmdNew"));
  EXPECT_EQ(title->text(), "");
  Retype(title, "Fatturato");
  Retype(sql, "SELECT 2 AS due");
  Retype(Find<QLineEdit>("txtOrder"), "1");
  Click(Find<QPushButton>("cmdSaveBlock"));
  ASSERT_EQ(list->count(), 2);

  ClickEntry(list, 0);
  EXPECT_EQ(subtitle->toPlainText(), "riga uno\nriga due");
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Down);  // moving by keyboard loads as well
  EXPECT_EQ(title->text(), "Fatturato");

  Click(Find<QPushButton>("cmdGenerate"));
  EXPECT_TRUE(t.reporter.messages.empty());
  EXPECT_TRUE(FileExists(File("pagina.html")));
  EXPECT_EQ(t.browser.opened, std::vector<std::string>{File("pagina.html")});  // ticked by default
  EXPECT_EQ(list->currentRow(), 0);  // the run sorted the blocks: the selection followed

  Click(Find<QPushButton>("cmdDeleteBlock"));
  EXPECT_EQ(list->count(), 1);

  WriteBytes(File("blocks_demo.ini"), ReadBytes(DemoBlocksSource()));
  Click(Find<QPushButton>("cmdDemo"));
  EXPECT_EQ(t.browser.opened.back(), File("dashboard_demo.html"));
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
