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
  for (int32_t id : ids) {
    Block b{.Id = id};
    list.SaveBlock(-1, b);
  }
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
  const std::pair<Ids, int32_t> cases[] = {
      {{}, 1}, {{3, 7, 5}, 8}, {{-4, -1}, 1}, {{kMax - 1}, kMax}, {{2, 1, kMax, 3, 3, -7}, 4}};
  for (const auto& [ids, expected] : cases) {
    EXPECT_EQ(ListWithIds(ids).NewBlockId(), expected) << ::testing::PrintToString(ids);
  }
}

// Index inside the list replaces (Id 0 keeps the old Id, another Id is taken); any other index
// appends (Id 0 gets a new one, a duplicate Id is kept). The Id used is written back.
TEST(SaveBlockTest, ReplaceOrAppend) {
  struct Case {
    int32_t index;
    int32_t id;
    Ids after;
    int32_t written_back;
  };
  const Case cases[] = {
      {.index = -1, .id = 0, .after = {10, 20, 21}, .written_back = 21},
      {.index = -1, .id = 20, .after = {10, 20, 20}, .written_back = 20},
      {.index = 100, .id = 0, .after = {10, 20, 21}, .written_back = 21},
      {.index = 1, .id = 0, .after = {10, 20}, .written_back = 20},
      {.index = 0, .id = 99, .after = {99, 20}, .written_back = 99},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "index " << c.index << ", id " << c.id);
    BlockList list = ListWithIds({10, 20});
    Block b{.Id = c.id, .Title = "saved"};
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
      {.sort_order = -2, .mode = "   ", .stored_sort = 1, .stored_mode = "AUTO"},
      {.sort_order = 0, .mode = "", .stored_sort = 2, .stored_mode = "AUTO"},
      {.sort_order = 0, .mode = " kpi ", .stored_sort = 3, .stored_mode = " kpi "},
      {.sort_order = 5, .mode = "\t", .stored_sort = 5, .stored_mode = "\t"},
  };
  BlockList list;
  for (const auto& c : cases) {
    Block b{.SortOrder = c.sort_order, .RenderMode = c.mode};
    list.SaveBlock(-1, b);
    EXPECT_EQ(b.SortOrder, c.sort_order);
    EXPECT_EQ(b.RenderMode, c.mode);
  }
  for (int32_t i = 0; i < list.BlockCount(); ++i) {
    EXPECT_EQ(list.At(i).SortOrder, cases[i].stored_sort) << i;
    EXPECT_EQ(list.At(i).RenderMode, cases[i].stored_mode) << i;
  }
  list.At(3).SortOrder = 0;  // changed directly: tidied by the next save of another block
  Block first = list.At(0);
  list.SaveBlock(0, first);
  EXPECT_EQ(list.At(3).SortOrder, 4);
}

// Delete only inside the list, closing the gap; Swap exchanges whole records; Clear empties.
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
