#include "db/access/access_values.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "util/clock.h"

namespace panorello {

namespace {

// Little-endian integer of n bytes (n <= 8), sign-extended when is_signed.
int64_t LittleEndian(const unsigned char* data, size_t n, bool is_signed) {
  uint64_t v = 0;
  for (size_t i = 0; i < n; ++i) v |= static_cast<uint64_t>(data[i]) << (8 * i);
  if (is_signed && n < 8 && (data[n - 1] & 0x80) != 0) v |= ~uint64_t{0} << (8 * n);
  return static_cast<int64_t>(v);
}

double DoubleOf(const unsigned char* data) {
  const uint64_t bits = static_cast<uint64_t>(LittleEndian(data, 8, false));
  double d = 0;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

float SingleOf(const unsigned char* data) {
  const uint32_t bits = static_cast<uint32_t>(LittleEndian(data, 4, false));
  float f = 0;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

// A decimal: byte 0 holds the sign (0x80 negative), then four 32-bit little-endian words, the
// most significant first.
double DecimalOf(const unsigned char* data, int scale) {
  long double magnitude = 0;
  for (int word = 0; word < 4; ++word) {
    magnitude = magnitude * 4294967296.0L + static_cast<long double>(static_cast<uint64_t>(
                                                LittleEndian(data + 1 + 4 * word, 4, false)));
  }
  for (int i = 0; i < scale && i < 38; ++i) magnitude /= 10;
  const double v = static_cast<double>(magnitude);
  return (data[0] & 0x80) != 0 ? -v : v;
}

std::string GuidText(const unsigned char* b) {
  char out[40];
  std::snprintf(out, sizeof out,
                "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[3],
                b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13],
                b[14], b[15]);
  return out;
}

size_t FixedSize(int jet_type) {
  switch (static_cast<JetType>(jet_type)) {
    case JetType::kByte:
      return 1;
    case JetType::kInteger:
      return 2;
    case JetType::kLongInteger:
    case JetType::kComplex:
    case JetType::kSingle:
      return 4;
    case JetType::kCurrency:
    case JetType::kDouble:
    case JetType::kDateTime:
      return 8;
    case JetType::kGuid:
      return 16;
    case JetType::kDecimal:
      return 17;
    default:
      return 0;
  }
}

}  // namespace

const char* SqliteTypeOfJet(int jet_type) {
  switch (static_cast<JetType>(jet_type)) {
    case JetType::kBoolean:
      return "BOOLEAN";
    case JetType::kByte:
    case JetType::kInteger:
    case JetType::kLongInteger:
    case JetType::kComplex:
      return "INTEGER";
    case JetType::kCurrency:
      return "CURRENCY REAL";
    case JetType::kSingle:
      return "FLOAT";
    case JetType::kDouble:
      return "DOUBLE";
    case JetType::kDecimal:
      return "DECIMAL REAL";
    case JetType::kDateTime:
      return "DATETIME";
    case JetType::kText:
    case JetType::kGuid:
      return "TEXT COLLATE NOCASE";
    case JetType::kMemo:
      return "MEMO TEXT COLLATE NOCASE";
    default:
      return "BLOB";
  }
}

std::optional<std::string> JetDateText(double serial) {
  // Years 100 to 9999, the range of Access dates.
  if (!std::isfinite(serial) || serial < -657435.0 || serial >= 2958466.0) return std::nullopt;
  // The whole part counts days (also below zero); the fraction is the time of that day.
  int64_t days = static_cast<int64_t>(serial);
  int64_t seconds = std::llround(std::fabs(serial - static_cast<double>(days)) * 86400.0);
  if (seconds >= 86400) {
    ++days;
    seconds -= 86400;
  }
  int y = 0, m = 0, d = 0;
  CivilFromDays(days + DaysFromCivil(1899, 12, 30), y, m, d);
  if (y < 100 || y > 9999) return std::nullopt;
  char out[32];
  std::snprintf(out, sizeof out, "%04d-%02d-%02d %02d:%02d:%02d", y, m, d,
                static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                static_cast<int>(seconds % 60));
  return std::string(out);
}

JetNumber DecodeJetFixed(int jet_type, const unsigned char* data, size_t size, int scale) {
  JetNumber out;
  const size_t need = FixedSize(jet_type);
  if (need == 0 || data == nullptr || size < need) return out;
  out.kind = JetNumber::Kind::kInteger;
  switch (static_cast<JetType>(jet_type)) {
    case JetType::kByte:
      out.integer = data[0];
      break;
    case JetType::kInteger:
      out.integer = LittleEndian(data, 2, true);
      break;
    case JetType::kLongInteger:
    case JetType::kComplex:
      out.integer = LittleEndian(data, 4, true);
      break;
    case JetType::kCurrency:
      out.kind = JetNumber::Kind::kReal;
      out.real = static_cast<double>(LittleEndian(data, 8, true)) / 10000.0;
      break;
    case JetType::kSingle:
      out.kind = JetNumber::Kind::kReal;
      out.real = SingleOf(data);
      break;
    case JetType::kDouble:
      out.kind = JetNumber::Kind::kReal;
      out.real = DoubleOf(data);
      break;
    case JetType::kDecimal:
      out.kind = JetNumber::Kind::kReal;
      out.real = DecimalOf(data, scale);
      break;
    case JetType::kDateTime: {
      const std::optional<std::string> text = JetDateText(DoubleOf(data));
      out.kind = text ? JetNumber::Kind::kText : JetNumber::Kind::kNull;
      if (text) out.text = *text;
      break;
    }
    case JetType::kGuid:
      out.kind = JetNumber::Kind::kText;
      out.text = GuidText(data);
      break;
    default:
      out.kind = JetNumber::Kind::kNull;
      break;
  }
  return out;
}

}  // namespace panorello
