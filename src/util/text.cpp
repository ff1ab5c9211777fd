#include "util/text.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <span>

namespace panorello {

namespace {

void AppendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Windows-1252 bytes 0x80..0x9F; the five undefined bytes keep their own code point.
constexpr uint16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Runs of letters with the same case partner at the same distance: first and last code point,
// the step between letters of the run (2 where capitals and small letters alternate) and the
// distance to the partner. Every letter of U+0080..U+017F and U+0370..U+04FF whose one-letter
// partner is also written with two bytes in UTF-8 (Unicode 14 simple case mapping).
struct CaseRun {
  uint16_t first;
  uint16_t last;
  uint8_t step;
  int16_t delta;
};

constexpr CaseRun kToUpper[] = {
    {0xb5, 0xb5, 1, 743},    {0xe0, 0xf6, 1, -32},   {0xf8, 0xfe, 1, -32},   {0xff, 0xff, 1, 121},
    {0x101, 0x12f, 2, -1},   {0x133, 0x137, 2, -1},  {0x13a, 0x148, 2, -1},  {0x14b, 0x177, 2, -1},
    {0x17a, 0x17e, 2, -1},   {0x371, 0x373, 2, -1},  {0x377, 0x377, 1, -1},  {0x37b, 0x37d, 1, 130},
    {0x3ac, 0x3ac, 1, -38},  {0x3ad, 0x3af, 1, -37}, {0x3b1, 0x3c1, 1, -32}, {0x3c2, 0x3c2, 1, -31},
    {0x3c3, 0x3cb, 1, -32},  {0x3cc, 0x3cc, 1, -64}, {0x3cd, 0x3ce, 1, -63}, {0x3d0, 0x3d0, 1, -62},
    {0x3d1, 0x3d1, 1, -57},  {0x3d5, 0x3d5, 1, -47}, {0x3d6, 0x3d6, 1, -54}, {0x3d7, 0x3d7, 1, -8},
    {0x3d9, 0x3ef, 2, -1},   {0x3f0, 0x3f0, 1, -86}, {0x3f1, 0x3f1, 1, -80}, {0x3f2, 0x3f2, 1, 7},
    {0x3f3, 0x3f3, 1, -116}, {0x3f5, 0x3f5, 1, -96}, {0x3f8, 0x3f8, 1, -1},  {0x3fb, 0x3fb, 1, -1},
    {0x430, 0x44f, 1, -32},  {0x450, 0x45f, 1, -80}, {0x461, 0x481, 2, -1},  {0x48b, 0x4bf, 2, -1},
    {0x4c2, 0x4ce, 2, -1},   {0x4cf, 0x4cf, 1, -15}, {0x4d1, 0x4ff, 2, -1}};

constexpr CaseRun kToLower[] = {
    {0xc0, 0xd6, 1, 32},   {0xd8, 0xde, 1, 32},   {0x100, 0x12e, 2, 1},    {0x132, 0x136, 2, 1},
    {0x139, 0x147, 2, 1},  {0x14a, 0x176, 2, 1},  {0x178, 0x178, 1, -121}, {0x179, 0x17d, 2, 1},
    {0x370, 0x372, 2, 1},  {0x376, 0x376, 1, 1},  {0x37f, 0x37f, 1, 116},  {0x386, 0x386, 1, 38},
    {0x388, 0x38a, 1, 37}, {0x38c, 0x38c, 1, 64}, {0x38e, 0x38f, 1, 63},   {0x391, 0x3a1, 1, 32},
    {0x3a3, 0x3ab, 1, 32}, {0x3cf, 0x3cf, 1, 8},  {0x3d8, 0x3ee, 2, 1},    {0x3f4, 0x3f4, 1, -60},
    {0x3f7, 0x3f7, 1, 1},  {0x3f9, 0x3f9, 1, -7}, {0x3fa, 0x3fa, 1, 1},    {0x3fd, 0x3ff, 1, -130},
    {0x400, 0x40f, 1, 80}, {0x410, 0x42f, 1, 32}, {0x460, 0x480, 2, 1},    {0x48a, 0x4be, 2, 1},
    {0x4c0, 0x4c0, 1, 15}, {0x4c1, 0x4cd, 2, 1},  {0x4d0, 0x4fe, 2, 1}};

// The case partner of a letter written with two bytes in UTF-8, when the partner is written with
// two bytes too; otherwise the letter itself.
uint32_t CasePartner(uint32_t c, bool upper) {
  const std::span<const CaseRun> runs = upper ? std::span<const CaseRun>(kToUpper) : kToLower;
  for (const CaseRun& run : runs) {
    if (c < run.first) break;
    if (c <= run.last && (c - run.first) % run.step == 0) {
      return static_cast<uint32_t>(static_cast<int32_t>(c) + run.delta);
    }
  }
  return c;
}

// Case mapping that keeps the byte length: ASCII and two-byte letters; every other byte stays.
std::string MapCase(std::string_view s, bool upper) {
  std::string out(s);
  for (size_t i = 0; i < out.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(out[i]);
    if (upper && c >= 'a' && c <= 'z') {
      out[i] = static_cast<char>(c - 'a' + 'A');
    } else if (!upper && c >= 'A' && c <= 'Z') {
      out[i] = static_cast<char>(c - 'A' + 'a');
    } else if (c >= 0xC2 && c <= 0xDF && i + 1 < out.size() &&
               (static_cast<unsigned char>(out[i + 1]) & 0xC0) == 0x80) {
      const uint32_t code = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(out[i + 1]) & 0x3Fu);
      const uint32_t mapped = CasePartner(code, upper);
      if (mapped >= 0x80 && mapped < 0x800) {
        out[i] = static_cast<char>(0xC0 | (mapped >> 6));
        out[i + 1] = static_cast<char>(0x80 | (mapped & 0x3F));
      }
      ++i;
    }
  }
  return out;
}

}  // namespace

