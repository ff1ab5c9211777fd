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

BlockList Parse(const std::string& text) {
  BlockList list;
  ParseBlocks(list, text);
  return list;
}

Block Make(int32_t id, std::string title, std::string sql, int32_t sort_order = 1) {
  Block b;
  b.Id = id;
  b.Title = std::move(title);
  b.Subtitle = "sub " + std::to_string(id);
  b.Sql = std::move(sql);
  b.SortOrder = sort_order;
  b.Active = id % 2 == 1;
  b.RenderMode = "KPI";
  b.Dashboard = "Vendite";
  return b;
}

TEST(BlocksFileTextTest, TwelveLinesPerBlock) {
  BlockList list;
  Block a = Make(1, "Fatturato", "SELECT 1\r\nFROM t");
  a.RenderMode = " chart ";
  a.Dashboard = "";
  Block b = Make(-4, "Città", "", 7);
  list.SaveBlock(-1, a);
  list.SaveBlock(-1, b);
  EXPECT_EQ(BlocksFileText(list),
            "[BLOCK]\r\nID=1\r\nTITLE=Fatturato\r\nSUBTITLE=sub 1\r\nSORTORDER=1\r\nACTIVE=1\r\n"
            "RENDERMODE=CHART\r\nDASHBOARD=\r\nSQLBEGIN\r\nSELECT 1\r\nFROM t\r\nSQLEND\r\n"
            "[/BLOCK]\r\n"
            "[BLOCK]\r\nID=-4\r\nTITLE=Città\r\nSUBTITLE=sub -4\r\nSORTORDER=7\r\nACTIVE=0\r\n"
            "RENDERMODE=KPI\r\nDASHBOARD=Vendite\r\nSQLBEGIN\r\n\r\nSQLEND\r\n[/BLOCK]\r\n");
  EXPECT_EQ(BlocksFileText(BlockList{}), "");
}

TEST(BlocksFileTextTest, LineBreaksInOneLineValuesBecomeSpaces) {
  BlockList list;
  Block a = Make(1, "Riga uno\r\n[/BLOCK]", "SELECT 1");
  a.Subtitle = "a\nSQLBEGIN";
  a.Dashboard = "Nord\rSud";
  list.SaveBlock(-1, a);
  BlockList back = Parse(BlocksFileText(list));
  ASSERT_EQ(back.BlockCount(), 1);
  EXPECT_EQ(back.At(0).Title, "Riga uno [/BLOCK]");
  EXPECT_EQ(back.At(0).Subtitle, "a SQLBEGIN");
  EXPECT_EQ(back.At(0).Dashboard, "Nord Sud");
  EXPECT_EQ(back.At(0).Sql, "SELECT 1");
}

TEST(BlocksFileRoundTripTest, SavedListReadsBackTheSame) {
  TempFolder app;
  BlockList list;
  const std::string queries[] = {
      "SELECT 1",
      "SELECT a,\r\n  b\r\nFROM t\r\n",  // trailing line break kept
      "",                                  // empty query
      "SELECT '[BLOCK]'\r\n[/BLOCK]\r\nID=9\r\nsqlend\r\n  TITLE=x",
      "SELECT 'è €'\r\n\r\n\r\nWHERE x",
  };
  int32_t id = 1;
  for (const auto& sql : queries) {
    Block b = Make(id, " Titolo " + std::to_string(id) + " ", sql, 10 - id);
    b.Subtitle = "  ";
    list.SaveBlock(-1, b);
    ++id;
  }
  SaveBlocks(list, app.Path());
  EXPECT_EQ(ReadBytes(app.File("blocks.ini")), BlocksFileText(list));
  BlockList back;
  Block cleared = Make(77, "to be cleared", "x");
  back.SaveBlock(-1, cleared);
  LoadBlocks(back, app.Path());
  EXPECT_EQ(back, list);
}

TEST(BlocksFileRoundTripTest, DesignedDifferences) {
  BlockList list;
  Block b = Make(3, "t", "\r\n\r\nSELECT 1\r\n  SQLEND  \r\nlost");
  b.Dashboard = " Nord ";
  b.RenderMode = " table ";
  list.SaveBlock(-1, b);
  Block lone_cr = Make(4, "t", "a\rb\nc");
  list.SaveBlock(-1, lone_cr);
  BlockList back = Parse(BlocksFileText(list));
  ASSERT_EQ(back.BlockCount(), 2);
  EXPECT_EQ(back.At(0).Sql, "SELECT 1");  // leading empty lines lost, cut at the SQLEND line
  EXPECT_EQ(back.At(0).Dashboard, "Nord");
  EXPECT_EQ(back.At(0).RenderMode, "TABLE");
  EXPECT_EQ(back.At(1).Sql, "a\r\nb\r\nc");
}

