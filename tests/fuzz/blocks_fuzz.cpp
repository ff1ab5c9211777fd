// The blocks reader: any file loads; what it loaded is written, and the written text reads back
// as the same blocks (write -> read round trip).
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "storage/block_list.h"
#include "storage/blocks_file.h"
#include "util/text.h"

using panorello::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace panorello;
  // Files reach the reader decoded (see ReadTextFile).
  const std::string text = DecodeTextFileBytes(std::string_view(reinterpret_cast<const char*>(data), size));
  BlockList first;
  ParseBlocks(first, text);
  const std::string written = BlocksFileText(first);
  BlockList second;
  ParseBlocks(second, written);
  Require(second == first, "blocks written and read back are the same", written);
  Require(BlocksFileText(second) == written, "the written file is stable", written);
  Require(IsValidUtf8(written), "the written file is UTF-8");
  return 0;
}
