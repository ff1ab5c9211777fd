#pragma once
// The machine's local time zone as a database session is told it.
#include <string>
#include <string_view>

namespace panorello {

struct LocalZone {
  bool known = false;
  // The tz database name ("Europe/Rome"), "" when the zone has none (a POSIX rule in TZ).
  std::string name;
  int offset_seconds = 0;  // east of UTC, now
};

// The zone name that TZ gives (tz: its value, nullptr when unset), or, with TZ unset, the target
// of the /etc/localtime link; "" when neither names a zone of the tz database (zoneinfo: its
// folder, where a name must be a file).
std::string LocalZoneName(const char* tz, std::string_view localtime_target,
                          const std::string& zoneinfo = "/usr/share/zoneinfo");

// The process's own zone: LocalZoneName of its TZ and /etc/localtime, and the offset of now.
LocalZone SystemLocalZone();

// The offset as "+HH:MM" (seconds are dropped).
std::string OffsetText(int offset_seconds);

}  // namespace panorello
