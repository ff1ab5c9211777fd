#include "util/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace panorello {
namespace {

TEST(TrimTest, RemovesOnlySpaces) {
  EXPECT_EQ(Trim("  a b  "), "a b");
  EXPECT_EQ(Trim("\ta\t"), "\ta\t");
  EXPECT_EQ(Trim(" \r\nx\n "), "\r\nx\n");
  EXPECT_EQ(Trim("    "), "");
  EXPECT_EQ(Trim(""), "");
}

struct CaseCase {
  std::string input;
  std::string upper;
  std::string lower;
};

TEST(CaseTest, AsciiAndLatin1LettersKeepTheirLength) {
  const CaseCase cases[] = {
      {"abc XYZ 123", "ABC XYZ 123", "abc xyz 123"},
      {"perché è così", "PERCHÉ È COSÌ", "perché è così"},
      {"ÀÉÌÒÙ àéìòù", "ÀÉÌÒÙ ÀÉÌÒÙ", "àéìòù àéìòù"},
      {"ñÑçÇøØþÞ", "ÑÑÇÇØØÞÞ", "ññççøøþþ"},
      // ß and ÿ have no capital of the same length; × and ÷ are not letters.
      {"ßÿ×÷", "ßÿ×÷", "ßÿ×÷"},
      {"€ ü", "€ Ü", "€ ü"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UpperCase(c.input), c.upper) << c.input;
    EXPECT_EQ(LowerCase(c.input), c.lower) << c.input;
    EXPECT_EQ(UpperCase(c.input).size(), c.input.size());
  }
}

struct NumberCase {
  std::string text;
  double expected;
};

TEST(ParseLeadingNumberTest, DesignedExamplesAndEdges) {
  const NumberCase cases[] = {
      {"30 s", 30},
      {"1 000", 1000},
      {"2,5", 2},
      {"1.5E3", 1500},
      {"abc", 0},
      {"", 0},
      {"   ", 0},
      {"-5", -5},
      {"+7", 7},
      {" - 1 2 . 5 ", -12.5},
      {"\t4\n2", 42},
      {"\r4", 0},  // CR is not ignored
      {".5", 0.5},
      {"5.", 5},
      {"-.25", -0.25},
      {"1.5D2", 150},
      {"1.5d2", 150},
      {"2e-1", 0.2},
      {"2E+2", 200},
      {"3E", 3},
      {"3E+", 3},
      {"3Ex", 3},
      {"1.2.3", 1.2},
      {"--1", 0},
      {"+-1", 0},
      {".", 0},
      {"-", 0},
      {"e5", 0},
      {"007", 7},
      {"0.000123", 0.000123},
      {"123456789012345678901234567890", 1.2345678901234568e29},
      {"0.1", 0.1},
      {"2.5", 2.5},
      {"1abc", 1},
      {"&H1F", 31},
      {"&hff", 255},
      {"&O17", 15},
      {"&o8", 0},
      {"&H", 0},
      {"& H10", 16},
      {"&X10", 0},
      {"1E-400", 0},
      {"4.9406564584124654E-324", 4.9406564584124654e-324},
      {"1.7976931348623157E308", 1.7976931348623157e308},
      {"9007199254740993", 9007199254740992.0},  // rounds to even
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseLeadingNumber(c.text), c.expected) << "text: [" << c.text << "]";
  }
}

