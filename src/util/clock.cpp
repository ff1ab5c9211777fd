#include "util/clock.h"

#include <ctime>

#include "util/text.h"

namespace panorello {

namespace {

// The last two digits of a field; a negative field gives "00".
void AppendTwoDigits(std::string& out, int value) {
  AppendPadded(out, value < 0 ? 0 : value % 100, 2);
}

}  // namespace

DateTime SystemClock::Now() const {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return DateTime{};
  return DateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                  local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::string FormatTimestamp(const DateTime& t) {
  std::string out;
  out.reserve(19);
  AppendTwoDigits(out, t.day);
  out += '/';
  AppendTwoDigits(out, t.month);
  out += '/';
  AppendPadded(out, t.year, 4);
  out += ' ';
  AppendTwoDigits(out, t.hour);
  out += ':';
  AppendTwoDigits(out, t.minute);
  out += ':';
  AppendTwoDigits(out, t.second);
  return out;
}

// Days since 1970-01-01 in the proleptic Gregorian calendar (eras of 400 years).
int64_t DaysFromCivil(int year, int month, int day) {
  int64_t y = static_cast<int64_t>(year) - (month <= 2 ? 1 : 0);
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t year_of_era = y - era * 400;
  int64_t m = month;
  int64_t day_of_year = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + day - 1;
  int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

void CivilFromDays(int64_t days, int& year, int& month, int& day) {
  days += 719468;
  int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  int64_t day_of_era = days - era * 146097;
  int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  int64_t y = year_of_era + era * 400;
  int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  int64_t mp = (5 * day_of_year + 2) / 153;
  day = static_cast<int>(day_of_year - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(y + (month <= 2 ? 1 : 0));
}

DateTime AddDays(const DateTime& t, int days) {
  DateTime out = t;
  CivilFromDays(DaysFromCivil(t.year, t.month, t.day) + days, out.year, out.month, out.day);
  return out;
}

}  // namespace panorello
