#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <string>

#include "support/test_support.h"
#include "util/clock.h"
#include "util/log.h"

namespace panorello {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

TEST(FormatTimestampTest, TwoDigitFieldsFourDigitYear) {
  const std::pair<DateTime, std::string> cases[] = {
      {{2026, 12, 6, 5, 14, 48}, "06/12/2026 05:14:48"},
      {{1999, 1, 31, 23, 59, 59}, "31/01/1999 23:59:59"},
      {{2000, 2, 29, 0, 0, 0}, "29/02/2000 00:00:00"},
      {{987, 10, 10, 10, 10, 10}, "10/10/0987 10:10:10"},
      {DateTime{}, "30/12/1899 00:00:00"},
  };
  for (const auto& [t, text] : cases) EXPECT_EQ(FormatTimestamp(t), text);
}

TEST(CalendarTest, DaysFromCivilKnownDates) {
  EXPECT_EQ(DaysFromCivil(1970, 1, 1), 0);
  EXPECT_EQ(DaysFromCivil(1970, 1, 2), 1);
  EXPECT_EQ(DaysFromCivil(1969, 12, 31), -1);
  EXPECT_EQ(DaysFromCivil(2000, 3, 1), 11017);
  EXPECT_EQ(DaysFromCivil(1899, 12, 30), -25569);
  EXPECT_EQ(DaysFromCivil(2026, 12, 6), 20793);
}

TEST(CalendarTest, RoundTripAndMonthLengths) {
  const int64_t first = DaysFromCivil(1600, 1, 1);
  const int64_t last = DaysFromCivil(2400, 12, 31);
  int year = 0, month = 0, day = 0;
  int prev_year = 1599, prev_month = 12, prev_day = 31;
  for (int64_t d = first; d <= last; ++d) {
    CivilFromDays(d, year, month, day);
    ASSERT_EQ(DaysFromCivil(year, month, day), d);
    // Each day follows the one before it.
    bool next_day = year == prev_year && month == prev_month && day == prev_day + 1;
    bool next_month = year == prev_year && month == prev_month + 1 && day == 1;
    bool next_year = year == prev_year + 1 && month == 1 && day == 1 && prev_month == 12 &&
                     prev_day == 31;
    ASSERT_TRUE(next_day || next_month || next_year) << year << "-" << month << "-" << day;
    prev_year = year;
    prev_month = month;
    prev_day = day;
  }
}

TEST(CalendarTest, AddDaysAcrossLeapDays) {
  const DateTime t{2024, 2, 28, 13, 5, 9};
  EXPECT_EQ(AddDays(t, 1), (DateTime{2024, 2, 29, 13, 5, 9}));
  EXPECT_EQ(AddDays(t, 2), (DateTime{2024, 3, 1, 13, 5, 9}));
  EXPECT_EQ(AddDays(DateTime{2100, 2, 28, 1, 2, 3}, 1), (DateTime{2100, 3, 1, 1, 2, 3}));
  EXPECT_EQ(AddDays(DateTime{2000, 2, 28, 0, 0, 0}, 1), (DateTime{2000, 2, 29, 0, 0, 0}));
  EXPECT_EQ(AddDays(DateTime{2026, 1, 1, 0, 0, 0}, -1), (DateTime{2025, 12, 31, 0, 0, 0}));
  EXPECT_EQ(AddDays(DateTime{2026, 1, 1, 0, 0, 0}, 365), (DateTime{2027, 1, 1, 0, 0, 0}));
}

TEST(SystemClockTest, MatchesTheLocalTime) {
  std::time_t before = std::time(nullptr);
  DateTime now = SystemClock().Now();
  std::time_t after = std::time(nullptr);
  std::tm b{}, a{};
  localtime_r(&before, &b);
  localtime_r(&after, &a);
  auto key = [](int y, int mo, int d, int h, int mi, int s) {
    return ((((static_cast<int64_t>(y) * 13 + mo) * 32 + d) * 24 + h) * 60 + mi) * 60 + s;
  };
  int64_t k = key(now.year, now.month, now.day, now.hour, now.minute, now.second);
  EXPECT_GE(k, key(b.tm_year + 1900, b.tm_mon + 1, b.tm_mday, b.tm_hour, b.tm_min, b.tm_sec));
  EXPECT_LE(k, key(a.tm_year + 1900, a.tm_mon + 1, a.tm_mday, a.tm_hour, a.tm_min, a.tm_sec));
}

class WriteLogTest : public ::testing::Test {
 protected:
  TempFolder app;
  FixedClock clock{DateTime{2026, 12, 6, 5, 14, 48}};
};

TEST_F(WriteLogTest, BlankSettingGoesBesideTheExecutable) {
  for (const std::string setting : {"", "   "}) {
    WriteLog(setting, app.Path(), clock, "Avvio batch. CMD=/RUN");
  }
  EXPECT_EQ(ReadBytes(app.File("panorello.log")),
            "06/12/2026 05:14:48 - Avvio batch. CMD=/RUN\r\n"
            "06/12/2026 05:14:48 - Avvio batch. CMD=/RUN\r\n");
}

TEST_F(WriteLogTest, AppendsInCallOrderAndKeepsOldLines) {
  WriteBytes(app.File("run.log"), "old line\r\n");
  WriteLog(app.File("run.log"), app.Path(), clock, "first");
  WriteLog(app.File("run.log"), app.Path(), clock, "second");
  clock.Set(DateTime{2027, 1, 2, 3, 4, 5});
  WriteLog(app.File("run.log"), app.Path(), clock, "a\r\nb");
  EXPECT_EQ(ReadBytes(app.File("run.log")),
            "old line\r\n"
            "06/12/2026 05:14:48 - first\r\n"
            "06/12/2026 05:14:48 - second\r\n"
            "02/01/2027 03:04:05 - a\r\nb\r\n");
  EXPECT_FALSE(std::filesystem::exists(app.File("panorello.log")));
}

TEST_F(WriteLogTest, CreatesMissingFolders) {
  const std::string path = app.File("Log/x/run.log");
  WriteLog(path, app.Path(), clock, "m");
  EXPECT_EQ(ReadBytes(path), "06/12/2026 05:14:48 - m\r\n");
}

TEST_F(WriteLogTest, FailuresAreSwallowed) {
  std::filesystem::create_directory(app.File("adir"));
  WriteBytes(app.File("afile"), "x");
  // A folder as the log, a file as its folder: the call returns and nothing is written.
  WriteLog(app.File("adir"), app.Path(), clock, "m");
  WriteLog(app.File("afile/run.log"), app.Path(), clock, "m");
  WriteLog(std::string(5000, 'z'), app.Path(), clock, "m");
  EXPECT_EQ(ReadBytes(app.File("afile")), "x");
  EXPECT_TRUE(std::filesystem::is_empty(app.File("adir")));
}

TEST_F(WriteLogTest, ReadOnlyLogReturnsNormally) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes read-only files";
  WriteBytes(app.File("ro.log"), "old\r\n");
  ASSERT_EQ(chmod(app.File("ro.log").c_str(), 0444), 0);
  WriteLog(app.File("ro.log"), app.Path(), clock, "m");
  EXPECT_EQ(ReadBytes(app.File("ro.log")), "old\r\n");
}

}  // namespace
}  // namespace panorello
