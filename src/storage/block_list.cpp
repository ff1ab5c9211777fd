#include "storage/block_list.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "util/text.h"

namespace panorello {

void BlockList::ClearBlocks() { std::vector<Block>().swap(blocks_); }

int32_t BlockList::NewBlockId() const {
  int32_t highest = 0;
  for (const Block& b : blocks_) highest = std::max(highest, b.Id);
  if (highest < std::numeric_limits<int32_t>::max()) return highest + 1;
  // The next Id would overflow: hand out the smallest positive Id nobody uses.
  std::vector<int32_t> used;
  used.reserve(blocks_.size());
  for (const Block& b : blocks_) {
    if (b.Id > 0) used.push_back(b.Id);
  }
  std::sort(used.begin(), used.end());
  used.erase(std::unique(used.begin(), used.end()), used.end());
  int32_t candidate = 1;
  for (int32_t id : used) {
    if (id != candidate) break;
    ++candidate;
  }
  return candidate;
}

void BlockList::SaveBlock(int32_t index, Block& b) {
  if (index >= 0 && index < BlockCount()) {
    Block& stored = blocks_[static_cast<size_t>(index)];
    if (b.Id == 0) b.Id = stored.Id;
    stored = b;
  } else {
    if (b.Id == 0) b.Id = NewBlockId();
    blocks_.push_back(b);
  }
  for (size_t i = 0; i < blocks_.size(); ++i) {
    Block& stored = blocks_[i];
    if (stored.SortOrder <= 0) stored.SortOrder = static_cast<int32_t>(i + 1);
    if (Trim(stored.RenderMode).empty()) stored.RenderMode = "AUTO";
  }
}

void BlockList::DeleteBlock(int32_t index) {
  if (index < 0 || index >= BlockCount()) return;
  blocks_.erase(blocks_.begin() + index);
}

void BlockList::Swap(int32_t i, int32_t j) {
  std::swap(blocks_.at(static_cast<size_t>(i)), blocks_.at(static_cast<size_t>(j)));
}

}  // namespace panorello
