#include "db/postgres/pg_values.h"

#include <charconv>
#include <cmath>

namespace panorello {

namespace {

// Type OIDs of the PostgreSQL catalogue (pg_type.dat); they never change.
enum : unsigned int {
  kBool = 16,
  kBytea = 17,
  kInt8 = 20,
  kInt2 = 21,
  kInt4 = 23,
  kOid = 26,
  kFloat4 = 700,
  kFloat8 = 701,
  kDate = 1082,
  kTime = 1083,
  kTimestamp = 1114,
  kTimestampTz = 1184,
  kTimeTz = 1266,
  kNumeric = 1700,
  kUuid = 2950,
};

bool Number(std::string_view s, size_t at, size_t count, int& out) {
  if (at + count > s.size()) return false;
  int value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    value = value * 10 + (s[i] - '0');
  }
  out = value;
  return true;
}

// "YYYY-MM-DD" at the start of s (DateStyle ISO).
bool ReadDate(std::string_view s, DateTime& v) {
  int year = 0, month = 0, day = 0;
  if (s.size() < 10 || s[4] != '-' || s[7] != '-') return false;
  if (!Number(s, 0, 4, year) || !Number(s, 5, 2, month) || !Number(s, 8, 2, day)) return false;
  v.year = static_cast<int16_t>(year);
  v.month = static_cast<int8_t>(month);
  v.day = static_cast<int8_t>(day);
  return true;
}

// "HH:MM:SS" at s[at]; fractions of a second and a time zone may follow and are left out.
bool ReadTime(std::string_view s, size_t at, DateTime& v) {
  int hour = 0, minute = 0, second = 0;
  if (s.size() < at + 8 || s[at + 2] != ':' || s[at + 5] != ':') return false;
  if (!Number(s, at, 2, hour) || !Number(s, at + 3, 2, minute) || !Number(s, at + 6, 2, second)) {
    return false;
  }
  const std::string_view rest = s.substr(at + 8);
  if (!rest.empty() && rest.front() != '.' && rest.front() != '+' && rest.front() != '-')
    return false;
  if (rest.find(' ') != std::string_view::npos) return false;  // " BC"
  v.hour = static_cast<int8_t>(hour);
  v.minute = static_cast<int8_t>(minute);
  v.second = static_cast<int8_t>(second);
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// bytea in hex output ("\x00ff10").
bool ReadHex(std::string_view s, std::string& bytes) {
  if (s.size() < 2 || s[0] != '\\' || s[1] != 'x' || s.size() % 2 != 0) return false;
  bytes.resize((s.size() - 2) / 2);
  for (size_t i = 2, o = 0; i < s.size(); i += 2, ++o) {
    const int high = HexDigit(s[i]);
    const int low = HexDigit(s[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes[o] = static_cast<char>(high * 16 + low);
  }
  return true;
}

CellView TextCell(std::string_view text) {
  CellView cell;
  cell.type = CellType::Text;
  cell.text = text;
  return cell;
}

}  // namespace

PgKind PgKindOf(unsigned int type_oid) {
  switch (type_oid) {
    case kBool:
      return PgKind::Boolean;
    case kBytea:
      return PgKind::Binary;
    case kInt2:
    case kInt4:
    case kInt8:
    case kOid:
      return PgKind::Integer;
    case kFloat4:
      return PgKind::Single;
    case kFloat8:
      return PgKind::Double;
    case kNumeric:
      return PgKind::Decimal;
    case kUuid:
      return PgKind::Guid;
    case kDate:
      return PgKind::Date;
    case kTime:
    case kTimeTz:
      return PgKind::Time;
    case kTimestamp:
    case kTimestampTz:
      return PgKind::Timestamp;
    default:
      return PgKind::Text;
  }
}

CellView PgCell(PgKind kind, std::string_view text, std::string& bytes) {
  CellView cell;
  const char* end = text.data() + text.size();
  switch (kind) {
    case PgKind::Text:
      return TextCell(text);
    case PgKind::Integer: {
      const auto [at, ec] = std::from_chars(text.data(), end, cell.integer);
      if (ec != std::errc() || at != end) return TextCell(text);
      cell.type = CellType::Integer;
      return cell;
    }
    case PgKind::Boolean:
      cell.type = CellType::Boolean;
      cell.integer = text == "t" ? 1 : 0;
      return cell;
    case PgKind::Single:
    case PgKind::Double: {
      double value = 0;
      const auto [at, ec] = std::from_chars(text.data(), end, value);
      if (ec != std::errc() || at != end || !std::isfinite(value)) return TextCell(text);
      cell.type = kind == PgKind::Single ? CellType::Single : CellType::Double;
      cell.real = kind == PgKind::Single ? static_cast<double>(static_cast<float>(value)) : value;
      return cell;
    }
    case PgKind::Decimal:
      if (text.empty() || text.find_first_not_of("-0123456789.") != std::string_view::npos) {
        return TextCell(text);  // NaN, Infinity
      }
      cell.type = CellType::Decimal;
      cell.text = text;
      return cell;
    case PgKind::Date:
      if (text.size() != 10 || !ReadDate(text, cell.date_time)) return TextCell(text);
      cell.type = CellType::Date;
      return cell;
    case PgKind::Time:
      if (!ReadTime(text, 0, cell.date_time)) return TextCell(text);
      cell.type = CellType::Time;
      return cell;
    case PgKind::Timestamp:
      if (text.size() < 19 || text[10] != ' ' || !ReadDate(text, cell.date_time) ||
          !ReadTime(text, 11, cell.date_time)) {
        return TextCell(text);
      }
      cell.type = CellType::DateTime;
      return cell;
    case PgKind::Binary:
      if (!ReadHex(text, bytes)) return TextCell(text);
      cell.type = CellType::Binary;
      cell.text = bytes;
      return cell;
    case PgKind::Guid:
      bytes.assign(text);
      for (char& c : bytes) c = (c >= 'a' && c <= 'f') ? static_cast<char>(c - 'a' + 'A') : c;
      return TextCell(bytes);
  }
  return TextCell(text);
}

}  // namespace panorello
