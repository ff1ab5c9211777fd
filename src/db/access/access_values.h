#pragma once
// How the stored values of an Access (Jet 3/4, ACE) table become SQLite values: the column types,
// and the fixed-size values decoded from their bytes. No I/O, no MDBTools types.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace panorello {

// Column type codes of Jet table definitions (the numbers MDBTools uses).
enum class JetType : int {
  kBoolean = 0x01,
  kByte = 0x02,
  kInteger = 0x03,      // 16 bit
  kLongInteger = 0x04,  // 32 bit
  kCurrency = 0x05,     // 64 bit, scaled by 10000
  kSingle = 0x06,
  kDouble = 0x07,
  kDateTime = 0x08,  // double: days since 1899-12-30, time as the fraction
  kBinary = 0x09,
  kText = 0x0a,
  kOle = 0x0b,
  kMemo = 0x0c,
  kGuid = 0x0f,
  kDecimal = 0x10,  // sign byte + 128-bit magnitude
  kComplex = 0x12,  // attachment / multi-value reference: a 32-bit id
};

// The declared type of the column in the SQLite copy: it makes dates and booleans come back as
// such (DATETIME, BOOLEAN), keeps REAL affinity for money and decimals (an integral amount stays
// a floating value), BLOB for binary data. Unknown codes give BLOB (their values are left NULL).
// Texts compare without regard to letter case, as in Access (COLLATE NOCASE, ASCII letters).
const char* SqliteTypeOfJet(int jet_type);

// What one fixed-size value becomes; texts, memos and binary data are read elsewhere.
struct JetNumber {
  enum class Kind { kInteger, kReal, kText, kNull } kind = Kind::kNull;
  int64_t integer = 0;
  double real = 0;
  std::string text;  // kText: the ISO date-time, or the GUID in braces
};

// Decodes size bytes at data of a fixed-size type (all but text, memo, OLE, binary, boolean).
// scale: decimal places of a kDecimal column. Too few bytes or an unknown type: kNull.
JetNumber DecodeJetFixed(int jet_type, const unsigned char* data, size_t size, int scale);

// "YYYY-MM-DD HH:MM:SS" of a Jet date value, rounded to the second; nullopt outside the years
// 100 to 9999 or for a value that is not finite.
std::optional<std::string> JetDateText(double serial);

}  // namespace panorello
