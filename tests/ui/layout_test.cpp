// The window's layout: controls by name, kind, place, caption, fonts, focus order.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include <algorithm>
#include <string>
#include <vector>

#include "ui/window_fixture.h"

namespace {
// The one QApplication of the test program, registered with GoogleTest.
[[maybe_unused]] ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new panorello::testing::QtEnvironment);
}  // namespace

namespace panorello::testing {
namespace {

const struct ControlCase {
  const char* name;
  const char* kind;
  const char* caption;
  int left, top, width, height;  // twips
} kControls[] = {
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

TEST_F(WindowTest, EveryControlIsWhereItsLayoutPutsIt) {
  t->settings.DbType = "SYBASE";  // an unknown stored type is shown as an extra entry
  Open();
  EXPECT_EQ(window->windowTitle(), "Panorello Dashboard");
  EXPECT_EQ(window->size(), QSize(968, 642));
  EXPECT_EQ(window->palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_TRUE(window->autoFillBackground());
  const QImage icon = window->windowIcon().pixmap(128, 128).toImage();
  EXPECT_EQ(icon.size(), QSize(128, 128));
  EXPECT_TRUE(icon.hasAlphaChannel());
  for (const ControlCase& c : kControls) {
    SCOPED_TRACE(c.name);
    QWidget* w = Find<QWidget>(c.name);
    ASSERT_NE(w, nullptr);
    const std::string kind = c.kind;
    EXPECT_EQ(kind, w->metaObject()->className());
    const QRect laid_out(c.left / 15, c.top / 15, c.width / 15, c.height / 15);
    if (kind == "QLabel") {
      // Labels keep place and height; a caption wider than the box widens it to the right.
      EXPECT_EQ(w->pos(), laid_out.topLeft());
      EXPECT_EQ(w->height(), laid_out.height());
      EXPECT_GE(w->width(),
                std::max(laid_out.width(), w->fontMetrics().horizontalAdvance(CaptionOf(w))));
      EXPECT_EQ(w->focusPolicy(), Qt::NoFocus);
    } else {
      EXPECT_EQ(w->geometry(), laid_out);
    }
    EXPECT_EQ(CaptionOf(w), QString::fromUtf8(c.caption));
    // Fonts and colours.
    const bool bold_caption =
        (kind == "QLabel" && c.name != std::string("lblStatus")) || kind == "QCheckBox";
    if (bold_caption || kind == "QLineEdit" || kind == "QPlainTextEdit" || kind == "QComboBox" ||
        kind == "QListWidget") {
      EXPECT_EQ(w->font().family(), "Arial");
      EXPECT_EQ(w->font().bold(), bold_caption);
      EXPECT_DOUBLE_EQ(w->font().pointSizeF(), bold_caption ? 11.25 : 12.0);
    } else if (kind == "QPushButton") {
      const QString color = c.name == std::string("cmdDemo") ? "#3070C0" : "#4BB59D";
      EXPECT_TRUE(w->styleSheet().contains(color, Qt::CaseInsensitive))
          << w->styleSheet().toStdString();
    }
  }
  auto* pw = Find<QLineEdit>("txtPassword");
  pw->setText("abc d");
  EXPECT_EQ(pw->displayText(), "*****");
  EXPECT_FALSE(pw->testAttribute(Qt::WA_InputMethodEnabled));
  auto* db = Find<QComboBox>("cboDbType");
  EXPECT_FALSE(db->isEditable());
  EXPECT_EQ(db->count(), 7);
  EXPECT_EQ(db->currentText(), "SYBASE");
  EXPECT_FALSE(Find<QComboBox>("cboRenderMode")->isEditable());
  EXPECT_FALSE(Find<QListWidget>("lstBlocks")->isSortingEnabled());
  EXPECT_EQ(Find<QPlainTextEdit>("txtSql")->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

TEST_F(WindowTest, TabGoesThroughTheControlsInTheirOrder) {
  Open();
  const std::vector<std::string> expected = {
      "txtUser",       "txtPassword",       "chkIntegrated",     "txtConnectionString",
      "txtPageTitle",  "txtRefreshSeconds", "chkOpenBrowser",    "txtOutputFile",
      "txtLogFile",    "lstBlocks",         "txtDatabase",       "txtServer",
      "cboDbType",     "txtTitle",          "txtSubtitle",       "txtOrder",
      "txtSql",        "cmdSaveConfig",     "cmdTestConnection", "cmdDemo",
      "cmdNew",        "cmdSaveBlock",      "cmdDeleteBlock",    "cmdGenerate",
      "cboRenderMode", "txtDashboard",      "chkActive"};
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
}

}  // namespace
}  // namespace panorello::testing
