#include "db/result/date_text.h"

#include <optional>

#include "db/sqlite/sqlite_values.h"

namespace panorello {

namespace {

// A time-zone offset after a time of day (" +01:00", "+01", "-0530") comes off.
std::string_view WithoutZone(std::string_view text) {
  size_t i = text.size();
  while (i > 0 && ((text[i - 1] >= '0' && text[i - 1] <= '9') || text[i - 1] == ':')) --i;
  const size_t digits = text.size() - i;
  if (i == 0 || digits < 2 || digits > 5 || (text[i - 1] != '+' && text[i - 1] != '-')) return text;
  size_t end = i - 1;
  if (end > 0 && text[end - 1] == ' ') --end;
  const std::string_view rest = text.substr(0, end);
  return rest.find(':') == std::string_view::npos ? text : rest;
}

}  // namespace

CellView DateTimeTextView(std::string_view text) {
  CellView cell;
  std::optional<IsoValue> iso = ParseIsoDateTime(text);
  if (!iso) {
    const std::string_view bare = WithoutZone(text);
    if (bare.size() != text.size()) iso = ParseIsoDateTime(bare);
  }
  if (iso) {
    cell.type = iso->type;
    cell.date_time = iso->value;
  } else {
    cell.type = CellType::Text;
    cell.text = text;
  }
  return cell;
}

}  // namespace panorello
