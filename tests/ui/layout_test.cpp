// The window as designed: controls by name, kind, place, caption, fonts, focus order, entries.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include <string>
#include <vector>

#include "ui/window_fixture.h"

namespace panorello::testing {
namespace {

struct ControlCase {
  const char* name;
  const char* kind;
  const char* caption;
  int left, top, width, height;  // twips
};

const ControlCase kControls[] = {
    {"Label1", "QLabel", "Tipo DB", 120, 120, 735, 255},
    {"cboDbType", "QComboBox", "", 120, 360, 3615, 375},
    {"Label2", "QLabel", "Server", 120, 840, 3615, 255},
    {"txtServer", "QLineEdit", "", 120, 1080, 3615, 375},
    {"Label3", "QLabel", "Database / file", 120, 1560, 3615, 255},
    {"txtDatabase", "QLineEdit", "", 120, 1800, 3615, 375},
    {"lblRenderMode", "QLabel", "RenderMode", 120, 2400, 2415, 255},
    {"cboRenderMode", "QComboBox", "", 120, 2640, 3615, 375},
    {"Label16", "QLabel", "Dashboard", 120, 3240, 2415, 255},
    {"txtDashboard", "QLineEdit", "", 120, 3480, 3615, 375},
    {"Label15", "QLabel", "Blocchi salvati", 120, 3960, 1455, 255},
    {"lstBlocks", "QListWidget", "", 120, 4200, 4095, 4650},
    {"Label4", "QLabel", "Utente", 3960, 120, 735, 255},
    {"txtUser", "QLineEdit", "", 3960, 360, 3135, 375},
    {"Label5", "QLabel", "Password", 3960, 840, 2055, 255},
    {"txtPassword", "QLineEdit", "", 3960, 1080, 3135, 375},
    {"chkIntegrated", "QCheckBox", "Autenticazione integrata", 8040, 120, 6135, 255},
    {"Label6", "QLabel", "Conn. string", 8040, 360, 1095, 255},
    {"txtConnectionString", "QLineEdit", "", 8040, 600, 6135, 375},
    {"Label7", "QLabel", "Titolo pagina", 8040, 1080, 1095, 255},
    {"txtPageTitle", "QLineEdit", "", 8040, 1320, 4815, 375},
    {"Label8", "QLabel", "Refresh (sec)", 12960, 1080, 1095, 255},
    {"txtRefreshSeconds", "QLineEdit", "", 12960, 1320, 1170, 375},
    {"chkOpenBrowser", "QCheckBox", "Apri browser dopo la generazione", 8040, 1800, 5175, 255},
    {"Label9", "QLabel", "Output HTML", 8040, 2160, 1095, 255},
    {"txtOutputFile", "QLineEdit", "", 8040, 2400, 6135, 375},
    {"Label10", "QLabel", "Log file", 8040, 2880, 1815, 255},
    {"txtLogFile", "QLineEdit", "", 8040, 3120, 6135, 375},
    {"Label11", "QLabel", "Ordine", 10920, 3660, 975, 255},
    {"txtOrder", "QLineEdit", "", 11760, 3600, 975, 375},
    {"chkActive", "QCheckBox", "Attivo", 13080, 3720, 1095, 255},
    {"Label12", "QLabel", "Titolo", 4560, 3960, 1575, 255},
    {"txtTitle", "QLineEdit", "", 4560, 4200, 9615, 375},
    {"Label13", "QLabel", "Sottotitolo", 4560, 4560, 2415, 255},
    {"txtSubtitle", "QPlainTextEdit", "", 4560, 4920, 9615, 855},
    {"Label14", "QLabel", "SQL", 4560, 5760, 495, 255},
    {"txtSql", "QPlainTextEdit", "", 4560, 6120, 9615, 2655},
    {"cmdSaveConfig", "QPushButton", "Salva config", 120, 9120, 1455, 375},
    {"cmdTestConnection", "QPushButton", "Test connessione", 1800, 9120, 1455, 375},
    {"lblStatus", "QLabel", "Pronto", 3360, 9180, 5295, 255},
    {"cmdDemo", "QPushButton", "Avvia Demo", 4560, 9120, 1455, 375},
    {"cmdNew", "QPushButton", "Nuovo blocco", 8760, 9120, 1215, 375},
    {"cmdSaveBlock", "QPushButton", "Salva blocco", 10080, 9120, 1095, 375},
    {"cmdDeleteBlock", "QPushButton", "Elimina blocco", 11280, 9120, 1335, 375},
    {"cmdGenerate", "QPushButton", "Genera HTML", 12720, 9120, 1455, 375},
};

QString CaptionOf(QWidget* w) {
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  return {};
}

TEST_F(WindowTest, EveryControlIsWhereAndWhatItIsDesigned) {
  Open();
  EXPECT_EQ(window->windowTitle(), "Panorello Dashboard");
  EXPECT_EQ(window->size(), QSize(968, 642));
  EXPECT_EQ(window->palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_TRUE(window->autoFillBackground());
  for (const ControlCase& c : kControls) {
    SCOPED_TRACE(c.name);
    QWidget* w = Find<QWidget>(c.name);
    ASSERT_NE(w, nullptr);
    EXPECT_STREQ(w->metaObject()->className(), c.kind);
    const QRect designed(c.left / 15, c.top / 15, c.width / 15, c.height / 15);
    if (std::string(c.kind) == "QLabel") {
      // Labels keep place and height; a caption wider than the box widens it to the right.
      EXPECT_EQ(w->pos(), designed.topLeft());
      EXPECT_EQ(w->height(), designed.height());
      EXPECT_GE(w->width(), designed.width());
      EXPECT_GE(w->width(), w->fontMetrics().horizontalAdvance(CaptionOf(w)));
      if (w->width() > designed.width()) {
        EXPECT_EQ(w->width(), w->sizeHint().width());
      }
    } else {
      EXPECT_EQ(w->geometry(), designed);
    }
    EXPECT_EQ(CaptionOf(w), QString::fromUtf8(c.caption));
  }
}

TEST_F(WindowTest, FontsAndColoursAreAsDesigned) {
  Open();
  for (const ControlCase& c : kControls) {
    SCOPED_TRACE(c.name);
    QWidget* w = Find<QWidget>(c.name);
    const std::string kind = c.kind;
    const std::string name = c.name;
    if ((kind == "QLabel" && name != "lblStatus") || kind == "QCheckBox") {
      EXPECT_EQ(w->font().family(), "Arial");
      EXPECT_TRUE(w->font().bold());
      EXPECT_DOUBLE_EQ(w->font().pointSizeF(), 11.25);
    } else if (kind == "QLineEdit" || kind == "QPlainTextEdit" || kind == "QComboBox" ||
               kind == "QListWidget") {
      EXPECT_EQ(w->font().family(), "Arial");
      EXPECT_FALSE(w->font().bold());
      EXPECT_DOUBLE_EQ(w->font().pointSizeF(), 12.0);
    } else if (kind == "QPushButton") {
      const QString color = name == "cmdDemo" ? "#3070C0" : "#4BB59D";
      EXPECT_TRUE(w->styleSheet().contains(color, Qt::CaseInsensitive)) << w->styleSheet().toStdString();
    }
  }
}

TEST_F(WindowTest, IconIsOurOwn128PixelPicture) {
  Open();
  const QIcon icon = window->windowIcon();
  ASSERT_FALSE(icon.isNull());
  const QImage image = icon.pixmap(128, 128).toImage();
  EXPECT_EQ(image.size(), QSize(128, 128));
  EXPECT_TRUE(image.hasAlphaChannel());
}

TEST_F(WindowTest, PasswordIsMaskedWithStarsAndWithoutInputMethod) {
  Open();
  auto* pw = Find<QLineEdit>("txtPassword");
  EXPECT_EQ(pw->echoMode(), QLineEdit::Password);
  EXPECT_FALSE(pw->testAttribute(Qt::WA_InputMethodEnabled));
  pw->setText("abc d");
  EXPECT_EQ(pw->displayText(), "*****");
  EXPECT_EQ(pw->text(), "abc d");
}

TEST_F(WindowTest, TabGoesThroughTheControlsInTheDesignedOrder) {
  Open();
  const std::vector<std::string> expected = {
      "txtUser",       "txtPassword",    "chkIntegrated",     "txtConnectionString", "txtPageTitle",
      "txtRefreshSeconds", "chkOpenBrowser", "txtOutputFile", "txtLogFile",          "lstBlocks",
      "txtDatabase",   "txtServer",      "cboDbType",         "txtTitle",            "txtSubtitle",
      "txtOrder",      "txtSql",         "cmdSaveConfig",     "cmdTestConnection",   "cmdDemo",
      "cmdNew",        "cmdSaveBlock",   "cmdDeleteBlock",    "cmdGenerate",         "cboRenderMode",
      "txtDashboard",  "chkActive"};
  QWidget* start = Find<QWidget>("txtUser");
  std::vector<std::string> seen;
  QWidget* w = start;
  do {
    if ((w->focusPolicy() & Qt::TabFocus) && w->parentWidget() == window.get()) {
      seen.push_back(w->objectName().toStdString());
    }
    w = w->nextInFocusChain();
  } while (w != start && seen.size() < 100);
  EXPECT_EQ(seen, expected);
  for (const ControlCase& c : kControls) {
    if (std::string(c.kind) == "QLabel") {
      EXPECT_EQ(Find<QWidget>(c.name)->focusPolicy(), Qt::NoFocus) << c.name;
    }
  }
}

TEST_F(WindowTest, ListsAndInitialTexts) {
  t->settings.DbType = "SYBASE";
  Open();
  auto* db = Find<QComboBox>("cboDbType");
  QStringList entries;
  for (int i = 0; i < db->count(); ++i) entries << db->itemText(i);
  EXPECT_EQ(entries, (QStringList{"SQLSERVER", "ACCESS", "ORACLE", "MYSQL", "POSTGRESQL", "ODBC",
                                  "SYBASE"}));
  EXPECT_EQ(db->currentText(), "SYBASE");
  EXPECT_FALSE(db->isEditable());
  auto* mode = Find<QComboBox>("cboRenderMode");
  entries.clear();
  for (int i = 0; i < mode->count(); ++i) entries << mode->itemText(i);
  EXPECT_EQ(entries, (QStringList{"AUTO", "TABLE", "KPI", "CHARTTABLE"}));
  EXPECT_EQ(mode->currentText(), "AUTO");
  EXPECT_EQ(Find<QLineEdit>("txtOrder")->text(), "1");
  EXPECT_TRUE(Find<QCheckBox>("chkActive")->isChecked());
  EXPECT_EQ(Find<QLineEdit>("txtRefreshSeconds")->text(), "0");
  EXPECT_EQ(Find<QLineEdit>("txtPageTitle")->text(), "Panorello dinamico");
  EXPECT_EQ(Find<QListWidget>("lstBlocks")->count(), 0);
  EXPECT_FALSE(Find<QListWidget>("lstBlocks")->isSortingEnabled());
  EXPECT_EQ(Find<QPlainTextEdit>("txtSql")->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  // Integrated is the default: user and password are greyed.
  EXPECT_FALSE(Find<QLineEdit>("txtUser")->isEnabled());
  EXPECT_FALSE(Find<QLineEdit>("txtPassword")->isEnabled());
  EXPECT_EQ(Find<QLabel>("lblStatus")->text(), "Pronto");
}

}  // namespace
}  // namespace panorello::testing
