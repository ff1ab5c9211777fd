#include <charconv>
#include <cmath>
#include <limits>

#include "util/text.h"

// The number rules of the text toolbox (declared in util/text.h): reading numbers out of texts,
// rounding, and the digit layouts shared by cell texts and SVG coordinates.

namespace panorello {

namespace {

bool IsIgnoredInNumber(char c) { return c == ' ' || c == '\t' || c == '\n'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reads "&H..." or "&O..." digits (the prefix already consumed) as a non-negative integer.
double ParseRadixInteger(std::string_view s, int radix) {
  double value = 0;
  for (char c : s) {
    int digit = HexDigitValue(c);
    if (digit < 0 || digit >= radix) break;
    value = value * radix + digit;
  }
  return value;
}

// Decimal significand digits (no leading zeros) times ten to the power exponent, correctly
// rounded, independent of the process locale.
double DecimalToDouble(const std::string& digits, int64_t exponent, bool negative) {
  if (digits.empty()) return 0.0;
  // Decimal exponent of the leading digit: beyond these limits the value is certainly out of
  // range, and the text given to from_chars stays short.
  int64_t leading = exponent + static_cast<int64_t>(digits.size());
  if (leading > 400)
    return negative ? -std::numeric_limits<double>::infinity()
                    : std::numeric_limits<double>::infinity();
  if (leading < -400) return negative ? -0.0 : 0.0;
  std::string text = digits;
  text += 'e';
  char buffer[32];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, exponent);
  (void)ec;
  text.append(buffer, end);
  double value = 0;
  auto result =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::scientific);
  if (result.ec == std::errc::result_out_of_range) {
    value = leading > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return negative ? -value : value;
}

}  // namespace

double ParseLeadingNumber(std::string_view s) {
  // Spaces, tabs and line feeds do not count wherever they stand.
  std::string t;
  t.reserve(s.size());
  for (char c : s) {
    if (!IsIgnoredInNumber(c)) t += c;
  }
  size_t i = 0;
  if (t.size() >= 2 && t[0] == '&') {
    if (t[1] == 'H' || t[1] == 'h') return ParseRadixInteger(std::string_view(t).substr(2), 16);
    if (t[1] == 'O' || t[1] == 'o') return ParseRadixInteger(std::string_view(t).substr(2), 8);
  }
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
    negative = t[i] == '-';
    ++i;
  }
  std::string digits;  // significant digits, leading zeros dropped
  int64_t exponent = 0;
  bool any_digit = false;
  for (; i < t.size() && IsDigit(t[i]); ++i) {
    any_digit = true;
    if (digits.empty() && t[i] == '0') continue;
    digits += t[i];
  }
  if (i < t.size() && t[i] == '.') {
    ++i;
    for (; i < t.size() && IsDigit(t[i]); ++i) {
      any_digit = true;
      if (digits.empty() && t[i] == '0') {
        --exponent;
        continue;
      }
      digits += t[i];
      --exponent;
    }
  }
  if (!any_digit) return 0.0;
  if (i < t.size() && (t[i] == 'E' || t[i] == 'e' || t[i] == 'D' || t[i] == 'd')) {
    ++i;
    bool exponent_negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
      exponent_negative = t[i] == '-';
      ++i;
    }
    int64_t written = 0;
    for (; i < t.size() && IsDigit(t[i]); ++i) {
      // Saturate: anything this large is out of the double range either way.
      if (written < 100000000) written = written * 10 + (t[i] - '0');
    }
    exponent += exponent_negative ? -written : written;
  }
  if (digits.empty()) return 0.0;
  // Trailing zeros carry no information; dropping them keeps the text short.
  size_t last = digits.find_last_not_of('0');
  exponent += static_cast<int64_t>(digits.size() - (last + 1));
  digits.resize(last + 1);
  return DecimalToDouble(digits, exponent, negative);
}

int32_t RoundToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  double floor_value = std::floor(value);
  double fraction = value - floor_value;  // exact for this range
  double result = floor_value;
  if (fraction > 0.5) {
    result = floor_value + 1;
  } else if (fraction == 0.5) {
    result = std::fmod(floor_value, 2.0) == 0.0 ? floor_value : floor_value + 1;
  }
  if (result > 2147483647.0) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(result);
}

int32_t ParseWholeNumber(std::string_view s, bool* fits) {
  double value = ParseLeadingNumber(s);
  if (fits != nullptr) {
    // 2147483647.5 rounds to the even 2147483648 (too large); -2147483648.5 to -2147483648.
    *fits = !std::isnan(value) && value < 2147483647.5 && value >= -2147483648.5;
  }
  return RoundToInt32(value);
}

std::string FormatInt(int64_t value) {
  char buffer[24];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  (void)ec;
  return std::string(buffer, end);
}

void AppendPadded(std::string& out, int64_t value, int width) {
  if (width == 2 && value >= 0 && value < 100) {  // the fields of dates and times
    const char two[2] = {static_cast<char>('0' + value / 10), static_cast<char>('0' + value % 10)};
    out.append(two, 2);
    return;
  }
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  const char* digits = buffer;
  if (*digits == '-') {
    out.push_back('-');
    ++digits;
  }
  const auto count = static_cast<size_t>(result.ptr - digits);
  if (count < static_cast<size_t>(width)) out.append(static_cast<size_t>(width) - count, '0');
  out.append(digits, count);
}

void AppendPlainDigits(std::string& out, std::string_view digits, int exponent, char separator) {
  if (exponent < 0) {
    out.push_back('0');
    out.push_back(separator);
    out.append(static_cast<size_t>(-exponent - 1), '0');
    out.append(digits);
    return;
  }
  const size_t int_digits = static_cast<size_t>(exponent) + 1;
  if (digits.size() <= int_digits) {
    out.append(digits);
    out.append(int_digits - digits.size(), '0');
  } else {
    out.append(digits.substr(0, int_digits));
    out.push_back(separator);
    out.append(digits.substr(int_digits));
  }
}

void AppendExponentDigits(std::string& out, std::string_view digits, int exponent, char separator,
                          char exponent_mark, int exponent_width) {
  out.push_back(digits[0]);
  if (digits.size() > 1) {
    out.push_back(separator);
    out.append(digits.substr(1));
  }
  out.push_back(exponent_mark);
  out.push_back(exponent < 0 ? '-' : '+');
  AppendPadded(out, exponent < 0 ? -static_cast<int64_t>(exponent) : exponent, exponent_width);
}

}  // namespace panorello
