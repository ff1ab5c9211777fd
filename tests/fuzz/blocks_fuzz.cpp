// The blocks reader: any file loads, and what it loaded is written and read back as the same
// blocks. Blocks saved the way the editor saves them are written and read back equal too
// (write -> read round trip).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "grid_input.h"
#include "storage/block_list.h"
#include "storage/blocks_file.h"
#include "ui/logic/main_form.h"
#include "util/text.h"

using panorello::fuzz::Require;

namespace panorello {
namespace {

void CheckFile(std::string_view bytes) {
  // Files reach the reader decoded (see ReadTextFile).
  const std::string text = DecodeTextFileBytes(bytes);
  BlockList first;
  ParseBlocks(first, text);
  const std::string written = BlocksFileText(first);
  BlockList second;
  ParseBlocks(second, written);
  Require(second == first, "blocks written and read back are the same", written);
  Require(BlocksFileText(second) == written, "the written file is stable", written);
  Require(IsValidUtf8(written), "the written file is UTF-8");
}

// Blocks as the editor saves them (texts trimmed, mode upper-cased), written and read back.
void CheckSavedBlocks(FuzzedDataProvider& in) {
  BlockList list;
  while (in.remaining_bytes() > 0 && list.BlockCount() < 8) {
    Block b;
    b.Title = Trim(fuzz::Text(in, 30));
    b.Subtitle = Trim(fuzz::Text(in, 30));
    b.Sql = fuzz::Text(in, 200);
    b.SortOrder = in.ConsumeIntegral<int32_t>();
    b.Active = in.ConsumeBool();
    b.RenderMode = UpperCase(Trim(fuzz::Text(in, 12)));
    b.Dashboard = Trim(fuzz::Text(in, 20));
    // A query holding a line "SQLEND" cannot be written: the line ends the query in the file.
    if (SqlHasEndMarkerLine(b.Sql)) continue;
    list.SaveBlock(-1, b);
  }
  BlockList read;
  ParseBlocks(read, BlocksFileText(list));
  Require(read.BlockCount() == list.BlockCount(), "every saved block is read back");
  for (int32_t i = 0; i < list.BlockCount(); ++i) {
    Block expected = list.At(i);
    // The changes a save makes: one-line values lose their line breaks, the query its lone CR/LF.
    expected.Title = LineBreaksToSpaces(expected.Title);
    expected.Subtitle = LineBreaksToSpaces(expected.Subtitle);
    expected.Dashboard = Trim(LineBreaksToSpaces(expected.Dashboard));
    expected.RenderMode = Trim(LineBreaksToSpaces(expected.RenderMode));
    if (expected.RenderMode.empty()) expected.RenderMode = "AUTO";
    Block got = read.At(i);
    // Leading empty lines of a query are not kept (the reader's rule).
    std::string sql = NormalizeNewlines(expected.Sql);
    sql.erase(0, sql.find_first_not_of('\n') == std::string::npos ? sql.size()
                                                                  : sql.find_first_not_of('\n'));
    Require(NormalizeNewlines(got.Sql) == sql, "the query is kept", expected.Sql);
    got.Sql = expected.Sql;
    Require(got == expected, "a saved block reads back equal", BlocksFileText(list));
  }
}

}  // namespace
}  // namespace panorello

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  if ((data[0] & 1) == 0) {
    panorello::CheckFile(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
  } else {
    FuzzedDataProvider in(data + 1, size - 1);
    panorello::CheckSavedBlocks(in);
  }
  return 0;
}
