// The block editor of the main window without any toolkit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "storage/blocks_file.h"
#include "ui/logic/form_fixture.h"

namespace panorello::testing {
namespace {

struct EntryCase {
  Block block;
  const char* text;
};

TEST(BlockEntryText, FollowsTheListFormat) {
  const EntryCase cases[] = {
      {MakeBlock(1, "Vendite", 3, false, "KPI", "DEMO"), "003 - Vendite [DEMO] {KPI} [OFF]"},
      {MakeBlock(1, "Fatturato", 10, true, "AUTO", ""), "010 - Fatturato {AUTO}"},
      {MakeBlock(1, "T", 7, true, "", "  "), "007 - T"},
      {MakeBlock(1, "T", 42, true, " chart ", " Nord "), "042 - T [ Nord ] { chart }"},
      {MakeBlock(1, "T", 1234, true, "TABLE", ""), "1234 - T {TABLE}"},
      {MakeBlock(1, "T", 0, false, "", ""), "000 - T [OFF]"},
      {MakeBlock(1, "T", -5, true, "KPI", ""), "-005 - T {KPI}"},
      {MakeBlock(1, "", 1, true, "KPI", "x"), "001 -  [x] {KPI}"},
  };
  for (const EntryCase& c : cases) EXPECT_EQ(BlockEntryText(c.block), c.text);
}

struct SqlEndCase {
  const char* sql;
  bool refused;
};

TEST(SqlHasEndMarkerLine, FindsEveryLineTheBlocksFileWouldEndTheQueryAt) {
  const SqlEndCase cases[] = {
      {"SELECT 1", false},
      {"SQLEND", true},
      {"SELECT 1\r\nSQLEND", true},
      {"SELECT 1\r\n  SQLEND  \r\nFROM t", true},
      {"SELECT 1\nSQLEND\n", true},
      {"SELECT 1\rSQLEND\rFROM t", true},
      {"SELECT 1\r\n\tSQLEND", false},
      {"SELECT 1\r\nsqlend", false},
      {"SELECT 'SQLEND' FROM t", false},
      {"SQLEND2", false},
      {"\r\n\r\n", false},
      {"", false},
  };
  for (const SqlEndCase& c : cases) EXPECT_EQ(SqlHasEndMarkerLine(c.sql), c.refused) << c.sql;
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
  BlockList StoredBlocks() {
    BlockList list;
    LoadBlocks(list, t.folder.Path());
    return list;
  }
};

TEST_F(BlockEditorTest, SavingANewBlockTwiceGivesTwoBlocks) {
  form.Form_Load();
  Type("  Vendite  ", "SELECT 1 ", "", "KPI", " DEMO ");
  s.txtSubtitle = " riga 1\r\nriga 2 ";
  form.cmdSaveBlock_Click();
  form.cmdSaveBlock_Click();
  ASSERT_EQ(t->blocks.BlockCount(), 2);
  const Block& a = t->blocks.At(0);
  const Block& b = t->blocks.At(1);
  EXPECT_NE(a.Id, b.Id);
  EXPECT_EQ(a.Title, "Vendite");
  EXPECT_EQ(a.Subtitle, "riga 1\r\nriga 2");
  EXPECT_EQ(a.Sql, "SELECT 1 ");
  EXPECT_EQ(a.SortOrder, 1);
  EXPECT_EQ(a.RenderMode, "KPI");
  EXPECT_EQ(a.Dashboard, "DEMO");
  EXPECT_EQ(b.Title, a.Title);
  EXPECT_EQ(s.CurrentBlockIndex, -1);
  EXPECT_EQ(s.lblStatus, "Blocco salvato");
  EXPECT_EQ(s.lstBlocks.entries,
            (std::vector<std::string>{"001 - Vendite [DEMO] {KPI}", "001 - Vendite [DEMO] {KPI}"}));
  EXPECT_EQ(s.lstBlocks.selected, -1);
  EXPECT_EQ(StoredBlocks().BlockCount(), 2);
  EXPECT_TRUE(Boxes().empty());
}

struct RefusalCase {
  const char* title;
  const char* sql;
  const char* order;
  const char* expected_start;
};

TEST_F(BlockEditorTest, RefusedBlocksChangeNothing) {
  AddBlocks({MakeBlock(1, "A", 1)});
  const RefusalCase cases[] = {
      {"   ", "SELECT 1", "1", "Inserire il titolo."},
      {"", "SELECT 1", "1", "Inserire il titolo."},
      {"T", "   ", "1", "Inserire la SQL."},
      {"T", "", "1", "Inserire la SQL."},
      {"T", "SELECT 1", "3000000000", "Il valore di Ordine"},
      {"T", "SELECT 1", "-1e10", "Il valore di Ordine"},
      {"T", "SELECT 1\r\nSQLEND\r\nFROM t", "1", "La SQL contiene una riga \"SQLEND\""},
      {"T", " SQLEND ", "1", "La SQL contiene una riga \"SQLEND\""},
  };
  form.Form_Load();
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(std::string(c.title) + "|" + c.sql + "|" + c.order);
    Boxes().clear();
    const BlockList before = t->blocks;
    s.lblStatus = "prima";
    Type(c.title, c.sql, c.order);
    form.cmdSaveBlock_Click();
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].icon, MessageIcon::Warning);
    EXPECT_EQ(Boxes()[0].title, kAppTitle);
    EXPECT_EQ(Boxes()[0].text.rfind(c.expected_start, 0), 0u) << Boxes()[0].text;
    EXPECT_EQ(t->blocks, before);
    EXPECT_EQ(s.lblStatus, "prima");
    EXPECT_FALSE(FileExists(File("blocks.ini")));
  }
}

