// "Genera HTML" and "Avvia Demo" from the main window, and the repairs after a run.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "demo/demo_db.h"
#include "html/generation.h"
#include "storage/blocks_file.h"
#include "storage/settings.h"
#include "ui/logic/form_fixture.h"

namespace panorello::testing {
namespace {

std::vector<std::string> Titles(const BlockList& list) {
  std::vector<std::string> out;
  for (const Block& b : list.Blocks()) out.push_back(b.Title);
  return out;
}

BlockList ListOf(const std::vector<Block>& blocks) {
  BlockList list;
  for (Block b : blocks) list.SaveBlock(-1, b);
  return list;
}

struct TrackCase {
  const char* name;
  std::vector<int32_t> orders;
};

TEST(TrackPositions, FollowsEveryRecordThroughTheRunsSort) {
  const TrackCase cases[] = {
      {"sorted", {1, 2, 3}},         {"reversed", {3, 2, 1}},       {"ties", {2, 2, 1}},
      {"mixed", {5, 1, 4, 1, 3, 2}}, {"single", {1}},               {"empty", {}},
      {"negative", {3, -1, 2}},
  };
  for (const TrackCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Block> blocks;
    for (size_t i = 0; i < c.orders.size(); ++i) {
      blocks.push_back(MakeBlock(1, "T" + std::to_string(i), c.orders[i]));
    }
    const BlockList before = ListOf(blocks);
    BlockList after = before;
    SortBlocks(after);
    const std::vector<int32_t> moved = TrackPositions(before, after);
    ASSERT_EQ(moved.size(), c.orders.size());
    for (int32_t i = 0; i < before.BlockCount(); ++i) {
      ASSERT_GE(moved[static_cast<size_t>(i)], 0);
      EXPECT_EQ(after.At(moved[static_cast<size_t>(i)]), before.At(i));
    }
  }
}

TEST(TrackPositions, TellsApartRecordsThatAreEqualInEveryField) {
  // Two identical records (same Id too) around others: each keeps its own destination.
  const Block twin = MakeBlock(5, "Gemello", 2);
  const BlockList before = ListOf({twin, MakeBlock(6, "X", 1), twin, MakeBlock(7, "Y", 1)});
  BlockList after = before;
  SortBlocks(after);
  const std::vector<int32_t> moved = TrackPositions(before, after);
  ASSERT_EQ(moved.size(), 4u);
  EXPECT_NE(moved[0], moved[2]);
  // The tagged replay of the sort says where each twin went.
  BlockList tagged = before;
  for (int32_t i = 0; i < 4; ++i) tagged.At(i).Id = 100 + i;
  SortBlocks(tagged);
  for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(tagged.At(moved[static_cast<size_t>(i)]).Id, 100 + i);
}

TEST(TrackPositions, UnsortedOrReplacedListsAreMatchedByContent) {
  const BlockList before = ListOf({MakeBlock(1, "A", 3), MakeBlock(2, "B", 1)});
  EXPECT_EQ(TrackPositions(before, before), (std::vector<int32_t>{0, 1}));
  const BlockList other = ListOf({MakeBlock(9, "Z", 1)});
  EXPECT_EQ(TrackPositions(before, other), (std::vector<int32_t>{-1, -1}));
}

class RunCommandTest : public FormTest {
 protected:
  void SetUp() override {
    // Every block query runs against a real SQLite file: the sample database.
    std::string error;
    ASSERT_TRUE(CreateDemoDatabase(*t, error)) << error;
    t->settings.DbType = "ACCESS";
    t->settings.Database = DemoDbPath(*t);
    t->settings.OpenBrowser = false;
    t->settings.OutputFile = File("out/page.html");
    Boxes().clear();
  }
};

TEST_F(RunCommandTest, GenerateWritesSettingsBlocksAndPage) {
  AddBlocks({MakeBlock(1, "Clienti", 2, true, "TABLE", "", "SELECT COUNT(*) AS N FROM Clienti")});
  form.Form_Load();
  s.txtPageTitle = " Mio titolo ";
  s.txtTitle = "non salvato";
  form.cmdGenerate_Click();
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(s.lblStatus, "HTML generato: " + File("out/page.html"));
  EXPECT_TRUE(FileExists(File("out/page.html")));
  EXPECT_NE(ReadBytes(File("out/page.html")).find("Mio titolo"), std::string::npos);
  EXPECT_EQ(LoadSettings(t.folder.Path()).PageTitle, "Mio titolo");
  BlockList stored;
  LoadBlocks(stored, t.folder.Path());
  EXPECT_EQ(Titles(stored), (std::vector<std::string>{"Clienti"}));
  EXPECT_TRUE(t.browser.opened.empty());
  EXPECT_EQ(s.txtTitle, "non salvato");
}

TEST_F(RunCommandTest, GenerateOpensTheBrowserOnlyWhenTicked) {
  form.Form_Load();
  s.chkOpenBrowser = true;
  form.cmdGenerate_Click();
  EXPECT_EQ(t.browser.opened, (std::vector<std::string>{File("out/page.html")}));
}

TEST_F(RunCommandTest, BlankOutputBoxGeneratesTheDefaultPathAndStaysBlank) {
  form.Form_Load();
  s.txtOutputFile = "   ";
  form.cmdGenerate_Click();
  EXPECT_EQ(s.lblStatus, "HTML generato: " + File("dashboard.html"));
  EXPECT_EQ(s.txtOutputFile, "   ");
  EXPECT_TRUE(FileExists(File("dashboard.html")));
}

TEST_F(RunCommandTest, FailedRunStillWritesTheFilesAndSaysSo) {
  form.Form_Load();
  WriteBytes(File("not_a_folder"), "x");
  s.txtOutputFile = File("not_a_folder/page.html");
  form.cmdGenerate_Click();
  EXPECT_EQ(s.lblStatus, "Errore nella generazione HTML");
  ASSERT_EQ(Boxes().size(), 1u);  // the run's own box
  EXPECT_EQ(Boxes()[0].icon, MessageIcon::Warning);
  EXPECT_EQ(Boxes()[0].text.rfind("Errore durante la generazione HTML: ", 0), 0u);
  EXPECT_TRUE(FileExists(File("config.ini")));
  EXPECT_TRUE(FileExists(File("blocks.ini")));
}

TEST_F(RunCommandTest, GenerateStopsWhenConfigCannotBeWritten) {
  form.Form_Load();
  BlockFile("config.ini");
  form.cmdGenerate_Click();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_NE(Boxes()[0].text.find("config.ini"), std::string::npos);
  EXPECT_EQ(s.lblStatus, "Errore nella generazione HTML");
  EXPECT_FALSE(FileExists(File("out/page.html")));
}

TEST_F(RunCommandTest, AfterAGenerationTheEditorStillActsOnTheLoadedAndSelectedBlocks) {
  AddBlocks({MakeBlock(1, "C", 3), MakeBlock(2, "A", 1), MakeBlock(3, "B", 2), MakeBlock(4, "D", 4)});
  form.Form_Load();
  Click(0);                   // loads C
  s.lstBlocks.selected = 2;   // and B stays selected (as after a keyboard move without load)
  s.txtTitle = "C modificato";
  form.cmdGenerate_Click();
  EXPECT_EQ(Titles(t->blocks), (std::vector<std::string>{"A", "B", "C", "D"}));
  EXPECT_EQ(s.lstBlocks.entries,
            (std::vector<std::string>{"001 - A {AUTO}", "002 - B {AUTO}", "003 - C {AUTO}",
                                      "004 - D {AUTO}"}));
  EXPECT_EQ(s.CurrentBlockIndex, 2);
  EXPECT_EQ(s.lstBlocks.selected, 1);
  EXPECT_EQ(s.txtTitle, "C modificato");
  form.cmdSaveBlock_Click();
  EXPECT_EQ(Titles(t->blocks), (std::vector<std::string>{"A", "B", "C modificato", "D"}));
  EXPECT_EQ(t->blocks.At(2).Id, 1);
  s.lstBlocks.selected = 1;
  form.cmdDeleteBlock_Click();
  EXPECT_EQ(Titles(t->blocks), (std::vector<std::string>{"A", "C modificato", "D"}));
}

TEST_F(RunCommandTest, NewBlockStateSurvivesAGeneration) {
  AddBlocks({MakeBlock(1, "B", 2), MakeBlock(2, "A", 1)});
  form.Form_Load();
  form.cmdGenerate_Click();
  EXPECT_EQ(s.CurrentBlockIndex, -1);
  EXPECT_EQ(s.lstBlocks.selected, -1);
  s.txtTitle = "Nuovo";
  s.txtSql = "SELECT 1";
  form.cmdSaveBlock_Click();
  EXPECT_EQ(Titles(t->blocks), (std::vector<std::string>{"A", "B", "Nuovo"}));
}

class DemoCommandTest : public RunCommandTest {
 protected:
  void SetUp() override {
    RunCommandTest::SetUp();
    t->settings.User = "mario";
    t->settings.ConnectionString = "";
    t->settings.RefreshSeconds = 30;
    AddBlocks({MakeBlock(11, "Mio B", 2), MakeBlock(12, "Mio A", 1)});
    form.Form_Load();
    Click(0);
    s.txtUser = "utente nel campo";
    form.show_now = [this] { seen.push_back(s.cmdDemoCaption + (s.cmdDemoEnabled ? "+" : "-")); };
  }
  void PlaceDemoBlocks() {
    WriteBytes(File("blocks_demo.ini"),
               ReadBytes(std::string(PANORELLO_SOURCE_DIR) + "/src/demo/blocks_demo.ini"));
  }
  void ExpectUserBlocksBack() {
    EXPECT_EQ(Titles(t->blocks), (std::vector<std::string>{"Mio B", "Mio A"}));
    EXPECT_EQ(s.lstBlocks.entries,
              (std::vector<std::string>{"002 - Mio B {AUTO}", "001 - Mio A {AUTO}"}));
    EXPECT_EQ(s.CurrentBlockIndex, 0);
    EXPECT_EQ(s.txtTitle, "Mio B");
    EXPECT_EQ(s.cmdDemoCaption, "Avvia Demo");
    EXPECT_TRUE(s.cmdDemoEnabled);
    EXPECT_FALSE(FileExists(File("blocks.ini")));
    EXPECT_FALSE(FileExists(File("config.ini")));
  }
  std::vector<std::string> seen;
};

TEST_F(DemoCommandTest, DemoWithItsBlocksGeneratesAndGivesTheUsersBlocksBack) {
  PlaceDemoBlocks();
  std::vector<std::string> listed_during_run;
  form.show_now = [this, &listed_during_run] {
    seen.push_back(s.cmdDemoCaption + (s.cmdDemoEnabled ? "+" : "-"));
    listed_during_run = s.lstBlocks.entries;
  };
  form.cmdDemo_Click();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].icon, MessageIcon::Information);
  EXPECT_EQ(Boxes()[0].title, "Panorello Demo");
  EXPECT_EQ(Boxes()[0].text, "Dashboard demo generata e aperta nel browser.");
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front(), "Creazione...-");
  // The demo blocks were listed while the run went on.
  EXPECT_FALSE(listed_during_run.empty());
  EXPECT_NE(listed_during_run.front().find("[DEMO]"), std::string::npos);
  ExpectUserBlocksBack();
  // Settings switched to the sample; five fields show it, the others keep their text.
  EXPECT_EQ(t->settings.DbType, "ACCESS");
  EXPECT_EQ(t->settings.User, "");
  EXPECT_EQ(s.cboDbType.Text(), "ACCESS");
  EXPECT_EQ(s.txtDatabase, DemoDbPath(*t));
  EXPECT_EQ(s.txtPageTitle, "Panorello Demo - Zavo Software");
  EXPECT_EQ(s.txtOutputFile, File("dashboard_demo.html"));
  EXPECT_EQ(s.txtServer, "");
  EXPECT_EQ(s.txtUser, "utente nel campo");
  EXPECT_EQ(t.browser.opened, (std::vector<std::string>{File("dashboard_demo.html")}));
  const std::string page = ReadBytes(File("dashboard_demo.html"));
  EXPECT_EQ(page.find("Mio A"), std::string::npos);
  // A save after the demo stores into the user's block, not a demo block.
  s.txtTitle = "Mio B bis";
  form.cmdSaveBlock_Click();
  EXPECT_EQ(Titles(t->blocks), (std::vector<std::string>{"Mio B bis", "Mio A"}));
}