struct ParseCase {
  std::string name;
  std::string text;
  std::vector<Block> expected;
};

Block Fresh(int32_t id, int32_t sort_order) {
  Block b;
  b.Id = id;
  b.SortOrder = sort_order;
  return b;
}

template <typename F>
Block With(Block b, F change) {
  change(b);
  return b;
}

TEST(ParseBlocksTest, RuleOrderQuirks) {
  const ParseCase cases[] = {
      {"empty text", "", {}},
      {"minimal", "[BLOCK]\n[/BLOCK]", {Fresh(1, 1)}},
      {"lower-case block start",
       "[block]\nID=1\n[/BLOCK]\n[BLOCK]\nID=2\n[/BLOCK]\n", {Fresh(2, 1)}},
      {"markers with spaces", "  [BLOCK]  \r\nTITLE=x\r\n [/BLOCK] \r\n",
       {With(Fresh(1, 1), [](Block& b) { b.Title = "x"; })}},
      {"key lines start at column 0", "[BLOCK]\n  TITLE=x\n[/BLOCK]", {Fresh(1, 1)}},
      {"keys in any case, values as typed",
       "[BLOCK]\ntitle= Vendite \nSubTitle=Sub\ndashboard= Nord \nrendermode= kpi \n[/BLOCK]",
       {With(Fresh(1, 1), [](Block& b) {
         b.Title = " Vendite ";
         b.Subtitle = "Sub";
         b.Dashboard = "Nord";
         b.RenderMode = "KPI";
       })}},
      {"empty render mode tidied", "[BLOCK]\nRENDERMODE=\n[/BLOCK]", {Fresh(1, 1)}},
      {"active flags",
       "[BLOCK]\nACTIVE=0\n[/BLOCK]\n[BLOCK]\nACTIVE=yes\n[/BLOCK]\n[BLOCK]\nACTIVE=-1\n[/BLOCK]",
       {With(Fresh(1, 1), [](Block& b) { b.Active = false; }),
        With(Fresh(2, 2), [](Block& b) { b.Active = false; }), Fresh(3, 3)}},
      {"ids: unreadable gets the next, duplicates kept",
       "[BLOCK]\nID=5\n[/BLOCK]\n[BLOCK]\nID=5\n[/BLOCK]\n[BLOCK]\nID=abc\n[/BLOCK]\n"
       "[BLOCK]\n[/BLOCK]",
       {Fresh(5, 1), Fresh(5, 2), Fresh(6, 3), Fresh(7, 4)}},
      {"sort orders", "[BLOCK]\nSORTORDER=9\n[/BLOCK]\n[BLOCK]\nSORTORDER=-3\n[/BLOCK]\n"
                      "[BLOCK]\nSORTORDER=0\n[/BLOCK]\n[BLOCK]\nSORTORDER=2.5\n[/BLOCK]",
       {Fresh(1, 9), Fresh(2, 2), Fresh(3, 3), Fresh(4, 2)}},
      {"numbers beyond 32 bits clamp",
       "[BLOCK]\nID=99999999999\nSORTORDER=1E999\n[/BLOCK]\n"
       "[BLOCK]\nID=-99999999999\nSORTORDER=-5E20\n[/BLOCK]",
       {Fresh(2147483647, 2147483647), Fresh(-2147483647 - 1, 2)}},
      {"next id after the largest wraps to the smallest unused",
       "[BLOCK]\nID=2147483647\n[/BLOCK]\n[BLOCK]\n[/BLOCK]", {Fresh(2147483647, 1), Fresh(1, 2)}},
      {"sqlbegin in any case, sqlend only in capitals",
       "[BLOCK]\nsqlbegin\nSELECT 1\nsqlend\n[/BLOCK]\n", {}},
      {"query text hides markers and keys",
       "[BLOCK]\nSQLBEGIN\n[/BLOCK]\n[BLOCK]\nID=3\n  SQLEND  \nID=4\n[/BLOCK]",
       {With(Fresh(4, 1), [](Block& b) { b.Sql = "[/BLOCK]\r\n[BLOCK]\r\nID=3"; })}},
      {"query lines kept untrimmed, empty leading lines lost",
       "[BLOCK]\n SQLBEGIN \n\n\n  SELECT 1  \n\nFROM t\nSQLEND\n[/BLOCK]",
       {With(Fresh(1, 1), [](Block& b) { b.Sql = "  SELECT 1  \r\n\r\nFROM t"; })}},
      {"unclosed query drops the block", "[BLOCK]\nSQLBEGIN\nSELECT 1\n[/BLOCK]", {}},
      {"two starts: only the second",
       "[BLOCK]\nTITLE=first\n[BLOCK]\nID=8\n[/BLOCK]", {Fresh(8, 1)}},
      {"keys outside blocks ignored",
       "ID=4\nTITLE=x\n[/BLOCK]\n[BLOCK]\n[/BLOCK]\nTITLE=y\nSQLBEGIN\nx\n", {Fresh(1, 1)}},
      {"no closing marker", "[BLOCK]\nID=1\n", {}},
      {"lone CR line ends", "[BLOCK]\rID=6\rSQLBEGIN\ra\rb\rSQLEND\r[/BLOCK]\r",
       {With(Fresh(6, 1), [](Block& b) { b.Sql = "a\r\nb"; })}},
      {"second SQL section replaces the first",
       "[BLOCK]\nSQLBEGIN\none\nSQLEND\nSQLBEGIN\ntwo\nSQLEND\n[/BLOCK]",
       {With(Fresh(1, 1), [](Block& b) { b.Sql = "two"; })}},
      {"key lines with Latin-1 letters before the key are not keys",
       "[BLOCK]\nèTITLE=x\nTITLE=città\n[/BLOCK]",
       {With(Fresh(1, 1), [](Block& b) { b.Title = "città"; })}},
  };
  for (const auto& c : cases) {
    BlockList expected;
    for (Block b : c.expected) expected.SaveBlock(-1, b);
    // The expected blocks are built exactly as they should be stored.
    ASSERT_EQ(expected.Blocks(), c.expected) << c.name;
    EXPECT_EQ(Parse(c.text).Blocks(), c.expected) << c.name;
  }
}