TEST(ParseLeadingNumberTest, ExponentOverflowGivesInfinity) {
  EXPECT_EQ(ParseLeadingNumber("1E999"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(ParseLeadingNumber("-1E999"), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(ParseLeadingNumber("1E99999999999999999999"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(ParseLeadingNumber("1.8E308"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(ParseLeadingNumber("0E999"), 0);
  EXPECT_EQ(ParseLeadingNumber("1E-99999999999999999999"), 0);
}

TEST(ParseLeadingNumberTest, ManyDigitsStayExact) {
  std::string long_zeros = "0." + std::string(5000, '0') + "1E5001";
  EXPECT_EQ(ParseLeadingNumber(long_zeros), 1);
  std::string long_digits = "1" + std::string(400, '0');
  EXPECT_EQ(ParseLeadingNumber(long_digits), std::numeric_limits<double>::infinity());
  EXPECT_EQ(ParseLeadingNumber(long_digits + "E-400"), 1);
}

struct RoundCase {
  double value;
  int32_t expected;
};

TEST(RoundToInt32Test, HalfToEvenAndClamps) {
  const double inf = std::numeric_limits<double>::infinity();
  const RoundCase cases[] = {
      {2.5, 2},
      {3.5, 4},
      {-2.5, -2},
      {-3.5, -4},
      {0.5, 0},
      {1.5, 2},
      {2.4999, 2},
      {2.5001, 3},
      {-0.4, 0},
      {-0.6, -1},
      {2147483646.5, 2147483646},
      {2147483647.0, 2147483647},
      {2147483647.4, 2147483647},
      {2147483647.5, 2147483647},
      {99999999999.0, 2147483647},
      {-2147483648.0, -2147483648},
      {-2147483648.5, -2147483648},
      {-99999999999.0, -2147483648},
      {inf, 2147483647},
      {-inf, -2147483648},
      {std::nan(""), 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RoundToInt32(c.value), c.expected) << c.value;
  }
}

TEST(ParseWholeNumberTest, ReportsWhetherTheValueFitted) {
  struct Case {
    std::string text;
    int32_t expected;
    bool fits;
  };
  const Case cases[] = {
      {"2.5", 2, true},
      {"30 s", 30, true},
      {"2147483647", 2147483647, true},
      {"2147483647.5", 2147483647, false},
      {"2147483648", 2147483647, false},
      {"-2147483648", -2147483648, true},
      {"-2147483648.5", -2147483648, true},
      {"-2147483649", -2147483648, false},
      {"1E999", 2147483647, false},
      {"99999999999", 2147483647, false},
      {"abc", 0, true},
  };
  for (const auto& c : cases) {
    bool fits = !c.fits;
    EXPECT_EQ(ParseWholeNumber(c.text, &fits), c.expected) << c.text;
    EXPECT_EQ(fits, c.fits) << c.text;
  }
  EXPECT_EQ(ParseWholeNumber("12"), 12);
}

TEST(FormatIntTest, Digits) {
  EXPECT_EQ(FormatInt(0), "0");
  EXPECT_EQ(FormatInt(-5), "-5");
  EXPECT_EQ(FormatInt(2147483647), "2147483647");
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
  replace_all("&", "&amp;");
  replace_all("<", "&lt;");
  replace_all(">", "&gt;");
  replace_all("\"", "&quot;");
  replace_all("\r\n", "<br>");
  replace_all("\r", "<br>");
  replace_all("\n", "<br>");
  return s;
}

TEST(HtmlEncodeTest, DesignedExamples) {
  EXPECT_EQ(HtmlEncode("a<b & \"c\""), "a&lt;b &amp; &quot;c&quot;");
  EXPECT_EQ(HtmlEncode("&lt;"), "&amp;lt;");
  EXPECT_EQ(HtmlEncode("x\r\ny"), "x<br>y");
  EXPECT_EQ(HtmlEncode("x\n\ry"), "x<br><br>y");
  EXPECT_EQ(HtmlEncode("it's"), "it's");
  EXPECT_EQ(HtmlEncode(""), "");
}

TEST(HtmlEncodeTest, OnePassEqualsTheSevenReplacements) {
  const std::string alphabet = "a&<>\"\r\n' ;";
  // Every text of up to four characters over the alphabet.
  std::string text;
  for (int length = 0; length <= 4; ++length) {
    int combinations = 1;
    for (int i = 0; i < length; ++i) combinations *= static_cast<int>(alphabet.size());
    for (int n = 0; n < combinations; ++n) {
      text.clear();
      for (int i = 0, k = n; i < length; ++i, k /= static_cast<int>(alphabet.size())) {
        text += alphabet[static_cast<size_t>(k) % alphabet.size()];
      }
      ASSERT_EQ(HtmlEncode(text), SequentialHtmlEncode(text)) << text;
    }
  }
  std::string appended = "pre:";
  HtmlEncodeAppend(appended, "<x>");
  EXPECT_EQ(appended, "pre:&lt;x&gt;");
}

TEST(NewlineTest, NormalizeAndSpaces) {
  EXPECT_EQ(NormalizeNewlines("a\r\r\nb"), "a\n\nb");
  EXPECT_EQ(NormalizeNewlines("a\n\rb\r"), "a\n\nb\n");
  EXPECT_EQ(NormalizeNewlines("plain"), "plain");
  EXPECT_EQ(LineBreaksToSpaces("a\r\nb\rc\nd"), "a b c d");
  EXPECT_EQ(LineBreaksToSpaces("a\n\rb"), "a  b");
}

TEST(Utf8Test, Validity) {
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_TRUE(IsValidUtf8("città €  𝄞"));
  EXPECT_FALSE(IsValidUtf8("citt\xE0"));          // Latin-1 à
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // beyond U+10FFFF
  EXPECT_FALSE(IsValidUtf8("\xE2\x82"));          // cut short
  EXPECT_FALSE(IsValidUtf8("\x80"));
}

struct DecodeCase {
  std::string bytes;
  std::string text;
};

TEST(DecodeTextFileBytesTest, Utf8KeptWindows1252Converted) {
  const DecodeCase cases[] = {
      {"plain\r\nascii", "plain\r\nascii"},
      {"\xEF\xBB\xBFTITLE=Città", "TITLE=Città"},
      {"citt\xE0 perch\xE9", "città perché"},
      {"\x80 \x82\x83\x84\x85\x86\x87\x88\x89\x8A\x8B\x8C\x8E",
       "€ ‚ƒ„…†‡ˆ‰Š‹ŒŽ"},
      {"\x91\x92\x93\x94\x95\x96\x97\x98\x99\x9A\x9B\x9C\x9E\x9F", "‘’“”•–—˜™š›œžŸ"},
      {"\x81\x8D\x8F\x90\x9D", "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"},
      {"\xA0\xFF", "\xC2\xA0ÿ"},
      // One invalid byte makes the whole file Windows-1252, valid-looking pairs included.
      {"\xC3\xA0 \xE0", "Ã\xC2\xA0 à"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecodeTextFileBytes(c.bytes), c.text) << c.bytes;
    EXPECT_TRUE(IsValidUtf8(DecodeTextFileBytes(c.bytes)));
  }
}

}  // namespace
}  // namespace panorello
