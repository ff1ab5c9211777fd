#pragma once
// The text rules of the system. Every function here is independent of the process locale.
#include <cstdint>
#include <string>
#include <string_view>

namespace panorello {

// Removes leading and trailing space characters (U+0020) only; tabs and line breaks stay.
std::string Trim(std::string_view s);

// A space or a tab.
bool IsSpaceOrTab(char c);

// s without the spaces and tabs at either end.
std::string_view TrimSpacesAndTabs(std::string_view s);

// True when s holds nothing but spaces, tabs and line breaks (or nothing at all).
bool IsBlankText(std::string_view s);

// s with its ASCII capitals made small; every other byte stays (driver names and messages).
std::string AsciiLowerCase(std::string_view s);

// Equality and prefix of texts with ASCII letters compared without case (other bytes as they are).
bool EqualsAsciiNoCase(std::string_view a, std::string_view b);
bool StartsWithAsciiNoCase(std::string_view s, std::string_view prefix);

// True when part occurs anywhere in text.
bool Contains(std::string_view text, std::string_view part);

// Upper/lower case of UTF-8 text, byte length unchanged: ASCII letters and the letters written
// with two bytes whose partner has two bytes too (Latin-1, Latin Extended-A, Greek, Cyrillic:
// à -> À, ÿ -> Ÿ, š -> Š, ά -> Ά, µ -> Μ, ѡ -> Ѡ; ß, ı and ſ stay, their partners being longer
// or ASCII). Positions in the result index the original.
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);

// The number at the start of a text: spaces, tabs and LF are ignored anywhere; optional sign,
// digits, "." and more digits, optional exponent (E or D, sign, digits); &H and &O prefixes read
// hexadecimal and octal integers. 0 when no digit is read. Never throws; an exponent that
// overflows gives +/- infinity.
double ParseLeadingNumber(std::string_view s);

// Nearest 32-bit integer, an exact half to the even neighbour, clamped to the int32 range;
// NaN gives 0.
int32_t RoundToInt32(double value);

// ParseLeadingNumber followed by RoundToInt32, and whether the value fitted without clamping.
int32_t ParseWholeNumber(std::string_view s, bool* fits = nullptr);

// Decimal digits with a leading "-" when negative.
std::string FormatInt(int64_t value);

// The significant digits of a number (first digit not 0, no trailing zeros) whose first digit has
// the decimal exponent `exponent`, in plain decimal with `separator` as the decimal point:
// "0.00ddd", "ddd00" or "dd.ddd".
void AppendPlainDigits(std::string& out, std::string_view digits, int exponent, char separator);

// The same digits in exponent form: the first digit, the separator and the others if any, then
// exponent_mark, the exponent's sign and at least exponent_width of its digits ("1.5E-07").
void AppendExponentDigits(std::string& out, std::string_view digits, int exponent, char separator,
                          char exponent_mark, int exponent_width);

// Decimal digits of value, zero-padded to at least width digits, after a "-" when negative.
void AppendPadded(std::string& out, int64_t value, int width);

// The seven replacements: & < > " then CR LF, CR, LF -> <br>, in one pass.
std::string HtmlEncode(std::string_view s);
void HtmlEncodeAppend(std::string& out, std::string_view s);

// True when s holds a byte that HtmlEncode replaces.
bool NeedsHtmlEncode(std::string_view s);

// CR LF -> LF, then lone CR -> LF.
std::string NormalizeNewlines(std::string_view s);

// Every CR LF, CR or LF becomes one space (values that must stay on one line of a file).
std::string LineBreaksToSpaces(std::string_view s);

// Bytes of a text file -> UTF-8: a UTF-8 BOM is dropped; valid UTF-8 is kept as it is; anything
// else is decoded as Windows-1252.
std::string DecodeTextFileBytes(std::string_view bytes);

bool IsValidUtf8(std::string_view s);

// Bytes that came from outside (a database value, a column name, a driver's message): themselves
// when they are valid UTF-8; otherwise their Windows-1252 reading, written into storage.
std::string_view Utf8OrWindows1252(std::string_view bytes, std::string& storage);

}  // namespace panorello
