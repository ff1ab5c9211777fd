// The text of a cell and the numeric rule. Nothing here depends on the process locale: numbers
// go through std::to_chars / std::from_chars and the separator comes from RegionalSettings.
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "db/result/result_grid.h"
#include "util/text.h"

namespace panorello {

namespace {

void AppendInt(std::string& out, int64_t v) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, v);
  out.append(buffer, result.ptr);
}

// The significant digits of a finite, non-zero v (at most `digits` of them, no trailing zeros)
// and the decimal exponent of the first one.
struct SignificantDigits {
  char digits[40];
  size_t count = 0;
  int exponent = 0;
};

SignificantDigits SignificantDigitsOf(double v, int digits) {
  SignificantDigits s;
  char buffer[64];
  const char* end = buffer;
  if (digits == 15 && std::fabs(v) >= std::numeric_limits<double>::min()) {
    end = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::scientific).ptr;
  }
  // buffer: [-]d[.ddd]e(+|-)XX
  const char* p = buffer;
  for (int attempt = 0; attempt < 2; ++attempt) {
    s.count = 0;
    p = buffer;
    if (end != buffer) {
      if (*p == '-') ++p;
      for (; p < end && *p != 'e'; ++p) {
        if (*p != '.' && s.count < sizeof s.digits) s.digits[s.count++] = *p;
      }
      if (s.count <= static_cast<size_t>(digits)) break;
    }
    end =
        std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::scientific, digits - 1)
            .ptr;
  }
  while (s.count > 1 && s.digits[s.count - 1] == '0') --s.count;
  ++p;  // 'e'
  const bool negative_exponent = *p == '-';
  ++p;
  for (; p < end; ++p) s.exponent = s.exponent * 10 + (*p - '0');
  if (negative_exponent) s.exponent = -s.exponent;
  return s;
}

// A floating-point value with at most `digits` significant digits, the way the classic default
// conversion writes it (the rule of printf's %G without trailing zeros): plain decimal while the
// decimal exponent e of the rounded value satisfies -5 < e < digits, otherwise mantissa, "E", sign
// and at least two exponent digits ("1E+15", "1.5E-07"). So with 15 digits 100000000000000 stays
// plain and 1E+15 switches to the exponent form; 0.0001 stays plain and 0.00001 gives "1E-05".
//
// The shortest round-trip digits of a double are its value rounded to 15 digits whenever there
// are at most 15 of them: the double lies within half an ulp (relative 2^-53) of them, less than
// half a unit of the 15th digit (relative at least 5E-16). Subnormal values have fewer bits, and
// longer digit strings need the (slower) conversion with a fixed precision.
void AppendFloating(std::string& out, double v, int digits, char separator) {
  if (std::isnan(v)) {
    out += "NaN";
    return;
  }
  if (std::isinf(v)) {
    out += v < 0 ? "-Infinity" : "Infinity";
    return;
  }
  if (v == 0) {  // also -0
    out.push_back('0');
    return;
  }
  const SignificantDigits s = SignificantDigitsOf(v, digits);
  if (v < 0) out.push_back('-');
  const std::string_view significant(s.digits, s.count);
  if (s.exponent < -5 + 1 || s.exponent >= digits) {
    AppendExponentDigits(out, significant, s.exponent, separator, 'E', 2);
  } else {
    AppendPlainDigits(out, significant, s.exponent, separator);
  }
}

// Exact decimal digits as the database gave them ("-123.4500", ".5", "+7"): sign kept only for
// a non-zero value, a leading zero before a bare separator, no trailing fractional zeros.
void AppendDecimal(std::string& out, std::string_view digits, char separator) {
  bool negative = false;
  if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  std::string_view integer = digits;
  std::string_view fraction;
  if (const size_t dot = digits.find('.'); dot != std::string_view::npos) {
    integer = digits.substr(0, dot);
    fraction = digits.substr(dot + 1);
  }
  while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
  while (integer.size() > 1 && integer.front() == '0') integer.remove_prefix(1);
  if (integer.empty()) integer = "0";
  const bool zero = integer == "0" && fraction.empty();
  if (negative && !zero) out.push_back('-');
  out += integer;
  if (!fraction.empty()) {
    out.push_back(separator);
    out += fraction;
  }
}

