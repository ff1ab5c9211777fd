#include "util/local_zone.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <fstream>

#include "util/text.h"

namespace panorello {

namespace {

// A name of the tz database: letters, digits and "/_-+", no "..", a file under zoneinfo.
bool IsZoneName(std::string_view name, const std::string& zoneinfo) {
  if (name.empty() || name.front() == '/' || name.find("..") != std::string_view::npos) {
    return false;
  }
  for (const char ch : name) {
    const bool plain = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') ||
                       (ch >= '0' && ch <= '9') || ch == '/' || ch == '_' || ch == '-' || ch == '+';
    if (!plain) return false;
  }
  struct stat st {};
  const std::string path = zoneinfo + "/" + std::string(name);
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The part of a path after ".../zoneinfo/", or the path itself when it has none.
std::string_view AfterZoneinfo(std::string_view path) {
  constexpr std::string_view kFolder = "zoneinfo/";
  const size_t at = path.rfind(kFolder);
  return at == std::string_view::npos ? path : path.substr(at + kFolder.size());
}

std::string FirstLineOf(const char* path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

}  // namespace

std::string LocalZoneName(const char* tz, std::string_view localtime_target,
                          const std::string& zoneinfo) {
  std::string_view candidate;
  if (tz != nullptr) {
    std::string_view value = tz;
    if (value.empty()) return "UTC";  // an empty TZ is UTC for the C library too
    if (value.front() == ':') value.remove_prefix(1);
    candidate = AfterZoneinfo(value);
  } else {
    candidate = AfterZoneinfo(localtime_target);
  }
  return IsZoneName(candidate, zoneinfo) ? std::string(candidate) : std::string();
}

LocalZone SystemLocalZone() {
  LocalZone zone;
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return zone;
  zone.known = true;
  zone.offset_seconds = static_cast<int>(local.tm_gmtoff);
  char target[4096];
  const ssize_t n = ::readlink("/etc/localtime", target, sizeof target - 1);
  std::string link(target, n > 0 ? static_cast<size_t>(n) : 0);
  if (link.empty()) link = FirstLineOf("/etc/timezone");  // a copied file instead of a link
  zone.name = LocalZoneName(std::getenv("TZ"), link);
  return zone;
}

std::string OffsetText(int offset_seconds) {
  std::string out(1, offset_seconds < 0 ? '-' : '+');
  const int minutes = (offset_seconds < 0 ? -offset_seconds : offset_seconds) / 60;
  AppendPadded(out, minutes / 60, 2);
  out += ':';
  AppendPadded(out, minutes % 60, 2);
  return out;
}

}  // namespace panorello