std::string Trim(std::string_view s) {
  size_t begin = 0;
  size_t end = s.size();
  while (begin < end && s[begin] == ' ') ++begin;
  while (end > begin && s[end - 1] == ' ') --end;
  return std::string(s.substr(begin, end - begin));
}

bool IsSpaceOrTab(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimSpacesAndTabs(std::string_view s) {
  while (!s.empty() && IsSpaceOrTab(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpaceOrTab(s.back())) s.remove_suffix(1);
  return s;
}

bool IsBlankText(std::string_view s) { return s.find_first_not_of(" \t\r\n") == s.npos; }

namespace {
char AsciiLower(char ch) {
  return (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
}
}  // namespace

std::string AsciiLowerCase(std::string_view s) {
  std::string out(s);
  for (char& ch : out) ch = AsciiLower(ch);
  return out;
}

bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

bool StartsWithAsciiNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualsAsciiNoCase(s.substr(0, prefix.size()), prefix);
}

bool Contains(std::string_view text, std::string_view part) { return text.find(part) != text.npos; }

std::string UpperCase(std::string_view s) { return MapCase(s, true); }

std::string LowerCase(std::string_view s) { return MapCase(s, false); }

namespace {

// Bytes that HtmlEncode replaces.
constexpr bool IsHtmlSpecial(unsigned char c) {
  return c == '&' || c == '<' || c == '>' || c == '"' || c == '\r' || c == '\n';
}

struct HtmlSpecialTable {
  bool special[256] = {};
  constexpr HtmlSpecialTable() {
    for (int c = 0; c < 256; ++c) special[c] = IsHtmlSpecial(static_cast<unsigned char>(c));
  }
};

constexpr HtmlSpecialTable kHtmlSpecial;

}  // namespace

void HtmlEncodeAppend(std::string& out, std::string_view s) {
  const char* p = s.data();
  const char* const end = p + s.size();
  while (p < end) {
    // Copy the run of ordinary bytes in one piece.
    const char* run = p;
    while (p < end && !kHtmlSpecial.special[static_cast<unsigned char>(*p)]) ++p;
    out.append(run, static_cast<size_t>(p - run));
    if (p == end) break;
    switch (*p) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:  // CR LF, CR or LF: one break each
        out += "<br>";
        if (*p == '\r' && p + 1 < end && p[1] == '\n') ++p;
        break;
    }
    ++p;
  }
}

bool NeedsHtmlEncode(std::string_view s) {
  for (char c : s) {
    if (kHtmlSpecial.special[static_cast<unsigned char>(c)]) return true;
  }
  return false;
}

std::string HtmlEncode(std::string_view s) {
  std::string out;
  out.reserve(s.size() + s.size() / 8);
  HtmlEncodeAppend(out, s);
  return out;
}

namespace {

// Every CR LF, lone CR and lone LF of s becomes `mark`.
std::string ReplaceLineBreaks(std::string_view s, char mark) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' || s[i] == '\n') {
      out += mark;
      if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ++i;
    } else {
      out += s[i];
    }
  }
  return out;
}

}  // namespace

std::string NormalizeNewlines(std::string_view s) { return ReplaceLineBreaks(s, '\n'); }

std::string LineBreaksToSpaces(std::string_view s) { return ReplaceLineBreaks(s, ' '); }

bool IsValidUtf8(std::string_view s) {
  size_t i = 0;
  const size_t n = s.size();
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t length;
    uint32_t code;
    if (c >= 0xC2 && c <= 0xDF) {
      length = 2;
      code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3;
      code = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4;
      code = c & 0x07;
    } else {
      return false;
    }
    if (n - i < length) return false;
    for (size_t k = 1; k < length; ++k) {
      unsigned char next = static_cast<unsigned char>(s[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if (length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) return false;
    if (length == 4 && (code < 0x10000 || code > 0x10FFFF)) return false;
    i += length;
  }
  return true;
}

std::string_view Utf8OrWindows1252(std::string_view bytes, std::string& storage) {
  if (IsValidUtf8(bytes)) return bytes;
  std::string& out = storage;
  out.clear();
  out.reserve(bytes.size() + bytes.size() / 4);
  for (char ch : bytes) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
    } else if (c < 0xA0) {
      AppendUtf8(out, kWindows1252High[c - 0x80]);
    } else {
      AppendUtf8(out, c);
    }
  }
  return out;
}

std::string DecodeTextFileBytes(std::string_view bytes) {
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  std::string storage;
  return std::string(Utf8OrWindows1252(bytes, storage));
}

}  // namespace panorello
