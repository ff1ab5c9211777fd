#pragma once
// Local date and time, and the clock that gives it (injectable so tests run at fixed times).
#include <cstdint>
#include <string>
#include <utility>

#include "util/local_zone.h"

namespace panorello {

struct DateTime {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  friend bool operator==(const DateTime&, const DateTime&) = default;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual DateTime Now() const = 0;  // local time
  // The zone of Now(), as database sessions are told it; unknown: they keep the server's.
  virtual LocalZone Zone() const { return {}; }
};

class SystemClock final : public Clock {
 public:
  DateTime Now() const override;
  LocalZone Zone() const override { return SystemLocalZone(); }
};

class FixedClock final : public Clock {
 public:
  explicit FixedClock(DateTime now, LocalZone zone = {}) : now_(now), zone_(std::move(zone)) {}
  DateTime Now() const override { return now_; }
  LocalZone Zone() const override { return zone_; }
  void SetNow(DateTime now) { now_ = now; }

 private:
  DateTime now_;
  LocalZone zone_;
};

// "dd/mm/yyyy hh:nn:ss", used by the log and the page.
std::string FormatTimestamp(const DateTime& t);

// Calendar helpers (proleptic Gregorian): days since 1970-01-01 and back.
int64_t DaysFromCivil(int year, int month, int day);
void CivilFromDays(int64_t days, int& year, int& month, int& day);
DateTime AddDays(const DateTime& t, int days);  // keeps the time of day

}  // namespace panorello
