#pragma once
// The blocks of a page, their queries run side by side on a few worker threads and their boxes
// appended to the page in page order: the page is the same, byte for byte, whatever the number
// of workers.
#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "html/block_render.h"
#include "html/page_out.h"
#include "storage/block_list.h"

namespace panorello {

struct BlockPoolOptions {
  int jobs = 1;  // worker threads; 1 renders every block on the calling thread, in order
  // Where a body that is not yet its turn goes once it passes spill_bytes (an unnamed file that
  // vanishes when closed); empty keeps every body in memory.
  std::string spill_folder;
  size_t spill_bytes = size_t{1} << 20;
  const std::atomic<bool>* cancel = nullptr;  // set: no further block starts, the run fails
};

// Called on the calling thread as the page reaches block i (0-based), in page order, before its
// box is appended.
using BlockTurn = std::function<void(size_t index)>;

// Appends the box of every block to out, in the order of blocks, and returns how each body ended,
// in the same order. Workers read only env and blocks (copies the caller keeps alive). Throws
// PageWriteError when the page or a spill file cannot be written, and Error when cancelled; no
// worker is left running then.
std::vector<BlockOutcome> RenderBlocksInOrder(const BlockQueryEnv& env,
                                              const std::vector<Block>& blocks,
                                              const BlockPoolOptions& options, PageOut& out,
                                              const BlockTurn& turn);

// The text of the error that a cancelled run ends with.
inline constexpr const char* kRunCancelledText = "generazione annullata dall'utente";

}  // namespace panorello
