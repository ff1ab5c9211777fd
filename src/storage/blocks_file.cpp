#include "storage/blocks_file.h"

#include "util/files.h"
#include "util/text.h"

namespace panorello {

namespace {

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

// The rule for one key line of an open block; false when the line holds no known key.
bool ApplyKeyLine(Block& block, std::string_view line) {
  const std::string upper = UpperCase(line);  // same length: positions index the line
  auto value_after = [&line](std::string_view key) { return line.substr(key.size()); };
  if (StartsWith(upper, "ID=")) {
    block.Id = ParseWholeNumber(value_after("ID="));
  } else if (StartsWith(upper, "TITLE=")) {
    block.Title = std::string(value_after("TITLE="));
  } else if (StartsWith(upper, "SUBTITLE=")) {
    block.Subtitle = std::string(value_after("SUBTITLE="));
  } else if (StartsWith(upper, "SORTORDER=")) {
    block.SortOrder = ParseWholeNumber(value_after("SORTORDER="));
  } else if (StartsWith(upper, "ACTIVE=")) {
    block.Active = ParseLeadingNumber(value_after("ACTIVE=")) != 0;
  } else if (StartsWith(upper, "RENDERMODE=")) {
    block.RenderMode = UpperCase(Trim(value_after("RENDERMODE=")));
  } else if (StartsWith(upper, "DASHBOARD=")) {
    block.Dashboard = Trim(value_after("DASHBOARD="));
  } else {
    return false;
  }
  return true;
}

}  // namespace

void ParseBlocks(BlockList& list, std::string_view text) {
  const std::string normalized = NormalizeNewlines(text);
  bool in_block = false;
  bool in_query = false;
  std::string query;
  Block current;
  std::string_view rest = normalized;
  for (;;) {
    const size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    const std::string trimmed = Trim(line);
    if (in_query) {
      if (trimmed == "SQLEND") {
        current.Sql = query;
        query.clear();
        in_query = false;
      } else {
        if (!query.empty()) query += "\r\n";
        query += line;
      }
    } else if (trimmed == "[BLOCK]") {
      current = Block{};
      in_block = true;
    } else if (trimmed == "[/BLOCK]") {
      if (in_block) list.SaveBlock(-1, current);
      in_block = false;
    } else if (!in_block) {
      // Outside a block every other line is ignored.
    } else if (ApplyKeyLine(current, line)) {
      // Key line handled.
    } else if (UpperCase(trimmed) == "SQLBEGIN") {
      in_query = true;
      query.clear();
    }
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
}

void LoadBlocks(BlockList& list, const std::string& app_folder) {
  list.ClearBlocks();
  const std::string path = AppFile(app_folder, "blocks.ini");
  if (!FileExists(path)) return;
  const std::string text = ReadTextFile(path);
  if (text.empty()) return;
  ParseBlocks(list, text);
}

void LoadBlocksFrom(BlockList& list, const std::string& path) {
  const std::string text = ReadTextFile(path);
  if (!text.empty()) ParseBlocks(list, text);
}

std::string BlocksFileText(const BlockList& list) {
  std::string out;
  for (const Block& b : list.Blocks()) {
    out += "[BLOCK]\r\n";
    out += "ID=" + FormatInt(b.Id) + "\r\n";
    // A line break in these one-line values would break the file: it becomes a space.
    out += "TITLE=" + LineBreaksToSpaces(b.Title) + "\r\n";
    out += "SUBTITLE=" + LineBreaksToSpaces(b.Subtitle) + "\r\n";
    out += "SORTORDER=" + FormatInt(b.SortOrder) + "\r\n";
    out += std::string("ACTIVE=") + (b.Active ? "1" : "0") + "\r\n";
    out += "RENDERMODE=" + LineBreaksToSpaces(UpperCase(Trim(b.RenderMode))) + "\r\n";
    out += "DASHBOARD=" + LineBreaksToSpaces(b.Dashboard) + "\r\n";
    out += "SQLBEGIN\r\n";
    out += b.Sql;
    out += "\r\nSQLEND\r\n";
    out += "[/BLOCK]\r\n";
  }
  return out;
}

void SaveBlocks(const BlockList& list, const std::string& app_folder) {
  WriteTextFile(AppFile(app_folder, "blocks.ini"), BlocksFileText(list));
}

}  // namespace panorello
