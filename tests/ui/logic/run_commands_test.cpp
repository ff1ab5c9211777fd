// "Genera HTML" and "Avvia Demo" from the main window, and the repairs after a run.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "demo/demo_db.h"
#include "html/generation.h"
#include "storage/settings.h"
#include "ui/logic/form_fixture.h"

namespace panorello::testing {
namespace {

BlockList ListOf(const std::vector<Block>& blocks) {
  BlockList list;
  for (Block b : blocks) list.SaveBlock(-1, b);
  return list;
}

// A list that is not the old one sorted: equal records are matched, the others have no position.
TEST(TrackPositions, RecordsNoLongerThereHaveNoPosition) {
  const BlockList before =
      ListOf({MakeBlock(1, "A", 3), MakeBlock(2, "B", 2), MakeBlock(3, "C", 1)});
  const BlockList after = ListOf({MakeBlock(9, "Z", 1), MakeBlock(3, "C", 1)});
  EXPECT_EQ(TrackPositions(before, after), (std::vector<int32_t>{-1, -1, 1}));
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
  EXPECT_NE(ReadBytes(File("out/page.html")).find("Mio titolo"), std::string::npos);
  EXPECT_EQ(LoadSettings(t.folder.Path()).PageTitle, "Mio titolo");
  EXPECT_EQ(Titles(StoredBlocks()), std::vector<std::string>{"Clienti"});  // not the editor
  // A blank output box: the default page beside the executable, the box stays blank.
  s.txtOutputFile = "   ";
  form.cmdGenerate_Click();
  EXPECT_EQ(s.lblStatus, "HTML generato: " + File("dashboard.html"));
  EXPECT_EQ(s.txtOutputFile, "   ");
}

TEST_F(RunCommandTest, GenerateSaysHowManyBlocksFailed) {
  AddBlocks({MakeBlock(1, "A", 1, true, "AUTO", "", "SELECT * FROM manca"),
             MakeBlock(2, "B", 2, true, "AUTO", "", "SELECT x FROM"),
             MakeBlock(3, "C", 3, true, "AUTO", "", "SELECT 3")});
  form.Form_Load();
  form.cmdGenerate_Click();
  EXPECT_EQ(s.lblStatus,
            "HTML generato: " + File("out/page.html") + " (2 blocchi su 3 con errore)");
  ExpectOneWarning("\r\n2 blocchi su 3 con errore: la pagina li mostra");
  EXPECT_EQ(FailedBlocksText({.blocks = 2, .failed_blocks = 1}), "1 blocco su 2 con errore");
}

TEST_F(RunCommandTest, FailuresAreShownAndTheStatusSaysSo) {
  form.Form_Load();
  WriteBytes(File("not_a_folder"), "x");
  s.txtOutputFile = File("not_a_folder/page.html");
  form.cmdGenerate_Click();
  EXPECT_EQ(s.lblStatus, "Errore nella generazione HTML");
  ExpectOneWarning("Errore durante la generazione HTML: ");  // the run's own box
  EXPECT_TRUE(FileExists(File("blocks.ini")));               // written although the run failed

  // config.ini cannot be replaced: the command stops before the run.
  Boxes().clear();
  std::remove(File("config.ini").c_str());
  BlockFile("config.ini");
  s.txtOutputFile = File("out/page.html");
  form.cmdGenerate_Click();
  ExpectOneWarning("config.ini");
  EXPECT_EQ(s.lblStatus, "Errore nella generazione HTML");
  EXPECT_FALSE(FileExists(File("out/page.html")));
}

TEST_F(RunCommandTest, AfterAGenerationTheEditorStillActsOnTheLoadedAndSelectedBlocks) {
  AddBlocks(
      {MakeBlock(1, "C", 3), MakeBlock(2, "A", 1), MakeBlock(3, "B", 2), MakeBlock(4, "D", 4)});
  form.Form_Load();
  Click(0);                  // loads C
  s.lstBlocks.selected = 2;  // and B stays selected (as after a keyboard move without load)
  s.txtTitle = "C modificato";
  form.cmdGenerate_Click();
  EXPECT_EQ(s.CurrentBlockIndex, 2);
  EXPECT_EQ(s.lstBlocks.selected, 1);
  EXPECT_EQ(s.txtTitle, "C modificato");
  form.cmdSaveBlock_Click();
  EXPECT_EQ(Titles(t->blocks), (std::vector<std::string>{"A", "B", "C modificato", "D"}));
  s.lstBlocks.selected = 1;
  form.cmdDeleteBlock_Click();
  EXPECT_EQ(Titles(t->blocks), (std::vector<std::string>{"A", "C modificato", "D"}));
}

class DemoCommandTest : public RunCommandTest {
 protected:
  void SetUp() override {
    RunCommandTest::SetUp();
    t->settings.User = "mario";
    AddBlocks({MakeBlock(11, "Mio B", 2), MakeBlock(12, "Mio A", 1)});
    form.Form_Load();
    Click(0);
    s.txtUser = "utente nel campo";
    s.txtPageTitle = "titolo nel campo";
    users_settings = t->settings;
  }
  void PlaceDemoBlocks() { WriteBytes(File("blocks_demo.ini"), ReadBytes(DemoBlocksSource())); }
  // The user's blocks, list, loaded block and button are back; nothing was written.
  void ExpectUserStateBack() {
    EXPECT_EQ(Titles(t->blocks), (std::vector<std::string>{"Mio B", "Mio A"}));
    EXPECT_EQ(s.CurrentBlockIndex, 0);
    EXPECT_EQ(s.txtUser, "utente nel campo");
    EXPECT_EQ(s.cmdDemoCaption, "Avvia Demo");
    EXPECT_FALSE(FileExists(File("blocks.ini")));
    EXPECT_FALSE(FileExists(File("config.ini")));
    // The user's settings are back in memory, and the fields the demo filled show what they did.
    EXPECT_EQ(t->settings, users_settings);
    EXPECT_EQ(
        s.cboDbType.Text() + "|" + s.txtDatabase + "|" + s.txtPageTitle + "|" + s.txtOutputFile,
        "ACCESS|" + DemoDbPath(*t) + "|titolo nel campo|" + File("out/page.html"));
  }
  Settings users_settings;
};

TEST_F(DemoCommandTest, DemoWithItsBlocksGeneratesAndGivesTheUsersBlocksBack) {
  PlaceDemoBlocks();
  std::vector<std::string> seen;
  std::vector<std::string> listed_during_run;
  form.show_now = [&] {
    seen.push_back(s.cmdDemoCaption + (s.cmdDemoEnabled ? "+" : "-"));
    listed_during_run = s.lstBlocks.entries;
  };
  form.cmdDemo_Click();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].title + "|" + Boxes()[0].text,
            "Panorello Demo|Dashboard demo generata e aperta nel browser.\r\n" +
                File("dashboard_demo.html"));
  EXPECT_EQ(seen.at(0), "Creazione...-");
  EXPECT_NE(listed_during_run.at(0).find("[DEMO]"), std::string::npos);
  ExpectUserStateBack();
  EXPECT_EQ(t.browser.opened, (std::vector<std::string>{File("dashboard_demo.html")}));
}

TEST_F(DemoCommandTest, FailedPageIsReportedTwiceAndBlocksComeBack) {
  PlaceDemoBlocks();
  BlockFile("dashboard_demo.html");
  form.cmdDemo_Click();
  ASSERT_EQ(Boxes().size(), 2u);
  EXPECT_EQ(Boxes()[0].text.rfind("Errore durante la generazione HTML: ", 0), 0u);
  EXPECT_EQ(Boxes()[1].title + "|" + Boxes()[1].text,
            "Panorello Demo|Errore durante la generazione della dashboard demo.");
  ExpectUserStateBack();
}

TEST_F(DemoCommandTest, FailedSampleDatabaseChangesNothing) {
  std::remove(DemoDbPath(*t).c_str());
  EnsureFolder(DemoDbPath(*t));  // the sample file's name is taken by a folder
  t->settings.DbType = "SQLSERVER";
  users_settings = t->settings;
  form.cmdDemo_Click();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].title, "Panorello Demo");
  EXPECT_EQ(Boxes()[0].text.rfind("Errore durante la creazione del database demo:\r\n", 0), 0u);
  ExpectUserStateBack();
}

}  // namespace
}  // namespace panorello::testing