TEST_F(BlockEditorTest, SqlOfLineBreaksOnlyIsAccepted) {
  form.Form_Load();
  Type("T", "\r\n\r\n");
  form.cmdSaveBlock_Click();
  ASSERT_EQ(t->blocks.BlockCount(), 1);
  EXPECT_EQ(t->blocks.At(0).Sql, "\r\n\r\n");
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(BlockEditorTest, NonPositiveOrFoulOrderGetsTheNewPosition) {
  for (const char* order : {"0", "-3", "abc"}) {
    SCOPED_TRACE(order);
    t->blocks.ClearBlocks();
    AddBlocks({MakeBlock(1, "A", 5), MakeBlock(2, "B", 6), MakeBlock(3, "C", 7)});
    form.Form_Load();
    Type("D", "SELECT 4", order);
    form.cmdSaveBlock_Click();
    ASSERT_EQ(t->blocks.BlockCount(), 4);
    EXPECT_EQ(t->blocks.At(3).SortOrder, 4);
    EXPECT_EQ(t->blocks.At(3).Id, 4);
  }
}

TEST_F(BlockEditorTest, ListFollowsBlockListOrderNotSortOrder) {
  AddBlocks({MakeBlock(1, "A", 5), MakeBlock(2, "B", 6)});
  form.Form_Load();
  Type("Ultimo", "SELECT 1", "1");
  form.cmdSaveBlock_Click();
  EXPECT_EQ(s.lstBlocks.entries.back(), "001 - Ultimo {AUTO}");
}

TEST_F(BlockEditorTest, ClickingLoadsTheBlockAndSaveReplacesIt) {
  AddBlocks({MakeBlock(7, "A", 5, true, "KPI", "Nord"), MakeBlock(9, "B", 6, false, "TABLE", "")});
  t->blocks.At(1).Sql = "SELECT b\r\nFROM t";
  form.Form_Load();
  Click(1);
  EXPECT_EQ(s.CurrentBlockIndex, 1);
  EXPECT_EQ(s.txtTitle, "B");
  EXPECT_EQ(s.txtSubtitle, "sub B");
  EXPECT_EQ(s.txtSql, "SELECT b\r\nFROM t");
  EXPECT_EQ(s.txtOrder, "6");
  EXPECT_FALSE(s.chkActive);
  EXPECT_EQ(s.cboRenderMode.Text(), "TABLE");
  EXPECT_EQ(s.txtDashboard, "");
  EXPECT_EQ(s.lblStatus, "Blocco caricato");

  s.txtTitle = "B2";
  form.cmdSaveBlock_Click();
  ASSERT_EQ(t->blocks.BlockCount(), 2);
  EXPECT_EQ(t->blocks.At(1).Title, "B2");
  EXPECT_EQ(t->blocks.At(1).Id, 9);
  EXPECT_EQ(t->blocks.At(0).Title, "A");
  EXPECT_EQ(s.CurrentBlockIndex, 1);
  EXPECT_EQ(s.lstBlocks.selected, -1);
  // A second save updates the same block; a delete now asks for a selection.
  s.txtTitle = "B3";
  form.cmdSaveBlock_Click();
  EXPECT_EQ(t->blocks.BlockCount(), 2);
  EXPECT_EQ(t->blocks.At(1).Title, "B3");
  form.cmdDeleteBlock_Click();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "Seleziona un blocco da eliminare.");
  EXPECT_EQ(Boxes()[0].icon, MessageIcon::Warning);
  EXPECT_EQ(t->blocks.BlockCount(), 2);
  EXPECT_EQ(StoredBlocks().At(1).Title, "B3");
}

TEST_F(BlockEditorTest, ClickOutsideTheListDoesNothing) {
  AddBlocks({MakeBlock(1, "A", 1)});
  form.Form_Load();
  for (int32_t pos : {-1, 1, 5}) {
    s.lblStatus = "x";
    Click(pos);
    EXPECT_EQ(s.CurrentBlockIndex, -1);
    EXPECT_EQ(s.lblStatus, "x");
    EXPECT_EQ(s.txtTitle, "");
  }
}

