#include "app/command_line.h"

#include "util/text.h"

namespace panorello {

std::string JoinCommandLine(const std::vector<std::string>& args) {
  std::string out;
  for (size_t i = 0; i < args.size(); ++i) {
    if (i > 0) out += ' ';
    out += args[i];
  }
  return out;
}

std::string ParseDashArgument(const std::string& s) {
  static constexpr std::string_view kSwitch = "/DASH=";
  const std::string upper = UpperCase(s);  // same length: a position in it indexes s
  const size_t at = upper.find(kSwitch);
  if (at == std::string::npos) return std::string();
  std::string_view rest = std::string_view(s).substr(at + kSwitch.size());
  const size_t space = rest.find(' ');
  if (space != std::string_view::npos) rest = rest.substr(0, space);
  std::string name = Trim(rest);
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
    name = name.substr(1, name.size() - 2);
  }
  return name;
}

}  // namespace panorello
