#include "db/result_grid.h"

#include <cstring>
#include <limits>
#include <stdexcept>

#include "util/error.h"

namespace panorello {

namespace {

// Date-time fields packed into one 64-bit payload: year in the top 16 bits, then month, day,
// hour, minute and second in 8 bits each.
uint64_t PackDateTime(const DateTimeValue& v) {
  return (static_cast<uint64_t>(static_cast<uint16_t>(v.year)) << 40) |
         (static_cast<uint64_t>(static_cast<uint8_t>(v.month)) << 32) |
         (static_cast<uint64_t>(static_cast<uint8_t>(v.day)) << 24) |
         (static_cast<uint64_t>(static_cast<uint8_t>(v.hour)) << 16) |
         (static_cast<uint64_t>(static_cast<uint8_t>(v.minute)) << 8) |
         static_cast<uint64_t>(static_cast<uint8_t>(v.second));
}

DateTimeValue UnpackDateTime(uint64_t p) {
  DateTimeValue v;
  v.year = static_cast<int16_t>(static_cast<uint16_t>(p >> 40));
  v.month = static_cast<int8_t>(static_cast<uint8_t>(p >> 32));
  v.day = static_cast<int8_t>(static_cast<uint8_t>(p >> 24));
  v.hour = static_cast<int8_t>(static_cast<uint8_t>(p >> 16));
  v.minute = static_cast<int8_t>(static_cast<uint8_t>(p >> 8));
  v.second = static_cast<int8_t>(static_cast<uint8_t>(p));
  return v;
}

}  // namespace

ResultGrid::ResultGrid(std::vector<std::string> column_names) : names_(std::move(column_names)) {}

size_t ResultGrid::Rows() const {
  return names_.empty() ? 0 : types_.size() / names_.size();
}

CellView ResultGrid::At(size_t row, size_t col) const {
  if (col >= names_.size() || row >= Rows()) throw std::out_of_range("ResultGrid::At");
  const size_t index = row * names_.size() + col;
  CellView cell;
  cell.type = types_[index];
  const uint64_t p = payload_[index];
  switch (cell.type) {
    case CellType::Null:
      break;
    case CellType::Integer:
    case CellType::Boolean:
      cell.integer = static_cast<int64_t>(p);
      break;
    case CellType::Double:
    case CellType::Single:
      std::memcpy(&cell.real, &p, sizeof cell.real);
      break;
    case CellType::Decimal:
    case CellType::Text:
    case CellType::Binary: {
      uint32_t length = 0;
      std::memcpy(&length, arena_.data() + p, sizeof length);
      cell.text = std::string_view(arena_.data() + p + sizeof length, length);
      break;
    }
    case CellType::DateTime:
    case CellType::Date:
    case CellType::Time:
      cell.date_time = UnpackDateTime(p);
      break;
  }
  return cell;
}

void ResultGrid::Push(CellType t, uint64_t payload) {
  types_.push_back(t);
  payload_.push_back(payload);
}

uint64_t ResultGrid::Store(std::string_view bytes) {
  if (bytes.size() > std::numeric_limits<uint32_t>::max()) {
    throw Error("Valore troppo grande per una cella (" + std::to_string(bytes.size()) + " byte)");
  }
  const uint64_t offset = arena_.size();
  const uint32_t length = static_cast<uint32_t>(bytes.size());
  char prefix[sizeof length];
  std::memcpy(prefix, &length, sizeof length);
  arena_.append(prefix, sizeof prefix);
  arena_.append(bytes.data(), bytes.size());
  return offset;
}

void ResultGrid::AddNull() { Push(CellType::Null, 0); }
void ResultGrid::AddInteger(int64_t v) { Push(CellType::Integer, static_cast<uint64_t>(v)); }

void ResultGrid::AddDouble(double v) {
  uint64_t bits = 0;
  std::memcpy(&bits, &v, sizeof bits);
  Push(CellType::Double, bits);
}

void ResultGrid::AddSingle(float v) {
  const double widened = v;  // exact
  uint64_t bits = 0;
  std::memcpy(&bits, &widened, sizeof bits);
  Push(CellType::Single, bits);
}

void ResultGrid::AddDecimal(std::string_view digits) { Push(CellType::Decimal, Store(digits)); }
void ResultGrid::AddText(std::string_view utf8) { Push(CellType::Text, Store(utf8)); }
void ResultGrid::AddDateTime(const DateTimeValue& v) { Push(CellType::DateTime, PackDateTime(v)); }
void ResultGrid::AddDate(const DateTimeValue& v) { Push(CellType::Date, PackDateTime(v)); }
void ResultGrid::AddTime(const DateTimeValue& v) { Push(CellType::Time, PackDateTime(v)); }
void ResultGrid::AddBoolean(bool v) { Push(CellType::Boolean, v ? 1 : 0); }
void ResultGrid::AddBinary(std::string_view bytes) { Push(CellType::Binary, Store(bytes)); }

size_t ResultGrid::MemoryBytes() const {
  size_t bytes = sizeof *this + types_.capacity() * sizeof(CellType) +
                 payload_.capacity() * sizeof(uint64_t) + arena_.capacity();
  for (const std::string& name : names_) bytes += sizeof name + name.capacity();
  return bytes;
}

void ResultGrid::Reserve(size_t rows) {
  const size_t cells = rows * names_.size();
  types_.reserve(cells);
  payload_.reserve(cells);
}

static_assert(sizeof(CellType) == 1, "one type byte per cell");

}  // namespace panorello
