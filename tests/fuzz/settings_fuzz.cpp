// The settings reader: config.ini of any content loads, and what it loaded is written and read
// back unchanged.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "fuzz_support.h"
#include "storage/settings.h"
#include "util/files.h"

using panorello::fuzz::Require;

namespace {

// A folder of this process for config.ini (one process runs one input at a time), removed when
// the process ends.
struct ScratchFolder {
  ScratchFolder() {
    char name[] = "/tmp/panorello-fuzz-settings.XXXXXX";
    if (::mkdtemp(name) == nullptr) std::abort();
    path = name;
  }
  ~ScratchFolder() {
    ::unlink((path + "/config.ini").c_str());
    ::rmdir(path.c_str());
  }
  std::string path;
};

const std::string& Folder() {
  static const ScratchFolder folder;
  return folder.path;
}

void WriteConfig(std::string_view bytes) {
  std::ofstream out(Folder() + "/config.ini", std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace panorello;
  WriteConfig(std::string_view(reinterpret_cast<const char*>(data), size));
  const Settings first = LoadSettings(Folder());
  const std::string text = SettingsFileText(first);
  WriteConfig(text);
  const Settings second = LoadSettings(Folder());
  Require(second == first, "settings written and read back are the same", text);
  Require(SettingsFileText(second) == text, "the written file is stable", text);
  return 0;
}
