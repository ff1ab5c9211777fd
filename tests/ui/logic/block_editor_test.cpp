// The block editor of the main window without any toolkit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/logic/form_fixture.h"

namespace panorello::testing {
namespace {

TEST(BlockEntryText, FollowsTheListFormat) {
  const struct {
    Block block;
    const char* text;
  } cases[] = {
      {MakeBlock(1, "Vendite", 3, false, "KPI", "DEMO"), "003 - Vendite [DEMO] {KPI} [OFF]"},
      {MakeBlock(1, "T", 7, true, "", "  "), "007 - T"},
      {MakeBlock(1, "T", 1234, true, "TABLE", ""), "1234 - T {TABLE}"},
      {MakeBlock(1, "T", -5, true, "KPI", ""), "-005 - T {KPI}"},
  };
  for (const auto& c : cases) EXPECT_EQ(BlockEntryText(c.block), c.text);
}

TEST(SqlHasEndMarkerLine, FindsEveryLineTheBlocksFileWouldEndTheQueryAt) {
  const struct {
    const char* sql;
    bool refused;
  } cases[] = {{"SQLEND", true},
               {"SELECT 1\r\n  SQLEND  \r\nFROM t", true},
               {"SELECT 1\rSQLEND\rFROM t", true},
               {"SELECT 1\r\n\tSQLEND", false},
               {"SELECT 'SQLEND' FROM t", false}};
  for (const auto& c : cases) EXPECT_EQ(SqlHasEndMarkerLine(c.sql), c.refused) << c.sql;
}

class BlockEditorTest : public FormTest {
 protected:
  void Type(const std::string& title, const std::string& sql, const std::string& order = "",
            const std::string& mode = "AUTO", const std::string& dashboard = "") {
    s.txtTitle = title;
    s.txtSql = sql;
    if (!order.empty()) s.txtOrder = order;
    s.cboRenderMode.Show(mode, kRenderModeEntryCount);
    s.txtDashboard = dashboard;
  }
};

TEST_F(BlockEditorTest, SavingANewBlockTwiceGivesTwoBlocks) {
  form.Form_Load();
  Type("  Vendite  ", "SELECT 1 ", "", "KPI", " DEMO ");
  s.txtSubtitle = " riga 1\r\nriga 2 ";
  form.cmdSaveBlock_Click();
  form.cmdSaveBlock_Click();
  ASSERT_EQ(t->blocks.BlockCount(), 2);
  Block expected =
      MakeBlock(1, "Vendite", 1, true, "KPI", "DEMO", "SELECT 1 ");  // SQL stored as typed
  expected.Subtitle = "riga 1\r\nriga 2";
  EXPECT_EQ(t->blocks.At(0), expected);
  expected.Id = 2;
  EXPECT_EQ(t->blocks.At(1), expected);
  EXPECT_EQ(s.lblStatus, "Blocco salvato");
  EXPECT_EQ(StoredBlocks().BlockCount(), 2);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(BlockEditorTest, RefusedBlocksChangeNothing) {
  AddBlocks({MakeBlock(1, "A", 1)});
  const struct {
    const char* title;
    const char* sql;
    const char* order;
    const char* expected_start;
  } cases[] = {
      {.title = "   ", .sql = "SELECT 1", .order = "1", .expected_start = "Inserire il titolo."},
      {.title = "T", .sql = "   ", .order = "1", .expected_start = "Inserire la SQL."},
      {.title = "T",
       .sql = "SELECT 1",
       .order = "3000000000",
       .expected_start = "Il valore di Ordine"},
      {.title = "T",
       .sql = "SELECT 1\r\nSQLEND\r\nFROM t",
       .order = "1",
       .expected_start = "La SQL contiene una riga \"SQLEND\""},
  };
  form.Form_Load();
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.title) + "|" + c.sql + "|" + c.order);
    Boxes().clear();
    const BlockList before = t->blocks;
    s.lblStatus = "prima";
    Type(c.title, c.sql, c.order);
    form.cmdSaveBlock_Click();
    ExpectOneWarning(c.expected_start);
    EXPECT_EQ(t->blocks, before);
    EXPECT_EQ(s.lblStatus, "prima");
    EXPECT_FALSE(FileExists(File("blocks.ini")));
  }
}

