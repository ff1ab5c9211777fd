// "Genera HTML" on slow blocks, headless: the window's event loop keeps running (a timer fires)
// with the commands disabled, the status line follows the blocks, and closing the window during
// the run cancels it, the running query too.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <string>
#include <vector>

#include "db/connection.h"
#include "html/block_pool.h"
#include "ui/window_fixture.h"

namespace panorello::testing {
namespace {

// Keeps SQLite busy for a moment.
constexpr const char* kSlow =
    "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 400000) "
    "SELECT count(*) AS righe FROM c";
// Keeps SQLite busy until it is interrupted.
constexpr const char* kEndless =
    "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT max(x) AS n FROM c";

class BackgroundRunTest : public WindowTest {
 protected:
  static constexpr int kBlocks = 5;
  void SetUp() override {
    const std::string db = File("dati.db");
    CreateSqliteDatabase(db, t->limits).reset();
    t->settings.DbType = "ACCESS";
    t->settings.Database = db;
    t->settings.OutputFile = File("pagina.html");
    t->settings.OpenBrowser = false;
    t->run.jobs = 1;  // one block after the other: each status text stays while its block runs
    for (int i = 1; i <= kBlocks; ++i) {
      Block b{.Title = "Lento " + std::to_string(i), .Sql = kSlow, .RenderMode = "KPI"};
      t->blocks.SaveBlock(-1, b);
    }
    WriteBytes(File("pagina.html"), "pagina precedente");
    Open();
    status = Find<QLabel>("lblStatus");
    // What the event loop shows while the command is running.
    connect_ticks = QObject::connect(&timer, &QTimer::timeout, [this] {
      if (!window->Running()) return;
      if (!Find<QPushButton>("cmdSaveConfig")->isEnabled()) disabled_seen = true;
      if (on_tick) on_tick();
    });
    timer.start(5);
  }

  QLabel* status = nullptr;
  QTimer timer;
  QMetaObject::Connection connect_ticks;
  bool disabled_seen = false;
  std::function<void()> on_tick;
};

TEST_F(BackgroundRunTest, ClosingDuringTheRunAsksThenCancelsAndKeepsTheOldPage) {
  std::vector<bool> answers = {false, true};  // "No" first: the run goes on; then "Sì"
  window->confirm_cancel = [&] {
    const bool yes = answers.front();
    answers.erase(answers.begin());
    return yes;
  };
  // "No" while one of the first two blocks runs, "Sì" while a later one (before the last) runs:
  // the status line shows which block is running.
  int refused_at = 0;
  on_tick = [&] {
    const std::string text = status->text().toStdString();
    const int block = text.rfind("Blocco ", 0) == 0 ? text[7] - '0' : 0;
    if (answers.size() == 2 && block >= 1 && block <= 2) {
      refused_at = block;
      window->close();
    } else if (answers.size() == 1 && block > refused_at && block < kBlocks) {
      window->close();
    }
  };
  QTest::mouseClick(Find<QPushButton>("cmdGenerate"), Qt::LeftButton);
  EXPECT_TRUE(answers.empty());
  EXPECT_TRUE(disabled_seen);
  EXPECT_TRUE(Find<QPushButton>("cmdSaveConfig")->isEnabled());  // given back after the run
  EXPECT_TRUE(window->isVisible());  // the close comes once the command has ended
  QTRY_VERIFY(!window->isVisible());
  EXPECT_EQ(ReadBytes(File("pagina.html")), "pagina precedente");
  EXPECT_EQ(LogMessages(t.folder.Path()).back(),
            std::string("Errore RunDashboardGeneration: ") + kRunCancelledText);
  EXPECT_TRUE(t.reporter.messages.empty());  // no message box about a run the user stopped
}

TEST_F(BackgroundRunTest, ClosingDuringAQueryEndsItAndTheWindowWithinTwoSeconds) {
  t->limits.query_seconds = 60;
  t->blocks.At(0).Sql = kEndless;
  window->confirm_cancel = [] { return true; };
  using SteadyClock = std::chrono::steady_clock;
  SteadyClock::time_point closed{};
  on_tick = [&] {
    if (closed == SteadyClock::time_point{} && status->text().startsWith("Blocco 1 di")) {
      closed = SteadyClock::now();
      window->close();
    }
  };
  QTest::mouseClick(Find<QPushButton>("cmdGenerate"), Qt::LeftButton);  // returns after the run
  QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 2000);
  ASSERT_NE(closed, SteadyClock::time_point{});
  EXPECT_LT(std::chrono::duration<double>(SteadyClock::now() - closed).count(), 2);
  EXPECT_EQ(ReadBytes(File("pagina.html")), "pagina precedente");
}

}  // namespace
}  // namespace panorello::testing
