#include "storage/blocks_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "util/error.h"

namespace panorello {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

// One block as "Id|SortOrder|Active|RenderMode|Title|Subtitle|Dashboard|Sql".
std::string Row(const Block& b) {
  return std::to_string(b.Id) + "|" + std::to_string(b.SortOrder) + "|" + (b.Active ? "1" : "0") +
         "|" + b.RenderMode + "|" + b.Title + "|" + b.Subtitle + "|" + b.Dashboard + "|" + b.Sql;
}
std::vector<std::string> Rows(const BlockList& list) {
  std::vector<std::string> rows;
  for (const Block& b : list.Blocks()) rows.push_back(Row(b));
  return rows;
}

BlockList ListOf(std::vector<Block> blocks) {
  BlockList list;
  for (Block& b : blocks) list.SaveBlock(-1, b);
  return list;
}

// Odd Ids active, even ones not.
Block Make(int32_t id, std::string title, std::string sql, int32_t sort_order = 1) {
  return {.Id = id,
          .Title = std::move(title),
          .Subtitle = "sub",
          .Sql = std::move(sql),
          .SortOrder = sort_order,
          .Active = id % 2 == 1,
          .RenderMode = " chart ",
          .Dashboard = "Vendite"};
}

// The written form, byte for byte: twelve CR LF lines per block, mode trimmed and upper-cased,
// line breaks in one-line values as spaces (they cannot break the file), an empty query as an
// empty line; an empty list is zero bytes.
TEST(BlocksFileTextTest, TwelveLinesPerBlock) {
  Block first = Make(1, "Fatturato\r\n[/BLOCK]", "SELECT 1\r\nFROM t");
  first.Subtitle = "a\nSQLBEGIN";
  first.RenderMode = " chart\r\nID=7";
  first.Dashboard = "Nord\rSud";
  EXPECT_EQ(BlocksFileText(ListOf({first, Make(-4, "Città", "", 7)})),
            "[BLOCK]\r\nID=1\r\nTITLE=Fatturato [/BLOCK]\r\nSUBTITLE=a SQLBEGIN\r\nSORTORDER=1\r\n"
            "ACTIVE=1\r\nRENDERMODE=CHART ID=7\r\nDASHBOARD=Nord Sud\r\nSQLBEGIN\r\nSELECT 1\r\n"
            "FROM t\r\nSQLEND\r\n[/BLOCK]\r\n"
            "[BLOCK]\r\nID=-4\r\nTITLE=Città\r\nSUBTITLE=sub\r\nSORTORDER=7\r\nACTIVE=0\r\n"
            "RENDERMODE=CHART\r\nDASHBOARD=Vendite\r\nSQLBEGIN\r\n\r\nSQLEND\r\n[/BLOCK]\r\n");
  EXPECT_EQ(BlocksFileText(BlockList{}), "");
}

// SaveBlocks then LoadBlocks gives the same list for queries with trailing breaks, empty lines
// and non-ASCII text.
TEST(BlocksFileRoundTripTest, SavedListReadsBackTheSame) {
  TempFolder app;
  BlockList list;
  int32_t id = 1;
  for (const std::string sql :
       {"SELECT a,\r\n  b\r\nFROM t\r\n", "", "SELECT 'è €'\r\n\r\n\r\nWHERE x"}) {
    Block b = Make(id, " Titolo ", sql, 10 - id);
    b.Subtitle = "  ";
    b.RenderMode = "TABLE";
    list.SaveBlock(-1, b);
    ++id;
  }
  SaveBlocks(list, app.Path());
  BlockList back;
  LoadBlocks(back, app.Path());
  EXPECT_EQ(Rows(back), Rows(list));
}

// The reader's rules in the order they apply.
TEST(ParseBlocksTest, Rules) {
  // skipped: the first line the reader passed over (0: none).
  struct Case {
    std::string name, text;
    std::vector<std::string> rows;
    int64_t skipped = 0;
  };
  const Case cases[] = {
      {"lower-case block start is no start",
       "[block]\nID=1\n[/BLOCK]\n[BLOCK]\nID=2\n[/BLOCK]\n",
       {"2|1|1|AUTO||||"},
       1},
      {"key lines start at column 0", "[BLOCK]\n  TITLE=x\n[/BLOCK]", {"1|1|1|AUTO||||"}, 2},
      {"keys in any case; title as typed, dashboard trimmed, mode tidied",
       "[BLOCK]\ntitle= Vendite \nSubTitle=Sub\ndashboard= Nord \nrendermode= kpi \n[/BLOCK]",
       {"1|1|1|KPI| Vendite |Sub|Nord|"}},
      {"numbers by the number rule",
       "[BLOCK]\nID=5.5\nSORTORDER=9 x\nACTIVE=0\n[/BLOCK]",
       {"6|9|0|AUTO||||"}},
      {"sqlbegin in any case, sqlend only in capitals",
       "[BLOCK]\nsqlbegin\nSELECT 1\nsqlend\n[/BLOCK]\n",
       {},
       1},
      {"query text hides markers and keys",
       "[BLOCK]\nSQLBEGIN\n[/BLOCK]\n[BLOCK]\nID=3\n  SQLEND  \nID=4\n[/BLOCK]",
       {"4|1|1|AUTO||||[/BLOCK]\r\n[BLOCK]\r\nID=3"}},
      {"query lines untrimmed, leading empty lines lost",
       "[BLOCK]\n SQLBEGIN \n\n\n  SELECT 1  \n\nFROM t\nSQLEND\n[/BLOCK]",
       {"1|1|1|AUTO||||  SELECT 1  \r\n\r\nFROM t"}},
      {"unclosed query drops the block", "[BLOCK]\nSQLBEGIN\nSELECT 1\n[/BLOCK]", {}, 1},
      {"keys outside blocks ignored; an empty block gets the defaults",
       "\n  \nID=4\nTITLE=x\n[/BLOCK]\n[BLOCK]\n[/BLOCK]\nTITLE=y\nSQLBEGIN\nx\n",
       {"1|1|1|AUTO||||"},
       3},
  };
  for (const auto& c : cases) {
    BlockList list;
    EXPECT_EQ(ParseBlocks(list, c.text).first_line, c.skipped) << c.name;
    EXPECT_EQ(Rows(list), c.rows) << c.name;
  }
}

// LoadBlocks empties the list first (also for a missing or empty file) and reads old
// Windows-1252 files; LoadBlocksFrom appends, continuing the Ids and positions of the list.
TEST(LoadBlocksTest, EmptiesOrAppends) {
  TempFolder app;
  BlockList list = ListOf({Make(40, "x", "y")});
  LoadBlocks(list, app.Path());
  EXPECT_EQ(list.BlockCount(), 0);
  EXPECT_FALSE(std::filesystem::exists(app.File("blocks.ini")));
  WriteBytes(app.File("blocks.ini"),
             "[BLOCK]\r\nTITLE=Citt\xE0\r\nSQLBEGIN\r\nSELECT '\x80'\r\nSQLEND\r\n[/BLOCK]\r\n");
  LoadBlocks(list, app.Path());
  EXPECT_EQ(Rows(list), std::vector<std::string>{"1|1|1|AUTO|Città|||SELECT '€'"});

  list = ListOf({Make(40, "x", "y")});
  LoadBlocksFrom(list, app.File("missing.ini"));
  WriteBytes(app.File("demo.ini"), "[BLOCK]\nTITLE=demo\nSORTORDER=0\n[/BLOCK]\n");
  LoadBlocksFrom(list, app.File("demo.ini"));
  ASSERT_EQ(list.BlockCount(), 2);
  EXPECT_EQ(Row(list.At(1)), "41|2|1|AUTO|demo|||");
}

// A save over a file whose text the list does not hold keeps that file whole as blocks.ini.bak
// first, once; a file written by the program is replaced without a copy.
TEST(SaveBlocksTest, HandWrittenTextIsKeptAsBak) {
  TempFolder app;
  const std::string hand = "; note\r\n[BLOCK]\r\nTITLE=a\r\n[/BLOCK]\r\n[block]\r\nTITLE=\xE8\r\n";
  WriteBytes(app.File("blocks.ini"), hand);
  BlockList list;
  const SkippedText skipped = LoadBlocks(list, app.Path());
  EXPECT_EQ(skipped.first_line, 1);
  EXPECT_EQ(skipped.first_text, "; note");
  EXPECT_NE(SkippedTextWarning("blocks.ini", skipped).find("riga 1: \"; note\""),
            std::string::npos);
  SaveBlocks(list, app.Path());
  EXPECT_EQ(ReadBytes(app.File("blocks.ini.bak")), hand);
  SaveBlocks(ListOf({Make(1, "x", "y")}), app.Path());
  EXPECT_EQ(ReadBytes(app.File("blocks.ini.bak")), hand);  // the saved file had nothing to lose
}

}  // namespace
}  // namespace panorello