TEST_F(BlockEditorTest, ClickLoadsSaveReplacesNewClears) {
  AddBlocks(
      {MakeBlock(7, "A", 5, true, "KPI", "Nord"), MakeBlock(9, "B", 6, false, "TABLE", "Sud")});
  t->blocks.At(1).Sql = "SELECT b\r\nFROM t";
  form.Form_Load();
  for (int32_t outside : {-1, 2}) {  // a click that selects no block does nothing
    Click(outside);
    EXPECT_EQ(s.CurrentBlockIndex, -1);
    EXPECT_EQ(s.lblStatus, "Pronto");
  }
  Click(1);
  EXPECT_EQ(s.CurrentBlockIndex, 1);
  EXPECT_EQ(s.txtTitle + "|" + s.txtSubtitle + "|" + s.txtSql + "|" + s.txtOrder + "|" +
                s.cboRenderMode.Text() + "|" + s.txtDashboard + "|" + s.lblStatus,
            "B|sub B|SELECT b\r\nFROM t|6|TABLE|Sud|Blocco caricato");
  EXPECT_FALSE(s.chkActive);

  s.txtTitle = "B2";
  form.cmdSaveBlock_Click();  // replaces the loaded block
  EXPECT_EQ(Titles(t->blocks), (std::vector<std::string>{"A", "B2"}));
  EXPECT_EQ(t->blocks.At(1).Id, 9);
  EXPECT_EQ(s.CurrentBlockIndex, 1);
  EXPECT_EQ(s.lstBlocks.selected, -1);
  form.cmdDeleteBlock_Click();  // the list lost its selection: the delete asks for one
  ExpectOneWarning("Seleziona un blocco da eliminare.");
  EXPECT_EQ(t->blocks.BlockCount(), 2);
  EXPECT_EQ(StoredBlocks().At(1).Title, "B2");

  Click(1);
  form.cmdNew_Click();  // back to a new, empty block
  EXPECT_EQ(s.lstBlocks.selected, -1);
  EXPECT_EQ(s.CurrentBlockIndex, -1);
  EXPECT_EQ(s.txtTitle + s.txtSql + s.txtSubtitle + s.txtDashboard + "|" + s.txtOrder + "|" +
                s.cboRenderMode.Text() + "|" + s.lblStatus,
            "|3|AUTO|Nuovo blocco");
  EXPECT_TRUE(s.chkActive);
}

TEST_F(BlockEditorTest, DeleteRemovesTheSelectedEntryNotTheLoadedBlock) {
  AddBlocks({MakeBlock(1, "A", 1), MakeBlock(2, "B", 2), MakeBlock(3, "C", 3)});
  form.Form_Load();
  Click(2);
  s.lstBlocks.selected = 0;
  form.cmdDeleteBlock_Click();
  EXPECT_EQ(Titles(t->blocks), (std::vector<std::string>{"B", "C"}));
  EXPECT_EQ(Titles(StoredBlocks()), (std::vector<std::string>{"B", "C"}));
  EXPECT_EQ(s.CurrentBlockIndex, -1);
  EXPECT_EQ(s.txtTitle + "|" + s.txtOrder + "|" + s.lblStatus, "|3|Blocco eliminato");
  EXPECT_EQ(s.lstBlocks.entries.size(), 2u);
}

TEST_F(BlockEditorTest, BlocksWriteFailureIsShownAndMemoryKeepsTheChange) {
  AddBlocks({MakeBlock(1, "A", 1)});
  form.Form_Load();
  BlockFile("blocks.ini");
  Type("Nuovo", "SELECT 2");
  form.cmdSaveBlock_Click();
  ExpectOneWarning("blocks.ini");
  EXPECT_EQ(t->blocks.BlockCount(), 2);
  EXPECT_EQ(s.lblStatus, "Errore salvataggio blocchi");

  Boxes().clear();
  s.lstBlocks.selected = 0;
  form.cmdDeleteBlock_Click();
  ExpectOneWarning("blocks.ini");
  EXPECT_EQ(Titles(t->blocks), (std::vector<std::string>{"Nuovo"}));
}

}  // namespace
}  // namespace panorello::testing
