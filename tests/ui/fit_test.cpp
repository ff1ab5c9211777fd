// The window on small and scaled screens, its status line, shortcuts and Qt's Italian texts.
// Run offscreen by ctest, and under Xvfb at 1024x768 with QT_SCALE_FACTOR=1.5.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <string>

#include "db/connection.h"
#include "ui/window_fixture.h"
#include "ui/window_layout.h"

namespace panorello::testing {
namespace {

std::vector<QPushButton*> Buttons(FrmMain& window) {
  std::vector<QPushButton*> buttons;
  for (const ControlLayout& c : kControlLayout) {
    if (c.kind == ControlKind::kButton) {
      buttons.push_back(window.findChild<QPushButton*>(QString::fromLatin1(c.name)));
    }
  }
  return buttons;
}

TEST_F(WindowTest, OpensOnTheScreenWithEveryButtonWithinReach) {
  Open();
  const QRect room = window->screen()->availableGeometry();
  EXPECT_TRUE(room.contains(window->frameGeometry()))
      << "frame " << window->frameGeometry().x() << "," << window->frameGeometry().y() << " "
      << window->frameGeometry().width() << "x" << window->frameGeometry().height();
  QScrollArea* scroll = window->Scroller();
  const bool fits = room.width() >= kWindowWidth && room.height() >= kWindowHeight;
  if (fits) {
    EXPECT_EQ(window->size(), QSize(kWindowWidth, kWindowHeight));
    EXPECT_FALSE(scroll->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(scroll->verticalScrollBar()->isVisible());
  }
  for (QPushButton* b : Buttons(*window)) {
    scroll->ensureWidgetVisible(b, 0, 0);
    const QRect shown(b->mapTo(scroll->viewport(), QPoint(0, 0)), b->size());
    EXPECT_TRUE(scroll->viewport()->rect().contains(shown)) << b->objectName().toStdString();
  }
}

TEST_F(WindowTest, StatusTextIsCutBeforeTheButtonsAndWholeInItsTooltip) {
  Open();
  auto* status = Find<QLabel>("lblStatus");
  const std::string whole = "HTML generato: " + File("una/cartella/dal/nome/lungo/dashboard.html");
  window->Form().State().lblStatus = whole;
  window->ShowState();
  for (QPushButton* b : Buttons(*window)) {
    EXPECT_FALSE(status->geometry().intersects(b->geometry())) << b->objectName().toStdString();
  }
  EXPECT_LE(status->fontMetrics().horizontalAdvance(status->text()), status->width());
  EXPECT_TRUE(status->text().endsWith(QChar(0x2026)));
  EXPECT_EQ(status->toolTip().toStdString(), whole);
}

TEST_F(WindowTest, EachShortcutFiresItsButtonsCommand) {
  CreateSqliteDatabase(File("dati.db"), t->limits).reset();
  t->settings.DbType = "ACCESS";
  t->settings.Database = File("dati.db");
  Open();
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  auto* title = Find<QLineEdit>("txtTitle");
  title->setText(QStringLiteral("Vendite"));
  Find<QPlainTextEdit>("txtSql")->setPlainText(QStringLiteral("SELECT 1"));
  auto* list = Find<QListWidget>("lstBlocks");
  struct Case {
    QWidget* target;
    QKeyCombination keys;
    const char* button;
    std::string status;
  };
  const Case cases[] = {
      {title, Qt::CTRL | Qt::SHIFT | Qt::Key_S, "cmdSaveBlock", "Blocco salvato"},
      {title, Qt::CTRL | Qt::Key_S, "cmdSaveConfig", "Configurazione salvata"},
      {title, Qt::CTRL | Qt::Key_T, "cmdTestConnection", "Connessione riuscita"},
      {title, QKeyCombination(Qt::Key_F5), "cmdGenerate",
       "HTML generato: " + File("dashboard.html")},
      {title, Qt::CTRL | Qt::Key_N, "cmdNew", "Nuovo blocco"},
      {list, QKeyCombination(Qt::Key_Delete), "cmdDeleteBlock", "Blocco eliminato"},
  };
  for (const Case& c : cases) {
    if (c.target == list) list->setCurrentRow(0);
    c.target->setFocus();
    QTest::keyClick(c.target, c.keys.key(), c.keys.keyboardModifiers());
    EXPECT_EQ(window->Form().State().lblStatus, c.status) << c.button;
    const QString tip = Find<QPushButton>(c.button)->toolTip();
    EXPECT_TRUE(tip.contains(QKeySequence(c.keys).toString(QKeySequence::NativeText)))
        << tip.toStdString();
  }
  EXPECT_EQ(list->count(), 0);
}

TEST(QtTexts, StandardButtonsSpeakItalian) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("t"), QStringLiteral("?"),
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  auto plain = [&](QMessageBox::StandardButton b) { return box.button(b)->text().remove('&'); };
  EXPECT_EQ(plain(QMessageBox::Yes).toStdString(), "Sì");
  EXPECT_EQ(plain(QMessageBox::Cancel).toStdString(), "Annulla");
}

}  // namespace
}  // namespace panorello::testing
