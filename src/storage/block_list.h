#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace panorello {

struct Block {
  int32_t Id = 0;
  std::string Title;
  std::string Subtitle;
  std::string Sql;
  int32_t SortOrder = 0;
  bool Active = true;
  std::string RenderMode = "AUTO";
  std::string Dashboard;
  friend bool operator==(const Block&, const Block&) = default;
};

class BlockList {
 public:
  int32_t BlockCount() const { return static_cast<int32_t>(blocks_.size()); }
  const Block& At(int32_t index) const { return blocks_.at(static_cast<size_t>(index)); }
  Block& At(int32_t index) { return blocks_.at(static_cast<size_t>(index)); }
  const std::vector<Block>& Blocks() const { return blocks_; }

  void ClearBlocks();
  int32_t NewBlockId() const;
  // Replaces at 0..BlockCount-1, appends otherwise; writes the assigned Id back into b; then
  // tidies sort orders and render modes of the whole list.
  void SaveBlock(int32_t index, Block& b);
  // The same outcome as SaveBlock(-1, b) for every b in turn, in time linear in the list size
  // (the blocks file reader adds thousands of blocks at once).
  void AppendBlocks(std::vector<Block> added);
  void DeleteBlock(int32_t index);
  // Exchanges two whole records (used by the generation run's sort).
  void Swap(int32_t i, int32_t j);

  friend bool operator==(const BlockList&, const BlockList&) = default;

 private:
  std::vector<Block> blocks_;
};

}  // namespace panorello
