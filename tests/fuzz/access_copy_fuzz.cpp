// The Access copier on damaged files: a real JET4 file (scripts/fetch-test-data.sh) cut short or
// changed at the places the input names is copied with the program's own copier (under its
// address-space cap). Whatever the damage, the copy ends within its time limit, no copier is left
// running, nothing but finished copies stays in the cache folder, and a failure names the file as
// damaged.
//   input: byte 0 even: the file cut at the position of bytes 1-3 (a fraction of its size);
//          odd: groups of 4 bytes (position in bytes 0-2 as a fraction, new byte 3) changed.
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "db/access/access_cache.h"
#include "fuzz_support.h"
#include "util/error.h"

using panorello::fuzz::Require;

namespace {

constexpr int kSeconds = 4;

std::string JetFile() {
  FILE* pipe = ::popen("bash " PANORELLO_SOURCE_DIR "/scripts/fetch-test-data.sh 2>/dev/null", "r");
  char line[4096] = {};
  std::string path;
  while (pipe != nullptr && std::fgets(line, sizeof line, pipe) != nullptr) path = line;
  if (pipe != nullptr) ::pclose(pipe);
  while (!path.empty() && path.back() == '\n') path.pop_back();
  return path;
}

struct Fixture {
  std::string original;
  std::string folder;
  std::string copier = PANORELLO_BINARY_DIR "/panorello-access-copy";
};

// Never destroyed: the handler that removes its folder at exit still reads it.
const Fixture& TheFixture() {
  static const Fixture* const fixture = [] {
    auto* f = new Fixture;
    const std::string path = JetFile();
    std::ifstream in(path, std::ios::binary);
    f->original.assign(std::istreambuf_iterator<char>(in), {});
    if (f->original.size() <= 4096 || f->original.size() > (1 << 20)) {
      // As the Access tests do: without the file (no npm, no network) the target is skipped.
      std::fprintf(stderr, "access_copy: file JET4 di prova non disponibile, saltato\n");
      f->original.clear();
      return f;
    }
    char folder[] = "/tmp/panorello-access-fuzz-XXXXXX";
    Require(::mkdtemp(folder) != nullptr, "a temporary folder");
    f->folder = folder;
    std::atexit([] { std::filesystem::remove_all(TheFixture().folder); });
    return f;
  }();
  return *fixture;
}

// Children of this process still running the copier (the fuzzer's own symbolizer may be one of
// its children too).
int CopiersLeft() {
  int left = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    const size_t close = line.rfind(')');
    if (close == std::string::npos || line.find("(panorello-acces") == std::string::npos) continue;
    const std::string after = line.substr(close + 2);  // "S PPID ..."
    if (std::stol(after.substr(2)) == ::getpid()) ++left;
  }
  return left;
}

size_t At(const uint8_t* p, size_t size) {
  return static_cast<size_t>((uint64_t{p[0]} << 16 | uint64_t{p[1]} << 8 | p[2]) * size >> 24);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace panorello;
  if (size < 4) return 0;
  const Fixture& f = TheFixture();
  if (f.original.empty()) return 0;
  std::string damaged = f.original;
  if (data[0] % 2 == 0) {
    damaged.resize(At(data + 1, damaged.size()));
  } else {
    for (size_t i = 1; i + 4 <= size; i += 4) {
      damaged[At(data + i, damaged.size())] = static_cast<char>(data[i + 3]);
    }
  }
  const std::string source = f.folder + "/danneggiato.mdb";
  const std::string cache = f.folder + "/cache";
  std::filesystem::remove_all(cache);
  std::ofstream(source, std::ios::binary | std::ios::trunc) << damaged;
  const auto start = std::chrono::steady_clock::now();
  std::string failure;
  try {
    EnsureAccessCopy(source, cache, f.copier, kSeconds);
  } catch (const Error& e) {
    failure = e.what();
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  Require(seconds < kSeconds + 1.5, "the copy ends within its time limit", failure);
  Require(CopiersLeft() == 0, "no copier is left", failure);
  for (const auto& entry : std::filesystem::directory_iterator(cache)) {
    Require(entry.path().extension() == ".sqlite", "only finished copies stay in the cache",
            entry.path().string());
  }
  if (!failure.empty()) {
    Require(failure.rfind("Il file Access " + source + " è danneggiato o non leggibile: ", 0) == 0,
            "a failure names the file as damaged", failure);
  }
  return 0;
}
