#include "util/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace panorello {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// Trimming removes spaces only: a trim of all white space would eat tabs and line breaks.
TEST(TrimTest, RemovesOnlySpaces) {
  EXPECT_EQ(Trim("  a b  "), "a b");
  EXPECT_EQ(Trim(" \t\r\nx\n "), "\t\r\nx\n");
  EXPECT_EQ(Trim("    "), "");
}

// Case mapping keeps the byte length (callers index the original text with positions in the
// upper-cased one) and maps the two-byte letters, not the neighbouring signs.
TEST(CaseTest, LettersKeepTheirLength) {
  struct Case {
    std::string input, upper, lower;
  };
  const Case cases[] = {
      {"abc XYZ 123", "ABC XYZ 123", "abc xyz 123"},
      {"ÀÉÌÒÙ àéìòù ñÑçÇøØþÞ", "ÀÉÌÒÙ ÀÉÌÒÙ ÑÑÇÇØØÞÞ", "àéìòù àéìòù ññççøøþþ"},
      {"ß×÷ € ü", "ß×÷ € Ü", "ß×÷ € ü"},  // no same-length capital; not letters
      // Latin Extended-A (both pairing rules), Greek with final sigma, Cyrillic with ё.
      {"ćČ łŁ žŽ αΩς жЖё", "ĆČ ŁŁ ŽŽ ΑΩΣ ЖЖЁ", "ćč łł žž αως жжё"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(UpperCase(c.input), c.upper);
    EXPECT_EQ(LowerCase(c.input), c.lower);
  }
}

// The leading-number rule: blanks ignored anywhere, "." only, E/D exponents, &H/&O, stops at the
// first misfit, 0 without digits; correctly rounded, overflow to infinity, long inputs exact.
TEST(ParseLeadingNumberTest, Rule) {
  struct Case {
    std::string text;
    double expected;
  };
  const Case cases[] = {
      {"30 s", 30}, {"1 000", 1000}, {"2,5", 2}, {"1.5E3", 1500}, {"abc", 0}, {"", 0},
      {" - 1 2 . 5 ", -12.5}, {"\t4\n2", 42}, {"\r4", 0}, {"+7", 7},
      {".5", 0.5}, {"5.", 5}, {"-.25", -0.25}, {"1.2.3", 1.2}, {"1abc", 1},
      {"1.5D2", 150}, {"1.5d2", 150}, {"2e-1", 0.2}, {"2E+2", 200}, {"3E", 3}, {"3E+", 3},
      {"--1", 0}, {"+-1", 0}, {".", 0}, {"-", 0}, {"e5", 0},
      {"&H1F", 31}, {"&hff", 255}, {"&O17", 15}, {"&o8", 0}, {"&H", 0}, {"& H10", 16}, {"&X10", 0},
      {"0.1", 0.1}, {"9007199254740993", 9007199254740992.0},  // correctly rounded, to even
      {"123456789012345678901234567890", 1.2345678901234568e29},
      {"4.9406564584124654E-324", 4.9406564584124654e-324}, {"1E-400", 0},
      {"1.7976931348623157E308", 1.7976931348623157e308}, {"1.8E308", kInf},
      {"1E999", kInf}, {"-1E999", -kInf}, {"1E99999999999999999999", kInf}, {"0E999", 0},
      {"1E-99999999999999999999", 0},
      {"0." + std::string(5000, '0') + "1E5001", 1},
      {"1" + std::string(400, '0'), kInf}, {"1" + std::string(400, '0') + "E-400", 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseLeadingNumber(c.text), c.expected) << "text: [" << c.text.substr(0, 40) << "]";
  }
}

// Rounding: an exact half goes to the even neighbour; the int32 range clamps; NaN gives 0.
// ParseWholeNumber reports whether clamping happened.
TEST(RoundToInt32Test, HalfToEvenAndClamps) {
  const std::pair<double, int32_t> cases[] = {
      {2.5, 2}, {3.5, 4}, {-2.5, -2}, {-3.5, -4}, {0.5, 0}, {2.4999, 2}, {2.5001, 3}, {-0.6, -1},
      {2147483646.5, 2147483646}, {2147483647.5, 2147483647}, {99999999999.0, 2147483647},
      {-2147483648.5, -2147483648}, {-99999999999.0, -2147483648},
      {kInf, 2147483647}, {-kInf, -2147483648}, {std::nan(""), 0},
  };
  for (const auto& [value, expected] : cases) EXPECT_EQ(RoundToInt32(value), expected) << value;

  struct Case {
    std::string text;
    int32_t expected;
    bool fits;
  };
  const Case whole[] = {
      {"30 s", 30, true}, {"2147483647", 2147483647, true}, {"2147483648", 2147483647, false},
      {"2147483647.5", 2147483647, false}, {"-2147483648.5", -2147483648, true},
      {"-2147483649", -2147483648, false}, {"1E999", 2147483647, false}, {"abc", 0, true},
  };
  for (const auto& c : whole) {
    bool fits = !c.fits;
    EXPECT_EQ(ParseWholeNumber(c.text, &fits), c.expected) << c.text;
    EXPECT_EQ(fits, c.fits) << c.text;
  }
}

// The most negative value cannot be negated: a naive digit loop gets it wrong.
TEST(FormatIntTest, Extremes) {
  EXPECT_EQ(FormatInt(0), "0");
  EXPECT_EQ(FormatInt(-5), "-5");
  EXPECT_EQ(FormatInt(std::numeric_limits<int64_t>::min()), "-9223372036854775808");
}

// The seven replacements applied one after the other, as the rule states them.
std::string SequentialHtmlEncode(std::string s) {
  auto replace_all = [&s](const std::string& from, const std::string& to) {
    std::string out;
    size_t start = 0;
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, start)) {
      out += s.substr(start, at - start) + to;
      start = at + from.size();
    }
    s = out + s.substr(start);
  };
  const char* steps[][2] = {{"&", "&amp;"}, {"<", "&lt;"}, {">", "&gt;"}, {"\"", "&quot;"},
                            {"\r\n", "<br>"}, {"\r", "<br>"}, {"\n", "<br>"}};
  for (const auto& step : steps) replace_all(step[0], step[1]);
  return s;
}

