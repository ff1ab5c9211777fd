// The command line: arguments (NUL-separated in the input) joined, the /DASH= name, /DEMO and
// the help switches.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "app/startup.h"
#include "fuzz_support.h"
#include "util/text.h"

using panorello::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace panorello;
  const std::vector<std::string> args =
      fuzz::SplitAtNul(std::string_view(reinterpret_cast<const char*>(data), size));
  const std::string line = JoinCommandLine(args);
  size_t total = args.size() - 1;
  for (const std::string& a : args) total += a.size();
  Require(line.size() == total, "the joined line holds every argument and one space between");
  const std::string trimmed = Trim(line);
  const std::string name = ParseDashArgument(trimmed);
  Require(name.find(' ') == std::string::npos, "a dashboard name holds no space", name);
  Require(trimmed.find(name) != std::string::npos, "the dashboard name is a piece of the line");
  if (!name.empty()) {
    // Written alone, the name is read back (without the quotes that the switch strips).
    const std::string again = ParseDashArgument("/dash=" + name);
    Require(again == name || (name.size() >= 2 && name.front() == '"' && name.back() == '"') ||
                again == Trim(name),
            "the name written after /DASH= is read back", name);
  }
  (void)HasDemoArgument(UpperCase(trimmed));
  (void)WantsHelp(args);
  return 0;
}
