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
#include <iterator>
#include <string>
#include <vector>

#include "ui/window_fixture.h"
#include "ui/window_layout.h"

namespace {
// The one QApplication of the test program, registered with GoogleTest.
[[maybe_unused]] ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new panorello::testing::QtEnvironment);
}  // namespace

namespace panorello::testing {
namespace {

// The widget class of each ControlKind, in the order of its values.
constexpr const char* kClassOfKind[] = {"QLabel",      "QComboBox", "QLineEdit",   "QPlainTextEdit",
                                        "QListWidget", "QCheckBox", "QPushButton", "QLabel"};

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
  for (const ControlLayout& c : kControlLayout) {
    SCOPED_TRACE(c.name);
    QWidget* w = Find<QWidget>(c.name);
    ASSERT_NE(w, nullptr);
    EXPECT_STREQ(w->metaObject()->className(), kClassOfKind[static_cast<size_t>(c.kind)]);
    const QRect laid_out(c.left / 15, c.top / 15, c.width / 15, c.height / 15);
    if (c.kind == ControlKind::kLabel) {
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
    if (c.kind == ControlKind::kButton) {
      EXPECT_TRUE(w->styleSheet().contains(c.color, Qt::CaseInsensitive));
    } else if (c.kind != ControlKind::kStatus) {
      const bool caption = c.kind == ControlKind::kLabel || c.kind == ControlKind::kCheckBox;
      EXPECT_EQ(w->font().family(), "Arial");
      EXPECT_EQ(w->font().bold(), caption);
      EXPECT_DOUBLE_EQ(w->font().pointSizeF(), caption ? 11.25 : 12.0);
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
  const std::vector<std::string> expected(std::begin(kTabOrder), std::end(kTabOrder));
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
