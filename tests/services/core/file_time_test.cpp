// Calendar and file-time conversions of the platform layer, which the file
// system service reports time stamps with and the launcher sets them with.
#include "platform/time.h"

#include <gtest/gtest.h>

namespace sfx {
namespace {

using platform::CalendarTime;

constexpr std::uint64_t kUnitsPerSecond = 10000000ull;

std::uint64_t ToFileTime(const CalendarTime& c) {
  std::uint64_t t = 0;
  EXPECT_TRUE(platform::CalendarToFileTime(c, &t));
  return t;
}

TEST(FileTimeTest, KnownInstants) {
  EXPECT_EQ(ToFileTime({1601, 1, 0, 1, 0, 0, 0, 0}), 0u);
  EXPECT_EQ(ToFileTime({1970, 1, 0, 1, 0, 0, 0, 0}), 116444736000000000ull);
  EXPECT_EQ(ToFileTime({2000, 2, 0, 29, 12, 30, 15, 250}),
            116444736000000000ull + (951827415ull * kUnitsPerSecond) + 2500000u);

  CalendarTime c{};
  ASSERT_TRUE(platform::FileTimeToCalendar(116444736000000000ull + 1234567, &c));
  EXPECT_EQ(c.year, 1970);
  EXPECT_EQ(c.month, 1);
  EXPECT_EQ(c.day, 1);
  EXPECT_EQ(c.dayOfWeek, 4);  // a Thursday
  EXPECT_EQ(c.milliseconds, 123);
}

TEST(FileTimeTest, RoundTripsAcrossTheCalendar) {
  const CalendarTime samples[] = {
      {1601, 1, 0, 1, 0, 0, 0, 0},         {1700, 2, 0, 28, 23, 59, 59, 999},  {1900, 3, 0, 1, 1, 2, 3, 4},
      {2000, 2, 0, 29, 0, 0, 0, 0},        {2024, 12, 0, 31, 23, 59, 59, 999}, {2100, 2, 0, 28, 12, 0, 0, 500},
      {30827, 12, 0, 31, 23, 59, 59, 999},
  };
  for (const CalendarTime& s : samples) {
    CalendarTime back{};
    ASSERT_TRUE(platform::FileTimeToCalendar(ToFileTime(s), &back)) << s.year;
    EXPECT_EQ(back.year, s.year);
    EXPECT_EQ(back.month, s.month);
    EXPECT_EQ(back.day, s.day);
    EXPECT_EQ(back.hour, s.hour);
    EXPECT_EQ(back.minute, s.minute);
    EXPECT_EQ(back.second, s.second);
    EXPECT_EQ(back.milliseconds, s.milliseconds);
  }
}

TEST(FileTimeTest, InvalidCalendarTimesAreRefused) {
  const CalendarTime invalid[] = {
      {1600, 12, 0, 31, 0, 0, 0, 0}, {30828, 1, 0, 1, 0, 0, 0, 0}, {2021, 2, 0, 29, 0, 0, 0, 0},
      {1900, 2, 0, 29, 0, 0, 0, 0},  {2021, 13, 0, 1, 0, 0, 0, 0}, {2021, 0, 0, 1, 0, 0, 0, 0},
      {2021, 4, 0, 31, 0, 0, 0, 0},  {2021, 1, 0, 0, 0, 0, 0, 0},  {2021, 1, 0, 1, 24, 0, 0, 0},
      {2021, 1, 0, 1, 0, 60, 0, 0},  {2021, 1, 0, 1, 0, 0, 60, 0}, {2021, 1, 0, 1, 0, 0, 0, 1000},
  };
  for (const CalendarTime& c : invalid) {
    std::uint64_t t = 77;
    EXPECT_FALSE(platform::CalendarToFileTime(c, &t)) << c.year << "-" << c.month << "-" << c.day;
    EXPECT_EQ(t, 77u);
  }
}

TEST(FileTimeTest, LocalToUtcShiftsByAZoneOffset) {
  const std::uint64_t local = ToFileTime({2021, 1, 0, 15, 12, 0, 0, 0});
  std::uint64_t utc = 0;
  ASSERT_TRUE(platform::LocalFileTimeToUtc(local, &utc));
  const auto shift = static_cast<std::int64_t>(utc) - static_cast<std::int64_t>(local);
  EXPECT_EQ(shift % (15 * 60 * static_cast<std::int64_t>(kUnitsPerSecond)), 0);  // zones move by quarter hours
  EXPECT_LE(shift < 0 ? -shift : shift, 14 * 3600 * static_cast<std::int64_t>(kUnitsPerSecond));
}

}  // namespace
}  // namespace sfx
