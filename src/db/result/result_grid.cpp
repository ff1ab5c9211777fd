#include "db/result/result_grid.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "util/error.h"

namespace panorello {

namespace {

// Date-time fields packed into one 64-bit payload: year in the top 16 bits, then month, day,
// hour, minute and second in 8 bits each.
uint64_t PackDateTime(const DateTime& v) {
  return (static_cast<uint64_t>(static_cast<uint16_t>(v.year)) << 40) |
         (static_cast<uint64_t>(static_cast<uint8_t>(v.month)) << 32) |
         (static_cast<uint64_t>(static_cast<uint8_t>(v.day)) << 24) |
         (static_cast<uint64_t>(static_cast<uint8_t>(v.hour)) << 16) |
         (static_cast<uint64_t>(static_cast<uint8_t>(v.minute)) << 8) |
         static_cast<uint64_t>(static_cast<uint8_t>(v.second));
}

DateTime UnpackDateTime(uint64_t p) {
  DateTime v;
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

ResultGrid::ResultGrid(const ResultGrid& other) : names_(other.names_), cells_(other.cells_) {
  for (const Block& b : other.blocks_) {
    Block copy{std::make_unique_for_overwrite<CellType[]>(kBlockCells),
               std::make_unique_for_overwrite<uint64_t[]>(kBlockCells)};
    std::memcpy(copy.types.get(), b.types.get(), kBlockCells * sizeof(CellType));
    std::memcpy(copy.payload.get(), b.payload.get(), kBlockCells * sizeof(uint64_t));
    blocks_.push_back(std::move(copy));
  }
  for (const Chunk& c : other.chunks_) {
    Chunk copy{std::make_unique_for_overwrite<char[]>(c.size), c.size, c.used};
    std::memcpy(copy.bytes.get(), c.bytes.get(), c.used);
    chunks_.push_back(std::move(copy));
  }
}

ResultGrid& ResultGrid::operator=(const ResultGrid& other) {
  if (this != &other) *this = ResultGrid(other);
  return *this;
}

size_t ResultGrid::Rows() const { return names_.empty() ? 0 : cells_ / names_.size(); }

CellView ResultGrid::At(size_t row, size_t col) const {
  if (col >= names_.size() || row >= Rows()) throw std::out_of_range("ResultGrid::At");
  const size_t index = row * names_.size() + col;
  const Block& block = blocks_[index / kBlockCells];
  CellView cell;
  cell.type = block.types[index % kBlockCells];
  const uint64_t p = block.payload[index % kBlockCells];
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
      const char* at = chunks_[p >> 32].bytes.get() + (p & 0xFFFFFFFFu);
      uint32_t length = 0;
      std::memcpy(&length, at, sizeof length);
      cell.text = std::string_view(at + sizeof length, length);
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
  const size_t slot = cells_ % kBlockCells;
  if (slot == 0 && cells_ / kBlockCells == blocks_.size()) {
    blocks_.push_back(Block{std::make_unique_for_overwrite<CellType[]>(kBlockCells),
                            std::make_unique_for_overwrite<uint64_t[]>(kBlockCells)});
  }
  Block& block = blocks_[cells_ / kBlockCells];
  block.types[slot] = t;
  block.payload[slot] = payload;
  ++cells_;
}

uint64_t ResultGrid::Store(std::string_view bytes) {
  const uint32_t length = static_cast<uint32_t>(bytes.size());
  const size_t need = sizeof length + bytes.size();
  if (bytes.size() > std::numeric_limits<uint32_t>::max() - sizeof length) {
    throw Error("Valore troppo grande per una cella (" + std::to_string(bytes.size()) + " byte)");
  }
  if (chunks_.empty() || chunks_.back().size - chunks_.back().used < need) {
    const size_t size = std::max(kChunkBytes, need);
    chunks_.push_back(Chunk{std::make_unique_for_overwrite<char[]>(size), size, 0});
  }
  Chunk& chunk = chunks_.back();
  const uint64_t where = (static_cast<uint64_t>(chunks_.size() - 1) << 32) | chunk.used;
  std::memcpy(chunk.bytes.get() + chunk.used, &length, sizeof length);
  if (!bytes.empty())
    std::memcpy(chunk.bytes.get() + chunk.used + sizeof length, bytes.data(), bytes.size());
  chunk.used += need;
  return where;
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
void ResultGrid::AddDateTime(const DateTime& v) { Push(CellType::DateTime, PackDateTime(v)); }
void ResultGrid::AddDate(const DateTime& v) { Push(CellType::Date, PackDateTime(v)); }
void ResultGrid::AddTime(const DateTime& v) { Push(CellType::Time, PackDateTime(v)); }
void ResultGrid::AddBoolean(bool v) { Push(CellType::Boolean, v ? 1 : 0); }
void ResultGrid::AddBinary(std::string_view bytes) { Push(CellType::Binary, Store(bytes)); }

void ResultGrid::Add(const CellView& cell) {
  switch (cell.type) {
    case CellType::Null:
      AddNull();
      return;
    case CellType::Integer:
      AddInteger(cell.integer);
      return;
    case CellType::Double:
      AddDouble(cell.real);
      return;
    case CellType::Single:
      AddSingle(static_cast<float>(cell.real));
      return;
    case CellType::Decimal:
      AddDecimal(cell.text);
      return;
    case CellType::Text:
      AddText(cell.text);
      return;
    case CellType::DateTime:
      AddDateTime(cell.date_time);
      return;
    case CellType::Date:
      AddDate(cell.date_time);
      return;
    case CellType::Time:
      AddTime(cell.date_time);
      return;
    case CellType::Boolean:
      AddBoolean(cell.integer != 0);
      return;
    case CellType::Binary:
      AddBinary(cell.text);
      return;
  }
}

size_t ResultGrid::MemoryBytes() const {
  size_t bytes = sizeof *this + blocks_.capacity() * sizeof(Block) +
                 blocks_.size() * kBlockCells * (sizeof(CellType) + sizeof(uint64_t)) +
                 chunks_.capacity() * sizeof(Chunk);
  for (const Chunk& c : chunks_) bytes += c.size;
  for (const std::string& name : names_) bytes += sizeof name + name.capacity();
  return bytes;
}

static_assert(sizeof(CellType) == 1, "one type byte per cell");

}  // namespace panorello
