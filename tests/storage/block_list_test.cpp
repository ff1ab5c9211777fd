#include "storage/block_list.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace panorello {
namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

BlockList ListWithIds(const std::vector<int32_t>& ids) {
  BlockList list;
  for (int32_t id : ids) {
    Block b;
    b.Id = id;
    b.Title = "B" + std::to_string(id);
    list.SaveBlock(-1, b);
  }
  return list;
}

std::vector<int32_t> Ids(const BlockList& list) {
  std::vector<int32_t> out;
  for (const Block& b : list.Blocks()) out.push_back(b.Id);
  return out;
}

TEST(NewBlockIdTest, HighestPlusOne) {
  const std::pair<std::vector<int32_t>, int32_t> cases[] = {
      {{}, 1},
      {{3, 7, 5}, 8},
      {{-4, -1}, 1},
      {{-4, 2}, 3},
      {{kMax - 1}, kMax},
      // The next Id would overflow: the smallest unused positive Id.
      {{kMax}, 1},
      {{1, kMax, 2, 4}, 3},
      {{2, 1, kMax, 3, 3, -7}, 4},
  };
  for (const auto& [ids, expected] : cases) {
    EXPECT_EQ(ListWithIds(ids).NewBlockId(), expected) << ::testing::PrintToString(ids);
  }
}

TEST(SaveBlockTest, AppendsWithNewIdWrittenBack) {
  BlockList list = ListWithIds({1, 2});
  Block b;
  b.Title = "new";
  list.SaveBlock(-1, b);
  EXPECT_EQ(b.Id, 3);
  EXPECT_EQ(list.BlockCount(), 3);
  EXPECT_EQ(list.At(2).Title, "new");
  EXPECT_EQ(list.At(2).Id, 3);

  Block duplicate;
  duplicate.Id = 2;
  list.SaveBlock(-1, duplicate);
  EXPECT_EQ(Ids(list), (std::vector<int32_t>{1, 2, 3, 2}));

  Block at_count;
  list.SaveBlock(list.BlockCount(), at_count);
  Block beyond;
  list.SaveBlock(100, beyond);
  EXPECT_EQ(Ids(list), (std::vector<int32_t>{1, 2, 3, 2, 4, 5}));
}

TEST(SaveBlockTest, ReplacesKeepingOrTakingTheId) {
  BlockList list = ListWithIds({10, 20, 30});
  Block b;
  b.Title = "replaced";
  list.SaveBlock(1, b);
  EXPECT_EQ(b.Id, 20);
  EXPECT_EQ(list.At(1).Title, "replaced");
  EXPECT_EQ(Ids(list), (std::vector<int32_t>{10, 20, 30}));

  Block c;
  c.Id = 99;
  c.Title = "other";
  list.SaveBlock(0, c);
  EXPECT_EQ(Ids(list), (std::vector<int32_t>{99, 20, 30}));
  EXPECT_EQ(list.BlockCount(), 3);
}

TEST(SaveBlockTest, TidiesSortOrdersAndRenderModesOfStoredRecordsOnly) {
  BlockList list;
  struct Case {
    int32_t sort_order;
    std::string mode;
    int32_t stored_sort;
    std::string stored_mode;
  };
  const Case cases[] = {
      {-2, "   ", 1, "AUTO"}, {5, "table", 5, "table"}, {0, "", 3, "AUTO"},
      {0, " kpi ", 4, " kpi "}, {5, "\t", 5, "\t"},
  };
  for (const auto& c : cases) {
    Block b;
    b.SortOrder = c.sort_order;
    b.RenderMode = c.mode;
    list.SaveBlock(-1, b);
    EXPECT_EQ(b.SortOrder, c.sort_order);  // the caller's record keeps its values
    EXPECT_EQ(b.RenderMode, c.mode);
  }
  for (int32_t i = 0; i < list.BlockCount(); ++i) {
    EXPECT_EQ(list.At(i).SortOrder, cases[i].stored_sort) << i;
    EXPECT_EQ(list.At(i).RenderMode, cases[i].stored_mode) << i;
  }
}

TEST(SaveBlockTest, TidiesTheWholeList) {
  BlockList list = ListWithIds({1, 2, 3});
  list.At(2).SortOrder = 0;  // changed directly, tidied by the next save
  list.At(1).RenderMode = " ";
  Block b = list.At(0);
  list.SaveBlock(0, b);
  EXPECT_EQ(list.At(2).SortOrder, 3);
  EXPECT_EQ(list.At(1).RenderMode, "AUTO");
}

TEST(DeleteBlockTest, RemovesOnlyInsideTheList) {
  BlockList list = ListWithIds({1, 2, 3});
  list.DeleteBlock(-1);
  list.DeleteBlock(3);
  EXPECT_EQ(Ids(list), (std::vector<int32_t>{1, 2, 3}));
  list.DeleteBlock(0);
  EXPECT_EQ(Ids(list), (std::vector<int32_t>{2, 3}));
  EXPECT_EQ(list.At(0).SortOrder, 2);  // sort orders are left alone
  list.DeleteBlock(1);
  list.DeleteBlock(0);
  EXPECT_EQ(list.BlockCount(), 0);
  list.DeleteBlock(0);
  EXPECT_EQ(list.BlockCount(), 0);
}

TEST(BlockListTest, ClearAndSwap) {
  BlockList list = ListWithIds({1, 2, 3});
  list.Swap(0, 2);
  EXPECT_EQ(Ids(list), (std::vector<int32_t>{3, 2, 1}));
  EXPECT_EQ(list.At(0).Title, "B3");
  list.ClearBlocks();
  EXPECT_EQ(list.BlockCount(), 0);
  EXPECT_EQ(list.NewBlockId(), 1);
}

}  // namespace
}  // namespace panorello
