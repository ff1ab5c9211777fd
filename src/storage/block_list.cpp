#include "storage/block_list.h"

#include <algorithm>
#include <limits>
#include <unordered_set>
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

namespace {

// Hands out the Ids NewBlockId would give while blocks are appended one by one: the highest Id so
// far + 1, or, once the highest is the largest 32-bit value, the smallest positive Id nobody
// uses (which only grows as Ids are added).
class IdAllocator {
 public:
  explicit IdAllocator(const std::vector<Block>& existing) : existing_(existing) {
    for (const Block& b : existing) highest_ = std::max(highest_, b.Id);
  }
  int32_t Next() {
    if (highest_ < std::numeric_limits<int32_t>::max()) return highest_ + 1;
    if (!saturated_) {
      saturated_ = true;
      for (const Block& b : existing_) used_.insert(b.Id);
    }
    while (used_.count(candidate_) != 0) ++candidate_;
    return candidate_;
  }
  void Taken(int32_t id) {
    highest_ = std::max(highest_, id);
    if (saturated_) used_.insert(id);
  }

 private:
  const std::vector<Block>& existing_;
  int32_t highest_ = 0;
  bool saturated_ = false;
  std::unordered_set<int32_t> used_;
  int32_t candidate_ = 1;
};

void Tidy(std::vector<Block>& blocks) {
  for (size_t i = 0; i < blocks.size(); ++i) {
    Block& stored = blocks[i];
    if (stored.SortOrder <= 0) stored.SortOrder = static_cast<int32_t>(i + 1);
    if (Trim(stored.RenderMode).empty()) stored.RenderMode = "AUTO";
  }
}

}  // namespace

void BlockList::AppendBlocks(std::vector<Block> added) {
  if (added.empty()) return;
  IdAllocator ids(blocks_);
  blocks_.reserve(blocks_.size() + added.size());
  for (Block& b : added) {
    if (b.Id == 0) b.Id = ids.Next();
    ids.Taken(b.Id);
    blocks_.push_back(std::move(b));
  }
  // Positions never move while appending, so one tidy pass gives what one per block gave.
  Tidy(blocks_);
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
  Tidy(blocks_);
}

void BlockList::DeleteBlock(int32_t index) {
  if (index < 0 || index >= BlockCount()) return;
  blocks_.erase(blocks_.begin() + index);
}

void BlockList::Swap(int32_t i, int32_t j) {
  std::swap(blocks_.at(static_cast<size_t>(i)), blocks_.at(static_cast<size_t>(j)));
}

}  // namespace panorello