TEST_F(BlockEditorTest, UnknownRenderModeIsShownAndKept) {
  AddBlocks({MakeBlock(1, "Grafico", 1, true, "CHART"), MakeBlock(2, "K", 2, true, "KPI")});
  form.Form_Load();
  Click(0);
  EXPECT_EQ(s.cboRenderMode.Text(), "CHART");
  EXPECT_EQ(s.cboRenderMode.entries.size(), kRenderModeEntryCount + 1);
  form.cmdSaveBlock_Click();
  EXPECT_EQ(t->blocks.At(0).RenderMode, "CHART");
  EXPECT_EQ(StoredBlocks().At(0).RenderMode, "CHART");
  Click(1);
  EXPECT_EQ(s.cboRenderMode.Text(), "KPI");
  EXPECT_EQ(s.cboRenderMode.entries.size(), kRenderModeEntryCount);
  // No entry selected: stored as AUTO.
  s.cboRenderMode.selected = -1;
  form.cmdSaveBlock_Click();
  EXPECT_EQ(t->blocks.At(1).RenderMode, "AUTO");
}

TEST_F(BlockEditorTest, NewClearsFieldsAndSelection) {
  AddBlocks({MakeBlock(1, "A", 1, false, "KPI", "D")});
  form.Form_Load();
  Click(0);
  form.cmdNew_Click();
  EXPECT_EQ(s.lstBlocks.selected, -1);
  EXPECT_EQ(s.CurrentBlockIndex, -1);
  EXPECT_EQ(s.txtTitle, "");
  EXPECT_EQ(s.txtSql, "");
  EXPECT_EQ(s.txtSubtitle, "");
  EXPECT_EQ(s.txtDashboard, "");
  EXPECT_EQ(s.txtOrder, "2");
  EXPECT_TRUE(s.chkActive);
  EXPECT_EQ(s.cboRenderMode.Text(), "AUTO");
  EXPECT_EQ(s.lblStatus, "Nuovo blocco");
}

struct DeleteCase {
  int32_t selected;
  std::vector<std::string> left;
};

TEST_F(BlockEditorTest, DeleteRemovesTheSelectedEntry) {
  const DeleteCase cases[] = {{0, {"B", "C"}}, {1, {"A", "C"}}, {2, {"A", "B"}}};
  for (const DeleteCase& c : cases) {
    SCOPED_TRACE(c.selected);
    t->blocks.ClearBlocks();
    AddBlocks({MakeBlock(1, "A", 1), MakeBlock(2, "B", 2), MakeBlock(3, "C", 3)});
    form.Form_Load();
    Click(2 - c.selected);  // loaded block and selection may differ
    s.lstBlocks.selected = c.selected;
    form.cmdDeleteBlock_Click();
    std::vector<std::string> titles;
    for (const Block& b : t->blocks.Blocks()) titles.push_back(b.Title);
    EXPECT_EQ(titles, c.left);
    EXPECT_EQ(s.CurrentBlockIndex, -1);
    EXPECT_EQ(s.txtOrder, "3");
    EXPECT_EQ(s.txtTitle, "");
    EXPECT_EQ(s.lstBlocks.entries.size(), 2u);
    EXPECT_EQ(s.lblStatus, "Blocco eliminato");
    EXPECT_EQ(StoredBlocks().BlockCount(), 2);
  }
}

TEST_F(BlockEditorTest, DeletingTheLastBlockLeavesAnEmptyListAndAnEmptyFile) {
  AddBlocks({MakeBlock(1, "A", 1)});
  form.Form_Load();
  Click(0);
  form.cmdDeleteBlock_Click();
  EXPECT_TRUE(s.lstBlocks.entries.empty());
  EXPECT_EQ(s.txtOrder, "1");
  EXPECT_TRUE(FileExists(File("blocks.ini")));
  EXPECT_EQ(ReadBytes(File("blocks.ini")), "");
}

TEST_F(BlockEditorTest, BlocksWriteFailureIsShownAndMemoryKeepsTheChange) {
  AddBlocks({MakeBlock(1, "A", 1)});
  form.Form_Load();
  BlockFile("blocks.ini");
  Type("Nuovo", "SELECT 2");
  form.cmdSaveBlock_Click();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].icon, MessageIcon::Warning);
  EXPECT_NE(Boxes()[0].text.find("blocks.ini"), std::string::npos);
  EXPECT_EQ(t->blocks.BlockCount(), 2);
  EXPECT_EQ(s.lstBlocks.entries.size(), 2u);
  EXPECT_NE(s.lblStatus, "Blocco salvato");

  Boxes().clear();
  s.lstBlocks.selected = 0;
  form.cmdDeleteBlock_Click();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_NE(Boxes()[0].text.find("blocks.ini"), std::string::npos);
  EXPECT_EQ(t->blocks.BlockCount(), 1);
  EXPECT_EQ(s.lstBlocks.entries.size(), 1u);
  EXPECT_EQ(s.CurrentBlockIndex, -1);
}

}  // namespace
}  // namespace panorello::testing
