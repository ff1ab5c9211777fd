#include "util/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace panorello {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// Trim removes spaces only; newlines: CR LF counts once, lone CR and LF once each.
TEST(TextTest, TrimAndNewlines) {
  EXPECT_EQ(Trim(" \t\r\nx\n "), "\t\r\nx\n");
  EXPECT_EQ(Trim("    "), "");
  EXPECT_EQ(NormalizeNewlines("a\r\r\nb\n\rc"), "a\n\nb\n\nc");
  EXPECT_EQ(LineBreaksToSpaces("a\r\nb\rc\nd\n\re"), "a b c d  e");
  EXPECT_EQ(FormatInt(std::numeric_limits<int64_t>::min()), "-9223372036854775808");
}

// Case mapping keeps the byte length (callers index the original with positions in the mapped
// text) and maps two-byte letters, not the neighbouring signs.
TEST(TextTest, CaseMappingKeepsTheLength) {
  const std::string cases[][3] = {
      {"abc XYZ 123", "ABC XYZ 123", "abc xyz 123"},
      {"ÀÉÌÒÙ àéìòù ñÑçÇøØþÞ", "ÀÉÌÒÙ ÀÉÌÒÙ ÑÑÇÇØØÞÞ", "àéìòù àéìòù ññççøøþþ"},
      {"ß×÷ € ü", "ß×÷ € Ü", "ß×÷ € ü"},  // no same-length capital; not letters
      {"ćČ łŁ žŽ αΩς жЖё", "ĆČ ŁŁ ŽŽ ΑΩΣ ЖЖЁ", "ćč łł žž αως жжё"},
      {"µ Μ ͻ Ͻ ϳ Ϳ", "Μ Μ Ͻ Ͻ Ϳ Ϳ",
       "µ μ ͻ ͻ ϳ ϳ"},  // letters with a partner of their own
      // Partners of another length stay as written: ı -> I, ſ -> S, İ -> i̇, ΐ -> three letters.
      {"ı ſ İ ΐ ŉ", "ı ſ İ ΐ ŉ", "ı ſ İ ΐ ŉ"},
  };
  for (const auto& [input, upper, lower] : cases) {
    EXPECT_EQ(UpperCase(input), upper);
    EXPECT_EQ(LowerCase(input), lower);
  }
  // Every two-byte code point: mapping twice changes nothing more.
  for (uint32_t code = 0x80; code < 0x800; ++code) {
    const std::string letter{static_cast<char>(0xC0 | (code >> 6)),
                             static_cast<char>(0x80 | (code & 0x3F))};
    const std::string upper = UpperCase(letter);
    ASSERT_EQ(upper.size(), 2u);
    EXPECT_EQ(UpperCase(upper), upper) << code;
    EXPECT_EQ(LowerCase(LowerCase(letter)), LowerCase(letter)) << code;
  }
}

// Blanks ignored anywhere, "." only, E/D exponents, &H/&O, stops at the first misfit, 0 without
// digits; correctly rounded, overflow to infinity, long inputs exact.
TEST(TextTest, ParseLeadingNumber) {
  const std::pair<std::string, double> cases[] = {
      {"30 s", 30},
      {"abc", 0},
      {" - 1\t2 .\n5 ", -12.5},
      {"\r4", 0},
      {".5", 0.5},
      {"1.5D2", 150},
      {"3E+", 3},
      {"--1", 0},
      {"&H1F", 31},
      {"&O17", 15},
      {"&o8", 0},
      {"9007199254740993", 9007199254740992.0},
      {"1.8E308", kInf},
      {"1E99999999999999999999", kInf},
      {"1E-99999999999999999999", 0},
      {"0." + std::string(5000, '0') + "1E5001", 1},
      {"1" + std::string(400, '0') + "E-400", 1},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(ParseLeadingNumber(text), expected) << "[" << text.substr(0, 40) << "]";
  }
}

// Exact halves go to the even neighbour; the int32 range clamps; NaN gives 0; ParseWholeNumber
// reports whether clamping happened.
TEST(TextTest, RoundingAndClamping) {
  const std::pair<double, int32_t> cases[] = {
      {2.5, 2},
      {3.5, 4},
      {-2.5, -2},
      {-0.6, -1},
      {2147483647.5, 2147483647},
      {-2147483648.5, -2147483648},
      {std::nan(""), 0},
  };
  for (const auto& [value, expected] : cases) EXPECT_EQ(RoundToInt32(value), expected) << value;
  const std::tuple<std::string, int32_t, bool> whole[] = {
      {"30 s", 30, true},
      {"2147483647.5", 2147483647, false},
      {"-2147483648.5", -2147483648, true},
      {"-2147483649", -2147483648, false},
  };
  for (const auto& [text, expected, fits] : whole) {
    bool got = !fits;
    EXPECT_EQ(ParseWholeNumber(text, &got), expected) << text;
    EXPECT_EQ(got, fits) << text;
  }
}

// Each special byte is replaced once (an entity in the text is escaped again); CR LF, CR and LF
// give one break each; the apostrophe stays.
TEST(TextTest, HtmlEncode) {
  EXPECT_EQ(HtmlEncode("a<b>&amp;\"c\" it's"), "a&lt;b&gt;&amp;amp;&quot;c&quot; it's");
  EXPECT_EQ(HtmlEncode("1\r\n2\r3\n\r4\r"), "1<br>2<br>3<br><br>4<br>");
  std::string appended = "pre:";
  HtmlEncodeAppend(appended, "<x>");
  EXPECT_EQ(appended, "pre:&lt;x&gt;");
}

// Valid UTF-8 is kept (overlong forms, surrogates and cut sequences are not valid); otherwise the
// whole file is Windows-1252, including its 0x80-0x9F letters.
TEST(TextTest, DecodeTextFileBytes) {
  EXPECT_TRUE(IsValidUtf8("città €  𝄞"));
  for (const char* bad : {"citt\xE0", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82"}) {
    EXPECT_FALSE(IsValidUtf8(bad)) << ::testing::PrintToString(bad);
  }
  const std::pair<std::string, std::string> cases[] = {
      {"plain\r\nascii", "plain\r\nascii"},
      {"\xEF\xBB\xBFTITLE=Città", "TITLE=Città"},
      {"\x80\x82\x8C\x8E\x91\x96\x9E\x9F", "€‚ŒŽ‘–žŸ"},
      {"\x81\x8D\x8F\x90\x9D\xA0\xFF", "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D\xC2\xA0ÿ"},
      {"\xC3\xA0 \xE0", "Ã\xC2\xA0 à"},  // one invalid byte converts valid-looking pairs too
  };
  for (const auto& [bytes, text] : cases) {
    EXPECT_EQ(DecodeTextFileBytes(bytes), text) << ::testing::PrintToString(bytes);
  }
}

}  // namespace
}  // namespace panorello
