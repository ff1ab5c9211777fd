#pragma once
#include <string>
#include <string_view>

#include "storage/block_list.h"

namespace panorello {

// Appends the blocks found in a whole file text.
void ParseBlocks(BlockList& list, std::string_view text);
// ClearBlocks, then blocks.ini of app_folder when it exists. Throws when it cannot be read.
void LoadBlocks(BlockList& list, const std::string& app_folder);
// Appends the blocks of any file of the same format (nothing when missing).
void LoadBlocksFrom(BlockList& list, const std::string& path);
// The written form: twelve CR LF lines per block; line breaks in Title, Subtitle and Dashboard
// become one space.
std::string BlocksFileText(const BlockList& list);
// Writes blocks.ini of app_folder atomically. Throws on failure.
void SaveBlocks(const BlockList& list, const std::string& app_folder);

}  // namespace panorello