TEST(ParseBlocksTest, AppendsToWhatIsThere) {
  BlockList list;
  Block existing = Make(40, "x", "y");
  list.SaveBlock(-1, existing);
  ParseBlocks(list, "[BLOCK]\nSORTORDER=0\n[/BLOCK]");
  ASSERT_EQ(list.BlockCount(), 2);
  EXPECT_EQ(list.At(1).Id, 41);
  EXPECT_EQ(list.At(1).SortOrder, 2);
}

TEST(LoadBlocksTest, MissingEmptyAndOldFiles) {
  TempFolder app;
  BlockList list;
  Block keep = Make(1, "x", "y");
  list.SaveBlock(-1, keep);
  LoadBlocks(list, app.Path());
  EXPECT_EQ(list.BlockCount(), 0);  // emptied even when the file is missing
  EXPECT_FALSE(std::filesystem::exists(app.File("blocks.ini")));

  WriteBytes(app.File("blocks.ini"), "");
  LoadBlocks(list, app.Path());
  EXPECT_EQ(list.BlockCount(), 0);

  // Written by an older installation in Windows-1252.
  WriteBytes(app.File("blocks.ini"),
             "[BLOCK]\r\nTITLE=Citt\xE0\r\nSQLBEGIN\r\nSELECT '\x80'\r\nSQLEND\r\n[/BLOCK]\r\n");
  LoadBlocks(list, app.Path());
  ASSERT_EQ(list.BlockCount(), 1);
  EXPECT_EQ(list.At(0).Title, "Città");
  EXPECT_EQ(list.At(0).Sql, "SELECT '€'");
}

TEST(LoadBlocksFromTest, AppendsWithoutEmptying) {
  TempFolder app;
  BlockList list;
  Block keep = Make(3, "x", "y");
  list.SaveBlock(-1, keep);
  LoadBlocksFrom(list, app.File("missing.ini"));
  EXPECT_EQ(list.BlockCount(), 1);
  WriteBytes(app.File("demo.ini"), "[BLOCK]\nTITLE=demo\n[/BLOCK]\n");
  LoadBlocksFrom(list, app.File("demo.ini"));
  ASSERT_EQ(list.BlockCount(), 2);
  EXPECT_EQ(list.At(1).Title, "demo");
  EXPECT_EQ(list.At(1).Id, 4);
}

TEST(SaveBlocksTest, EmptyListGivesZeroBytesAndFailureRaises) {
  TempFolder app;
  WriteBytes(app.File("blocks.ini"), "old");
  SaveBlocks(BlockList{}, app.Path());
  EXPECT_EQ(ReadBytes(app.File("blocks.ini")), "");
  EXPECT_TRUE(std::filesystem::exists(app.File("blocks.ini")));

  std::filesystem::remove(app.File("blocks.ini"));
  std::filesystem::create_directory(app.File("blocks.ini"));
  BlockList list;
  Block b = Make(1, "x", "y");
  list.SaveBlock(-1, b);
  EXPECT_THROW(SaveBlocks(list, app.Path()), Error);
}

}  // namespace
}  // namespace panorello
