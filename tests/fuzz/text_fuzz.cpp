// The leading-number parser and the text rules: no undefined behaviour, and what each rule
// promises about its result.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "html/chart.h"
#include "util/text.h"

using panorello::fuzz::Require;

namespace panorello {
namespace {

void CheckNumbers(std::string_view s) {
  const double value = ParseLeadingNumber(s);
  bool fits = false;
  const int32_t whole = ParseWholeNumber(s, &fits);
  Require(whole == RoundToInt32(value), "ParseWholeNumber is the rounded leading number");
  if (fits) Require(std::fabs(value - whole) <= 0.5, "a whole number that fits is within a half");
  // The chart's number text reads back as a finite double close to the value.
  const std::string svg = SvgNumber(value);
  const double back = std::strtod(svg.c_str(), nullptr);
  Require(std::isfinite(back), "SvgNumber stays within the double range", svg);
  if (std::isfinite(value) && std::fabs(value) < 1e308 && std::fabs(value) > 1e-300) {
    Require(std::fabs(back - value) <= std::fabs(value) * 1e-14, "SvgNumber keeps 15 digits", svg);
  }
}

void CheckTexts(std::string_view s) {
  const std::string upper = UpperCase(s), lower = LowerCase(s);
  Require(upper.size() == s.size() && lower.size() == s.size(), "case mapping keeps the length");
  if (IsValidUtf8(s)) {
    Require(IsValidUtf8(upper) && IsValidUtf8(lower), "case mapping keeps UTF-8 valid", s);
  }
  const std::string decoded = DecodeTextFileBytes(s);
  Require(IsValidUtf8(decoded), "DecodeTextFileBytes gives UTF-8", s);
  std::string storage;
  const std::string_view utf8 = Utf8OrWindows1252(s, storage);
  Require(IsValidUtf8(utf8), "Utf8OrWindows1252 gives UTF-8", s);
  Require(IsValidUtf8(s) == (utf8.data() == s.data()), "valid UTF-8 is kept as it is");
}

}  // namespace
}  // namespace panorello

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view s(reinterpret_cast<const char*>(data), size);
  panorello::CheckNumbers(s);
  panorello::CheckTexts(s);
  return 0;
}
