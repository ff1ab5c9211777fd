#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "storage/block_list.h"

namespace panorello {

// Text a load passed over that the next save would not write back: lines outside any block,
// unrecognised lines inside one, blocks never closed (markers in another letter case end up
// here too). first_line is 1-based; 0 when nothing was skipped.
struct SkippedText {
  int64_t first_line = 0;
  std::string first_text;  // that line as read
  bool Any() const { return first_line > 0; }
};

// Appends the blocks found in a whole file text; reports what it skipped.
SkippedText ParseBlocks(BlockList& list, std::string_view text);
// ClearBlocks, then blocks.ini of app_folder when it exists. Throws when it cannot be read.
SkippedText LoadBlocks(BlockList& list, const std::string& app_folder);
// Appends the blocks of any file of the same format (nothing when missing).
SkippedText LoadBlocksFrom(BlockList& list, const std::string& path);
// The warning to log (and show once) for a load of file that skipped text.
std::string SkippedTextWarning(const std::string& file, const SkippedText& skipped);
// The written form: twelve CR LF lines per block; line breaks in Title, Subtitle and Dashboard
// become one space.
std::string BlocksFileText(const BlockList& list);
// Writes blocks.ini of app_folder atomically. When the file there holds text that the list does
// not (see SkippedText), it is first kept whole as blocks.ini.bak. Throws on failure.
void SaveBlocks(const BlockList& list, const std::string& app_folder);

}  // namespace panorello
