#include "storage/blocks_file.h"

#include <vector>

#include "util/files.h"
#include "util/text.h"

namespace panorello {

namespace {

// The rule for one key line of an open block; false when the line holds no known key.
bool ApplyKeyLine(Block& block, std::string_view line) {
  const std::string upper = UpperCase(line);  // same length: positions index the line
  auto value_after = [&line](std::string_view key) { return line.substr(key.size()); };
  if (upper.starts_with("ID=")) {
    block.Id = ParseWholeNumber(value_after("ID="));
  } else if (upper.starts_with("TITLE=")) {
    block.Title = std::string(value_after("TITLE="));
  } else if (upper.starts_with("SUBTITLE=")) {
    block.Subtitle = std::string(value_after("SUBTITLE="));
  } else if (upper.starts_with("SORTORDER=")) {
    block.SortOrder = ParseWholeNumber(value_after("SORTORDER="));
  } else if (upper.starts_with("ACTIVE=")) {
    block.Active = ParseLeadingNumber(value_after("ACTIVE=")) != 0;
  } else if (upper.starts_with("RENDERMODE=")) {
    block.RenderMode = UpperCase(Trim(value_after("RENDERMODE=")));
  } else if (upper.starts_with("DASHBOARD=")) {
    block.Dashboard = Trim(value_after("DASHBOARD="));
  } else {
    return false;
  }
  return true;
}

// Keeps the earliest skipped line of a parse.
class SkipRecorder {
 public:
  void Skip(int64_t line_number, std::string_view line) {
    if (found_.Any() && found_.first_line <= line_number) return;
    found_.first_line = line_number;
    found_.first_text = std::string(line);
  }
  const SkippedText& Result() const { return found_; }

 private:
  SkippedText found_;
};

}  // namespace

SkippedText ParseBlocks(BlockList& list, std::string_view text) {
  const std::string normalized = NormalizeNewlines(text);
  std::vector<Block> read;
  SkipRecorder skipped;
  bool in_block = false;
  bool in_query = false;
  std::string query;
  Block current;
  int64_t line_number = 0;
  int64_t block_line = 0;  // where the open block started
  std::string block_text;
  std::string_view rest = normalized;
  for (;;) {
    const size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    const std::string trimmed = Trim(line);
    ++line_number;
    if (in_query) {
      if (trimmed == "SQLEND") {
        current.Sql = std::move(query);
        query.clear();
        in_query = false;
      } else {
        if (!query.empty()) query += "\r\n";
        query += line;
      }
    } else if (trimmed == "[BLOCK]") {
      if (in_block) skipped.Skip(block_line, block_text);  // never closed: dropped
      current = Block{};
      in_block = true;
      block_line = line_number;
      block_text = std::string(line);
    } else if (trimmed == "[/BLOCK]") {
      if (in_block) read.push_back(std::move(current));
      in_block = false;
    } else if (!in_block || !ApplyKeyLine(current, line)) {
      if (in_block && UpperCase(trimmed) == "SQLBEGIN") {
        in_query = true;
        query.clear();
      } else if (!trimmed.empty()) {
        skipped.Skip(line_number, line);  // outside any block, or no key of a block
      }
    }
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  if (in_block) skipped.Skip(block_line, block_text);
  list.AppendBlocks(std::move(read));
  return skipped.Result();
}

SkippedText LoadBlocks(BlockList& list, const std::string& app_folder) {
  list.ClearBlocks();
  const std::string text =
      DecodeTextFileBytes(ReadStoredFileBytes(AppFile(app_folder, "blocks.ini")));
  if (text.empty()) return {};
  return ParseBlocks(list, text);
}

SkippedText LoadBlocksFrom(BlockList& list, const std::string& path) {
  const std::string text = ReadTextFile(path);
  if (text.empty()) return {};
  return ParseBlocks(list, text);
}

std::string SkippedTextWarning(const std::string& file, const SkippedText& skipped) {
  std::string shown = skipped.first_text;
  if (shown.size() > 80) shown = shown.substr(0, 77) + "...";
  return "Attenzione: " + file +
         " contiene testo che non è stato letto (blocco non chiuso, "
         "marcatori in minuscolo o testo fuori da un blocco), a partire dalla riga " +
         std::to_string(skipped.first_line) + ": \"" + shown +
         "\". Correggere il file; al primo salvataggio dei blocchi il file attuale viene "
         "conservato come " +
         file + ".bak.";
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
  const std::string path = AppFile(app_folder, "blocks.ini");
  const std::string old_text = ReadTextFile(path);
  BlockList scratch;
  if (!old_text.empty() && ParseBlocks(scratch, old_text).Any()) {
    // Hand-written text the list cannot hold: the old file survives beside the new one.
    WriteTextFile(path + ".bak", ReadFileBytes(path));
  }
  WriteTextFile(path, BlocksFileText(list));
}

}  // namespace panorello
