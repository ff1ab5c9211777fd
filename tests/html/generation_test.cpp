#include "html/generation.h"

#include <gtest/gtest.h>

#include "html/grid_builder.h"
#include "html/page_frame.h"
#include "support/rendered.h"
#include "support/test_support.h"

namespace panorello {
namespace {

using testing::LogMessages;
using testing::ReadBytes;
using Texts = std::vector<std::string>;

Texts Titles(const BlockList& list) {
  Texts out;
  for (const Block& b : list.Blocks()) out.push_back(b.Title);
  return out;
}

struct SqliteContext : testing::SqliteContext {
  SqliteContext() : testing::SqliteContext({"CREATE TABLE t (n INTEGER)"}) {}
  // Appends a block and keeps the sort orders of the test (adding tidies non-positive ones).
  void Add(const std::string& title, int32_t order, const std::string& dashboard = "",
           bool active = true, const std::string& sql = "SELECT 1 AS n") {
    Block& b = testing::SqliteContext::Add(title, sql);
    b.Dashboard = dashboard;
    b.Active = active;
    orders.push_back(order);
    for (size_t i = 0; i < orders.size(); ++i)
      ctx->blocks.At(static_cast<int32_t>(i)).SortOrder = orders[i];
  }
  std::vector<int32_t> orders;
};

TEST(SortBlocks, ExchangeSortWithItsInstability) {
  SqliteContext t;
  t.Add("A", 2);
  t.Add("B", 2);
  t.Add("C", 1);
  SortBlocks(t->blocks);
  EXPECT_EQ(Titles(t->blocks), (Texts{"C", "B", "A"}));
}

TEST(BuildDashboardHtml, SelectionAndOrder) {
  SqliteContext t;
  t.Add("spento", 0, "DEMO", false);
  const auto frame = [&t](const std::string& name, const std::string& blocks) {
    return BuildPageHead(t->settings) + BuildPageHeader(t->settings, t.clock, name) + blocks +
           BuildPageFooter(t.clock);
  };
  EXPECT_EQ(testing::RenderedPage(*t, ""), frame("", ""));  // no selected block
  t.Add("maiuscolo", 5, "DEMO");
  t.Add("misto", 4, "Demo");
  t.Add("spazi", 3, "demo  ");
  t.Add("altro", 2, "DEMO2");
  t.Add("tutte", 1, "");
  const struct {
    std::string name;
    Texts shown;
  } cases[] = {
      {.name = " demo ", .shown = {"tutte", "spazi", "misto", "maiuscolo"}},
      {.name = "   ", .shown = {"tutte", "altro", "spazi", "misto", "maiuscolo"}},
  };
  for (const auto& c : cases) {
    std::string blocks;
    for (const std::string& title : c.shown) {
      for (const Block& b : t->blocks.Blocks()) {
        if (b.Title == title) blocks += testing::RenderedBlock(*t, b);
      }
    }
    EXPECT_EQ(testing::RenderedPage(*t, c.name), frame(c.name, blocks)) << c.name;
  }
  EXPECT_EQ(Titles(t->blocks), (Texts{"spento", "tutte", "altro", "spazi", "misto", "maiuscolo"}));
}

TEST(RunDashboardGeneration, LogLinesResultAndMessages) {
  const struct {
    std::string output;  // in the test folder; blanks alone: the default page beside the program
    bool open = true, silent = false, browser_fails = false;
    bool unwritable = false;  // the folder of the page is a file: the system's description
    std::string error;        // "" success
  } cases[] = {
      {.output = "out/page.html"},
      {.output = "   ", .open = false, .silent = true},
      {.output = "file/sotto/page.html", .silent = true, .unwritable = true},
      {.output = "file/sotto/page.html", .unwritable = true},
      {.output = "out/page.html", .browser_fails = true, .error = "browser failure"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output + (c.silent ? " silent" : ""));
    SqliteContext t;
    t.Add("uno", 2, "", true, "SELECT n FROM t");
    t.Add("rotto", 3, "", true, "SELECT * FROM manca");  // a failing block is no failure
    testing::WriteBytes(t.folder.File("file"), "x");
    const bool blank = c.output == "   ";
    t->settings.OutputFile = blank ? c.output : t.folder.File(c.output);
    t.browser.fail = c.browser_fails;
    GenerationOutcome run;
    const bool ok = RunDashboardGeneration(*t, c.open, c.silent, "", run);
    const std::string error = c.unwritable ? run.error_text : c.error;
    EXPECT_EQ(ok, error.empty());
    EXPECT_EQ(ok, !c.unwritable && c.error.empty());
    EXPECT_EQ(run.ok, ok);
    EXPECT_EQ(run.written, !c.unwritable);
    // An unwritable page fails before any block runs.
    EXPECT_EQ(std::to_string(run.blocks) + "/" + std::to_string(run.failed_blocks),
              c.unwritable ? "0/0" : "2/1");
    const std::string path = t.folder.File(blank ? "dashboard.html" : c.output);
    EXPECT_EQ(t->settings.OutputFile, path);
    const Texts log = LogMessages(t.folder.Path());
    Texts expected = {"Inizio RunDashboardGeneration"};
    if (!c.unwritable) expected.push_back("Errore blocco 2 (rotto): no such table: manca");
    expected.push_back("Scrittura file " + path);
    if (c.open && !c.unwritable) expected.push_back("Apertura browser " + path);
    expected.push_back(ok ? "Fine RunDashboardGeneration OK"
                          : "Errore RunDashboardGeneration: " + error);
    EXPECT_EQ(log, expected);
    EXPECT_EQ(t.browser.opened, ok && c.open ? Texts{path} : Texts{});
    if (!c.unwritable) {
      EXPECT_EQ(ReadBytes(path), testing::RenderedPage(*t, ""));
    }
    ASSERT_EQ(t.reporter.messages.size(), ok || c.silent ? 0u : 1u);
    if (!t.reporter.messages.empty()) {
      EXPECT_EQ(t.reporter.messages[0].icon, MessageIcon::Warning);
      EXPECT_EQ(t.reporter.messages[0].title, kAppTitle);
      EXPECT_EQ(t.reporter.messages[0].text, "Errore durante la generazione HTML: " + error);
    }
  }
}

}  // namespace
}  // namespace panorello
