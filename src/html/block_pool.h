#pragma once
// The blocks of a page, their queries run side by side on a few worker threads and their boxes
// appended to the page in page order: the page is the same, byte for byte, whatever the number
// of workers.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "html/block_render.h"
#include "html/page_out.h"
#include "storage/block_list.h"
#include "util/cancel.h"

namespace panorello {

struct BlockPoolOptions {
  // Worker threads at most; 1 renders every block on the calling thread, in order. The first
  // worker starts alone, the others join it once one of its blocks takes a moment (10 ms; the
  // login to a server on this machine not counted unless it is slow).
  int jobs = 1;
  // Where a body that is not yet its turn goes once it passes spill_bytes (an unnamed file that
  // vanishes when closed); empty keeps every body in memory.
  std::string spill_folder;
  size_t spill_bytes = size_t{1} << 20;
  // The run's stop: no further block starts, the running queries are cancelled, the run fails.
  const CancelToken* cancel = nullptr;
};

// Called on the calling thread as the page reaches block i (0-based), in page order, before its
// box is appended.
using BlockTurn = std::function<void(size_t index)>;
// Called on the calling thread once block i's box is in the page (every box above it is), with
// how its body ended. When the run stops, also for the blocks below that had ended, in page order.
using BlockEnded = std::function<void(size_t index, const BlockOutcome& outcome)>;

// Appends the box of every block to out, in the order of blocks, and returns how each body ended,
// in the same order. Workers read only env and blocks (copies the caller keeps alive). Throws
// PageWriteError when the page or a spill file cannot be written, and Error (kCancelled) when
// the run stops; no pool worker is left running then (a query's own worker may be, counted).
std::vector<BlockOutcome> RenderBlocksInOrder(const BlockQueryEnv& env,
                                              const std::vector<Block>& blocks,
                                              const BlockPoolOptions& options, PageOut& out,
                                              const BlockTurn& turn, const BlockEnded& ended = {});

}  // namespace panorello
