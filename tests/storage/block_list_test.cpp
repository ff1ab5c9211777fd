#include "storage/block_list.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace panorello {
namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
using Ids = std::vector<int32_t>;

BlockList ListWithIds(const Ids& ids) {
  BlockList list;
  for (Block b; int32_t id : ids) b.Id = id, list.SaveBlock(-1, b);
  return list;
}

Ids IdsOf(const BlockList& list) {
  Ids out;
  for (const Block& b : list.Blocks()) out.push_back(b.Id);
  return out;
}

// Highest Id + 1 (at least 1); at the int32 limit the smallest unused positive Id instead of an
// overflow.
TEST(NewBlockIdTest, HighestPlusOne) {
  const std::pair<Ids, int32_t> cases[] = {{{}, 1},       {{3, 7, 5}, 8},
                                           {{-4, -1}, 1}, {{kMax - 1}, kMax},
                                           {{kMax}, 1},   {{2, 1, kMax, 3, 3, -7}, 4}};
  for (const auto& [ids, expected] : cases) {
    EXPECT_EQ(ListWithIds(ids).NewBlockId(), expected) << ::testing::PrintToString(ids);
  }
}

// Index inside the list replaces (Id 0 keeps the old Id, another Id is taken); any other index
// appends (Id 0 gets a new one, a duplicate Id is kept). The Id used is written back.
TEST(SaveBlockTest, ReplaceOrAppend) {
  struct Case {
    int32_t index, id;
    Ids after;
    int32_t written_back;
  };
  const Case cases[] = {
      {-1, 0, {10, 20, 21}, 21},  {-1, 20, {10, 20, 20}, 20}, {2, 0, {10, 20, 21}, 21},
      {100, 0, {10, 20, 21}, 21}, {1, 0, {10, 20}, 20},       {0, 99, {99, 20}, 99},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "index " << c.index << ", id " << c.id);
    BlockList list = ListWithIds({10, 20});
    Block b;
    b.Id = c.id, b.Title = "saved";
    list.SaveBlock(c.index, b);
    EXPECT_EQ(IdsOf(list), c.after);
    EXPECT_EQ(b.Id, c.written_back);
    const int32_t at = c.index >= 0 && c.index < 2 ? c.index : list.BlockCount() - 1;
    EXPECT_EQ(list.At(at).Title, "saved");
  }
}

// After every save the whole list is tidied: SortOrder <= 0 becomes position + 1, a blank
// RenderMode becomes AUTO; other values stay as they are, and the caller's record is not
// changed.
TEST(SaveBlockTest, TidiesTheStoredList) {
  struct Case {
    int32_t sort_order;
    std::string mode;
    int32_t stored_sort;
    std::string stored_mode;
  };
  const Case cases[] = {
      {-2, "   ", 1, "AUTO"},   {5, "table", 5, "table"}, {0, "", 3, "AUTO"},
      {0, " kpi ", 4, " kpi "}, {5, "\t", 5, "\t"},
  };
  BlockList list;
  for (const auto& c : cases) {
    Block b;
    b.SortOrder = c.sort_order, b.RenderMode = c.mode;
    list.SaveBlock(-1, b);
    EXPECT_EQ(b.SortOrder, c.sort_order);
    EXPECT_EQ(b.RenderMode, c.mode);
  }
  for (int32_t i = 0; i < list.BlockCount(); ++i) {
    EXPECT_EQ(list.At(i).SortOrder, cases[i].stored_sort) << i;
    EXPECT_EQ(list.At(i).RenderMode, cases[i].stored_mode) << i;
  }
  list.At(4).SortOrder = 0;  // changed directly: tidied by the next save of another block
  Block first = list.At(0);
  list.SaveBlock(0, first);
  EXPECT_EQ(list.At(4).SortOrder, 5);
}

// Delete only inside the list, closing the gap; Swap exchanges whole records; Clear empties.
// AppendBlocks ends where SaveBlock(-1) block after block ends: Ids handed out (also past the
// int32 limit), sort orders and render modes tidied, on an empty or an untidy list.
TEST(AppendBlocksTest, SameAsSavingOneByOne) {
  struct Case {
    Ids before, added;
  };
  const Case cases[] = {
      {{}, {0, 0, 5, 0, -3, 0}},
      {{4, -2}, {0, 4, 0}},
      {{2, kMax}, {0, 0, 3, 0, 1, 0}},
      {{kMax - 1}, {0, 0, 0}},
  };
  for (const Case& c : cases) {
    BlockList one_by_one = ListWithIds(c.before);
    if (one_by_one.BlockCount() > 0) one_by_one.At(0).SortOrder = -5;  // untidy before
    std::vector<Block> added;
    for (size_t i = 0; i < c.added.size(); ++i) {
      Block b;
      b.Id = c.added[i];
      b.SortOrder = static_cast<int32_t>(i % 3) - 1;  // -1, 0, 1: two of three get tidied
      b.RenderMode = i % 2 == 0 ? " " : "kpi";
      added.push_back(b);
    }
    BlockList at_once = one_by_one;
    for (Block b : added) one_by_one.SaveBlock(-1, b);
    at_once.AppendBlocks(added);
    EXPECT_EQ(at_once, one_by_one) << ::testing::PrintToString(c.added);
  }
}

TEST(BlockListTest, DeleteSwapClear) {
  BlockList list = ListWithIds({1, 2, 3});
  list.DeleteBlock(-1);
  list.DeleteBlock(3);
  EXPECT_EQ(IdsOf(list), (Ids{1, 2, 3}));
  list.DeleteBlock(0);
  EXPECT_EQ(IdsOf(list), (Ids{2, 3}));
  EXPECT_EQ(list.At(0).SortOrder, 2);
  list.Swap(0, 1);
  EXPECT_EQ(IdsOf(list), (Ids{3, 2}));
  EXPECT_EQ(list.At(0).SortOrder, 3);
  list.ClearBlocks();
  EXPECT_EQ(list.BlockCount(), 0);
  list.DeleteBlock(0);
}

}  // namespace
}  // namespace panorello