// The one-pass encoder must equal the ordered replacements for every short text (order faults:
// entities escaped twice, "<br>" escaped, CR LF giving two breaks, apostrophe touched).
TEST(HtmlEncodeTest, OnePassEqualsTheSevenReplacements) {
  EXPECT_EQ(HtmlEncode("a<b & \"c\""), "a&lt;b &amp; &quot;c&quot;");
  EXPECT_EQ(HtmlEncode("x\n\ry"), "x<br><br>y");
  const std::string alphabet = "a&<>\"\r\n' ;";
  const int base = static_cast<int>(alphabet.size());
  std::string text;
  for (int length = 0, combinations = 1; length <= 4; ++length, combinations *= base) {
    for (int n = 0; n < combinations; ++n) {
      text.clear();
      for (int i = 0, k = n; i < length; ++i, k /= base) {
        text += alphabet[static_cast<size_t>(k % base)];
      }
      ASSERT_EQ(HtmlEncode(text), SequentialHtmlEncode(text)) << text;
    }
  }
  std::string appended = "pre:";
  HtmlEncodeAppend(appended, "<x>");
  EXPECT_EQ(appended, "pre:&lt;x&gt;");
}

// CR LF counts once, lone CR and LF once each.
TEST(NewlineTest, NormalizeAndSpaces) {
  EXPECT_EQ(NormalizeNewlines("a\r\r\nb"), "a\n\nb");
  EXPECT_EQ(NormalizeNewlines("a\n\rb\r"), "a\n\nb\n");
  EXPECT_EQ(LineBreaksToSpaces("a\r\nb\rc\nd"), "a b c d");
  EXPECT_EQ(LineBreaksToSpaces("a\n\rb"), "a  b");
}

// Files are UTF-8 when they are valid UTF-8 (overlong forms, surrogates and cut sequences are
// not); otherwise the whole file is Windows-1252, including its 0x80-0x9F letters.
TEST(DecodeTextFileBytesTest, Utf8KeptWindows1252Converted) {
  EXPECT_TRUE(IsValidUtf8("città €  𝄞"));
  for (const char* bad : {"citt\xE0", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82"}) {
    EXPECT_FALSE(IsValidUtf8(bad)) << ::testing::PrintToString(bad);
  }
  const std::pair<std::string, std::string> cases[] = {
      {"plain\r\nascii", "plain\r\nascii"},
      {"\xEF\xBB\xBFTITLE=Città", "TITLE=Città"},
      {"citt\xE0 perch\xE9", "città perché"},
      {"\x80\x82\x83\x84\x85\x86\x87\x88\x89\x8A\x8B\x8C\x8E", "€‚ƒ„…†‡ˆ‰Š‹ŒŽ"},
      {"\x91\x92\x93\x94\x95\x96\x97\x98\x99\x9A\x9B\x9C\x9E\x9F", "‘’“”•–—˜™š›œžŸ"},
      {"\x81\x8D\x8F\x90\x9D\xA0\xFF", "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D\xC2\xA0ÿ"},
      // One invalid byte makes the whole file Windows-1252, valid-looking pairs included.
      {"\xC3\xA0 \xE0", "Ã\xC2\xA0 à"},
  };
  for (const auto& [bytes, text] : cases) {
    EXPECT_EQ(DecodeTextFileBytes(bytes), text) << ::testing::PrintToString(bytes);
  }
}

}  // namespace
}  // namespace panorello