TEST_F(DemoCommandTest, DemoWithoutItsBlocksUsesTheUsersBlocksAndLeavesTheirOrder) {
  form.cmdDemo_Click();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "Dashboard demo generata e aperta nel browser.");
  const std::string page = ReadBytes(File("dashboard_demo.html"));
  EXPECT_NE(page.find("Mio A"), std::string::npos);
  ExpectUserBlocksBack();
}

TEST_F(DemoCommandTest, FailedPageIsReportedTwiceAndBlocksComeBack) {
  PlaceDemoBlocks();
  BlockFile("dashboard_demo.html");
  form.cmdDemo_Click();
  ASSERT_EQ(Boxes().size(), 2u);
  EXPECT_EQ(Boxes()[0].text.rfind("Errore durante la generazione HTML: ", 0), 0u);
  EXPECT_EQ(Boxes()[1].icon, MessageIcon::Warning);
  EXPECT_EQ(Boxes()[1].title, "Panorello Demo");
  EXPECT_EQ(Boxes()[1].text, "Errore durante la generazione della dashboard demo.");
  ExpectUserBlocksBack();
  EXPECT_EQ(t->settings.DbType, "ACCESS");
}

TEST_F(DemoCommandTest, FailedSampleDatabaseChangesNothing) {
  // A sample file that cannot be created: its name is taken by a folder.
  std::remove(DemoDbPath(*t).c_str());
  EnsureFolder(DemoDbPath(*t));
  t->settings.DbType = "SQLSERVER";
  const Settings before = t->settings;
  form.cmdDemo_Click();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].icon, MessageIcon::Warning);
  EXPECT_EQ(Boxes()[0].title, "Panorello Demo");
  EXPECT_EQ(Boxes()[0].text.rfind("Errore durante la creazione del database demo:\r\n", 0), 0u);
  EXPECT_GT(Boxes()[0].text.size(), std::string("Errore durante la creazione del database demo:\r\n").size());
  EXPECT_EQ(t->settings, before);
  EXPECT_EQ(s.txtUser, "utente nel campo");
  ExpectUserBlocksBack();
}

}  // namespace
}  // namespace panorello::testing
