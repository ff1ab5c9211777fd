// The window's focus order.
#include <gtest/gtest.h>

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

TEST_F(WindowTest, TabGoesThroughTheControlsInTheirOrder) {
  Open();
  const std::vector<std::string> expected(std::begin(kTabOrder), std::end(kTabOrder));
  QWidget* start = Find<QWidget>("txtUser");
  std::vector<std::string> seen;
  QWidget* w = start;
  do {
    if ((w->focusPolicy() & Qt::TabFocus) && w->parentWidget() == window->Client()) {
      seen.push_back(w->objectName().toStdString());
    }
    w = w->nextInFocusChain();
  } while (w != start && seen.size() < 100);
  EXPECT_EQ(seen, expected);
}

}  // namespace
}  // namespace panorello::testing
