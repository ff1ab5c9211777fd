#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <limits>
#include <string>

#include "support/test_support.h"
#include "util/clock.h"
#include "util/log.h"

namespace panorello {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

// Two-digit fields, four-digit year (zero-padded), 24-hour clock; day numbers of every day of
// 1600-2400 (leap centuries included) convert both ways and follow the day before.
TEST(CalendarTest, TimestampsAndDayNumbers) {
  EXPECT_EQ(FormatTimestamp({2026, 12, 6, 5, 14, 48}), "06/12/2026 05:14:48");
  EXPECT_EQ(FormatTimestamp({987, 1, 31, 23, 59, 9}), "31/01/0987 23:59:09");
  constexpr int kMin = std::numeric_limits<int>::min(), kMax = std::numeric_limits<int>::max();
  EXPECT_EQ(FormatTimestamp({kMin, kMin, kMax, -1, kMax, 99}), "47/00/-2147483648 00:47:99");
  EXPECT_EQ(DaysFromCivil(1970, 1, 1), 0);
  EXPECT_EQ(DaysFromCivil(1899, 12, 30), -25569);
  int prev_year = 1599, prev_month = 12, prev_day = 31;
  for (int64_t d = DaysFromCivil(1600, 1, 1); d <= DaysFromCivil(2400, 12, 31); ++d) {
    int year = 0, month = 0, day = 0;
    CivilFromDays(d, year, month, day);
    ASSERT_EQ(DaysFromCivil(year, month, day), d);
    const bool next_day = year == prev_year && month == prev_month && day == prev_day + 1;
    const bool next_month = year == prev_year && month == prev_month + 1 && day == 1;
    const bool next_year = year == prev_year + 1 && month == 1 && day == 1 && prev_day == 31;
    ASSERT_TRUE(next_day || next_month || next_year) << year << "-" << month << "-" << day;
    prev_year = year, prev_month = month, prev_day = day;
  }
  EXPECT_EQ(AddDays({2024, 2, 28, 13, 5, 9}, 2), (DateTime{2024, 3, 1, 13, 5, 9}));
  EXPECT_EQ(AddDays({2026, 1, 1, 0, 0, 0}, -1), (DateTime{2025, 12, 31, 0, 0, 0}));
}

class WriteLogTest : public ::testing::Test {
 protected:
  TempFolder app;
  FixedClock clock{DateTime{2026, 12, 6, 5, 14, 48}};
};

// A blank setting logs beside the executable; a set one is used, appended to in call order
// (old lines kept), its folders created; a line break in a message is shown as an escape.
// The zone a database session is told: TZ first, else the link of /etc/localtime; only names of
// the tz database (files under zoneinfo) count.
TEST(LocalZoneTest, NamesFromTzAndTheLocaltimeLink) {
  struct Case {
    const char* tz;  // nullptr: unset
    const char* link;
    const char* expected;
  };
  const Case cases[] = {
      {nullptr, "/usr/share/zoneinfo/Europe/Rome", "Europe/Rome"},
      {nullptr, "../usr/share/zoneinfo/Asia/Kolkata", "Asia/Kolkata"},
      {nullptr, "", ""},
      {"Europe/Rome", "/usr/share/zoneinfo/Asia/Kolkata", "Europe/Rome"},
      {":America/New_York", "", "America/New_York"},
      {"/usr/share/zoneinfo/Europe/Rome", "", "Europe/Rome"},
      {"", "/usr/share/zoneinfo/Europe/Rome", "UTC"},
      {"CET-1CEST,M3.5.0,M10.5.0/3", "/usr/share/zoneinfo/Europe/Rome", ""},
      {"Mars/Olympus_Mons", "", ""},
      {"../../../etc/passwd", "", ""},
      {"Europe/Rome'; DROP TABLE x", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LocalZoneName(c.tz, c.link), c.expected) << (c.tz ? c.tz : "(unset)") << c.link;
  }
  EXPECT_EQ(OffsetText(19800), "+05:30");
  EXPECT_EQ(OffsetText(-12600), "-03:30");
  EXPECT_EQ(OffsetText(0), "+00:00");
}

TEST_F(WriteLogTest, AppendsTimeStampedLines) {
  for (const std::string setting : {"", "   "}) WriteLog(setting, app.Path(), clock, "CMD=/RUN");
  const std::string log = app.File("Log/x/run.log");
  WriteLog(log, app.Path(), clock, "first");
  clock.SetNow(DateTime{2027, 1, 2, 3, 4, 5});
  WriteLog(log, app.Path(), clock, "a\r\nb");
  EXPECT_EQ(ReadBytes(log), "06/12/2026 05:14:48 - first\r\n02/01/2027 03:04:05 - a\\r\\nb\r\n");
  EXPECT_EQ(ReadBytes(app.File("panorello.log")),
            "06/12/2026 05:14:48 - CMD=/RUN\r\n06/12/2026 05:14:48 - CMD=/RUN\r\n");
}

// WriteLog never throws: a folder as the log and a file as its folder return normally and change
// nothing.
TEST_F(WriteLogTest, FailuresAreSwallowed) {
  std::filesystem::create_directory(app.File("adir"));
  WriteBytes(app.File("afile"), "x");
  WriteLog(app.File("adir"), app.Path(), clock, "m");
  WriteLog(app.File("afile/run.log"), app.Path(), clock, "m");
  EXPECT_EQ(ReadBytes(app.File("afile")), "x");
  EXPECT_TRUE(std::filesystem::is_empty(app.File("adir")));
}

TEST(VisibleControlsTest, EveryControlButTabIsEscaped) {
  const std::pair<std::string, std::string> cases[] = {
      {"a\r\nb", "a\\r\\nb"},
      {"\x1b[31mrosso\x1b[0m", "\\x1b[31mrosso\\x1b[0m"},
      {"tab\tok \x7f", "tab\tok \\x7f"},
      {"perch\xc3\xa9 \xc2\x9b", "perch\xc3\xa9 \\u009b"},
  };
  for (const auto& [in, want] : cases) EXPECT_EQ(VisibleControls(in), want) << in;
}

// A log whose last line was cut short (a full disk) gets its next line on a line of its own.
TEST_F(WriteLogTest, CutLineIsEnded) {
  WriteBytes(app.File("run.log"), "06/12/2026 05:14:47 - Avvi");
  WriteLog(app.File("run.log"), app.Path(), clock, "Avvio batch.");
  EXPECT_EQ(ReadBytes(app.File("run.log")),
            "06/12/2026 05:14:47 - Avvi\r\n06/12/2026 05:14:48 - Avvio batch.\r\n");
}

}  // namespace
}  // namespace panorello
