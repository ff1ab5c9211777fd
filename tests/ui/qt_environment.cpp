// Registers the QApplication of the test program with GoogleTest.
#include "ui/window_fixture.h"

namespace {
[[maybe_unused]] ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new panorello::testing::QtEnvironment);
}  // namespace