void AppendDate(std::string& out, const DateTime& v, const std::string& pattern) {
  for (size_t i = 0; i < pattern.size();) {
    const char ch = pattern[i];
    if (ch != 'y' && ch != 'd' && ch != 'm') {
      out.push_back(ch);
      ++i;
    } else if (pattern.compare(i, 4, "yyyy") == 0) {
      AppendPadded(out, v.year, 4);
      i += 4;
    } else if (pattern.compare(i, 2, "dd") == 0) {
      AppendPadded(out, v.day, 2);
      i += 2;
    } else if (pattern.compare(i, 2, "mm") == 0) {
      AppendPadded(out, v.month, 2);
      i += 2;
    } else {
      out.push_back(pattern[i]);
      ++i;
    }
  }
}

void AppendTime(std::string& out, const DateTime& v) {
  AppendPadded(out, v.hour, 2);
  out.push_back(':');
  AppendPadded(out, v.minute, 2);
  out.push_back(':');
  AppendPadded(out, v.second, 2);
}

// Plain decimal with the regional separator, optional sign and exponent, blanks around it.
bool ParseNumericText(std::string_view text, char separator, double* value) {
  text = TrimSpacesAndTabs(text);
  std::string normal;
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') normal.push_back('-');
    ++i;
  }
  size_t mantissa_digits = 0;
  bool seen_separator = false;
  for (; i < text.size(); ++i) {
    const char ch = text[i];
    if (ch >= '0' && ch <= '9') {
      normal.push_back(ch);
      ++mantissa_digits;
    } else if (ch == separator && !seen_separator) {
      normal.push_back('.');
      seen_separator = true;
    } else {
      break;
    }
  }
  if (mantissa_digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    normal.push_back('e');
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) normal.push_back(text[i++]);
    size_t exp_digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++exp_digits) {
      normal.push_back(text[i]);
    }
    if (exp_digits == 0) return false;
  }
  if (i != text.size()) return false;
  double parsed = 0;
  const auto result = std::from_chars(normal.data(), normal.data() + normal.size(), parsed);
  if (result.ec != std::errc() || result.ptr != normal.data() + normal.size()) return false;
  if (!std::isfinite(parsed)) return false;
  if (value != nullptr) *value = parsed;
  return true;
}

}  // namespace

void AppendCellText(std::string& out, const CellView& cell, const RegionalSettings& regional) {
  switch (cell.type) {
    case CellType::Null:
      break;
    case CellType::Integer:
      AppendInt(out, cell.integer);
      break;
    case CellType::Double:
      AppendFloating(out, cell.real, 15, regional.decimal_separator);
      break;
    case CellType::Single:
      AppendFloating(out, cell.real, 7, regional.decimal_separator);
      break;
    case CellType::Decimal:
      AppendDecimal(out, cell.text, regional.decimal_separator);
      break;
    case CellType::Text:
      out.append(cell.text);
      break;
    case CellType::DateTime: {
      const DateTime& v = cell.date_time;
      AppendDate(out, v, regional.short_date);
      if (v.hour != 0 || v.minute != 0 || v.second != 0) {
        out.push_back(' ');
        AppendTime(out, v);
      }
      break;
    }
    case CellType::Date:
      AppendDate(out, cell.date_time, regional.short_date);
      break;
    case CellType::Time:
      AppendTime(out, cell.date_time);
      break;
    case CellType::Boolean:
      out += cell.integer != 0 ? "True" : "False";
      break;
    case CellType::Binary: {
      static constexpr char kHex[] = "0123456789ABCDEF";
      out.reserve(out.size() + cell.text.size() * 2);
      for (unsigned char byte : cell.text) {
        out.push_back(kHex[byte >> 4]);
        out.push_back(kHex[byte & 0x0F]);
      }
      break;
    }
  }
}

std::string CellText(const CellView& cell, const RegionalSettings& regional) {
  std::string out;
  AppendCellText(out, cell, regional);
  return out;
}

bool IsNumericCell(const CellView& cell, const RegionalSettings& regional, double* value) {
  switch (cell.type) {
    case CellType::Integer:
      if (value != nullptr) *value = static_cast<double>(cell.integer);
      return true;
    case CellType::Double:
    case CellType::Single:
      if (!std::isfinite(cell.real)) return false;
      if (value != nullptr) *value = cell.real;
      return true;
    case CellType::Decimal:
      // Digits as the database gave them, always with ".".
      return ParseNumericText(cell.text, '.', value);
    case CellType::Text:
      return ParseNumericText(cell.text, regional.decimal_separator, value);
    case CellType::Null:
    case CellType::DateTime:
    case CellType::Date:
    case CellType::Time:
    case CellType::Boolean:
    case CellType::Binary:
      return false;
  }
  return false;
}

}  // namespace panorello
