#pragma once
// Helpers of the start-up tests: a folder with its config.ini and blocks.ini, and the log.
#include <string>
#include <vector>

#include "support/test_support.h"

namespace panorello::testing {

inline std::vector<std::string> LogLines(const std::string& path) {
  const std::string text = ReadBytes(path);
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    const std::string line = text.substr(start, end - start);
    out.push_back(line.size() > 22 ? line.substr(22) : line);
    if (end == std::string::npos) break;
    start = end + 2;
  }
  return out;
}

// config.ini lines (CR LF each) from key=value pairs.
inline std::string ConfigText(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\r\n";
  return out;
}

// One block of the blocks file format.
inline std::string BlockText(int id, const std::string& title, const std::string& dashboard,
                             const std::string& sql, const std::string& mode = "AUTO") {
  return "[BLOCK]\r\nID=" + std::to_string(id) + "\r\nTITLE=" + title + "\r\nSUBTITLE=\r\nSORTORDER=" +
         std::to_string(id) + "\r\nACTIVE=1\r\nRENDERMODE=" + mode + "\r\nDASHBOARD=" + dashboard +
         "\r\nSQLBEGIN\r\n" + sql + "\r\nSQLEND\r\n[/BLOCK]\r\n";
}

inline std::string DemoBlocksSource() {
  return std::string(PANORELLO_SOURCE_DIR) + "/src/demo/blocks_demo.ini";
}

}  // namespace panorello::testing
