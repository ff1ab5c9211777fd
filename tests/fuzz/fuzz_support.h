#pragma once
// What the fuzz targets share: a failed property stops the run with its description, so that
// libFuzzer keeps the input that broke it.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace panorello::fuzz {

inline void Require(bool holds, const char* property, std::string_view detail = {}) {
  if (holds) return;
  std::string shown;  // control bytes as \xNN, line breaks kept
  for (const char c : detail) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 || c == '\n') {
      shown += c;
    } else {
      static constexpr char kHex[] = "0123456789abcdef";
      shown += {'\\', 'x', kHex[byte >> 4], kHex[byte & 15]};
    }
  }
  std::fprintf(stderr, "Property broken: %s\n%s\n", property, shown.c_str());
  std::abort();
}

// The pieces of an input separated by NUL bytes.
inline std::vector<std::string> SplitAtNul(std::string_view data) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t nul = data.find('\0', start);
    parts.emplace_back(data.substr(start, nul - start));
    if (nul == std::string_view::npos) return parts;
    start = nul + 1;
  }
}

}  // namespace panorello::fuzz
