#pragma once
// Helpers shared by the demonstration tests.
#include <string>
#include <vector>

#include "support/test_support.h"

namespace panorello::testing {

// The messages of the log beside the executable, without their time stamps.
inline std::vector<std::string> LogMessages(const std::string& folder) {
  const std::string text = ReadBytes(folder + "/panorello.log");
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

// The demonstration blocks as they travel beside the executable.
inline std::string DemoBlocksSource() {
  return std::string(PANORELLO_SOURCE_DIR) + "/src/demo/blocks_demo.ini";
}

inline size_t CountOf(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

}  // namespace panorello::testing
