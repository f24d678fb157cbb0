// Calendar arithmetic against known answers and against an independent
// day-by-year count over the whole year range.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "services/text/date_time.h"
#include "tests/services/text/date_time_reference.h"

namespace sfx {
namespace {

using testing_dates::DayNumber;
using testing_dates::FromDayNumber;
using testing_dates::FromSecondNumber;
using testing_dates::LastSecond;
using testing_dates::Rec;
using testing_dates::SecondNumber;
using testing_dates::Show;

DateTimeService* D() { return DateTimes(); }

// A valid record anywhere in the range, biased towards its ends and month ends.
DateTimeRecord RandomRecord(std::mt19937& rng) {
  std::uniform_int_distribution<std::int64_t> any(0, LastSecond());
  std::int64_t s = any(rng);
  switch (rng() % 4) {
    case 0: s = std::uniform_int_distribution<std::int64_t>(0, 86400LL * 800)(rng); break;
    case 1: s = LastSecond() - std::uniform_int_distribution<std::int64_t>(0, 86400LL * 800)(rng); break;
    default: break;
  }
  DateTimeRecord r = FromSecondNumber(s);
  r.hundredths = static_cast<std::uint8_t>(rng() % 100);
  return r;
}

TEST(DateTimeCalendar, LeapRulesAndDayNumbersOverTheWholeRange) {
  const DateTimeRecord zero = Rec(0, 1, 1);
  for (std::uint32_t y = 0; y <= 65535; ++y) {
    ASSERT_EQ(D()->IsLeapYear(y), testing_dates::ReferenceLeap(y) ? kLeapYear : kCommonYear) << y;
    std::uint8_t feb = 0;
    ASSERT_EQ(D()->DaysInMonth(y, 2, &feb), kOk);
    ASSERT_EQ(feb, testing_dates::ReferenceLeap(y) ? 29 : 28);
    // January 1 and December 31 of every year: the day count from 0-01-01 and the weekday.
    for (const DateTimeRecord r : {Rec(y, 1, 1), Rec(y, 12, 31)}) {
      std::uint32_t days = 0;
      ASSERT_EQ(D()->DaysBetween(&r, &zero, &days), y == 0 && r.month == 1 ? kDateEqual : kDateLater);
      ASSERT_EQ(days, DayNumber(r)) << Show(r);
      std::uint8_t wd = 0;
      ASSERT_EQ(D()->DayOfWeek(&r, &wd), kOk);
      ASSERT_EQ(wd, (DayNumber(r) + 5) % 7) << Show(r);
    }
  }
  // Leap years strictly between, in both orders.
  std::mt19937 rng(7);
  for (int i = 0; i < 2000; ++i) {
    const std::uint32_t a = rng() % 65536, b = rng() % 65536;
    std::uint32_t expected = 0;
    for (std::uint32_t y = std::min(a, b) + 1; y < std::max(a, b); ++y) expected += testing_dates::ReferenceLeap(y);
    std::uint16_t count = 0;
    ASSERT_EQ(D()->CountLeapYears(a, b, &count), a == b ? kDateEqual : a < b ? kDateEarlier : kDateLater);
    ASSERT_EQ(count, expected) << a << " " << b;
  }
}

// Moves by a count, distances and hour moves are checked against the
// reference below; the one-day steps have no count to draw.
TEST(DateTimeCalendar, OneDaySteps) {
  DateTimeRecord r = Rec(2023, 12, 31);
  EXPECT_EQ(D()->NextDay(&r), kOk);
  EXPECT_EQ(Show(r), Show(Rec(2024, 1, 1)));
  r = Rec(2024, 2, 28);
  EXPECT_EQ(D()->NextDay(&r), kOk);
  EXPECT_EQ(Show(r), Show(Rec(2024, 2, 29)));
  r = Rec(65535, 12, 31);
  EXPECT_EQ(D()->NextDay(&r), kFail);
  r = Rec(2024, 3, 1);
  EXPECT_EQ(D()->PreviousDay(&r), kOk);
  EXPECT_EQ(Show(r), Show(Rec(2024, 2, 29)));
  r = Rec(0, 1, 1);
  EXPECT_EQ(D()->PreviousDay(&r), kFail);
  r = Rec(2023, 12, 31, 23, 59, 50);
  std::uint32_t left = 0;
  EXPECT_EQ(D()->AddSecondsInDay(&r, 15, &left), kOk);
  EXPECT_EQ(Show(r), Show(Rec(2023, 12, 31, 23, 59, 59)));
  EXPECT_EQ(left, 6u);
}

// Day moves of every size, including counts that leave the range.
TEST(DateTimeCalendar, DayMovesMatchTheReference) {
  std::mt19937 rng(11);
  const std::int64_t lastDay = testing_dates::YearStarts()[65536] - 1;
  for (int i = 0; i < 20000; ++i) {
    const DateTimeRecord from = RandomRecord(rng);
    const std::uint32_t count = i % 3 == 0 ? rng() : rng() % 3000;
    const std::int64_t start = DayNumber(from);
    for (const bool add : {true, false}) {
      DateTimeRecord x = from;
      const Result r = add ? D()->AddDays(&x, count) : D()->SubtractDays(&x, count);
      const std::int64_t target = add ? start + count : start - count;
      if (target < 0 || target > lastDay) {
        ASSERT_EQ(r, kFail) << Show(from) << (add ? " + " : " - ") << count;
        continue;
      }
      ASSERT_EQ(r, kOk) << Show(from) << (add ? " + " : " - ") << count;
      DateTimeRecord expected = FromDayNumber(target);
      expected.hour = from.hour, expected.minute = from.minute, expected.second = from.second;
      expected.hundredths = from.hundredths;
      ASSERT_EQ(Show(x), Show(expected)) << Show(from) << (add ? " + " : " - ") << count;
    }
  }
}

// Second and hour moves, with counts up to 0xFFFFFFFF: the sum of a time of
// day and such a count does not fit 32 bits.
TEST(DateTimeCalendar, SecondAndHourMovesMatchTheReference) {
  std::mt19937 rng(12);
  for (int i = 0; i < 20000; ++i) {
    DateTimeRecord from = RandomRecord(rng);
    from.hundredths = 0;
    const std::uint32_t count = i % 4 == 0 ? 0xFFFFFFFFu - rng() % 100000 : i % 4 == 1 ? rng() : rng() % 200000;
    const std::int64_t start = SecondNumber(from);
    for (const bool add : {true, false}) {
      DateTimeRecord x = from;
      const Result r = add ? D()->AddSeconds(&x, count) : D()->SubtractSeconds(&x, count);
      const std::int64_t target = add ? start + count : start - count;
      if (target < 0 || target > LastSecond()) {
        ASSERT_EQ(r, kFail) << Show(from) << (add ? " + " : " - ") << count << "s";
      } else {
        ASSERT_EQ(r, kOk);
        ASSERT_EQ(Show(x), Show(FromSecondNumber(target))) << Show(from) << (add ? " + " : " - ") << count << "s";
      }
      const std::uint32_t hours = count % 2 == 0 ? count : count % 100000;
      x = from;
      const Result h = add ? D()->AddHours(&x, hours) : D()->SubtractHours(&x, hours);
      const std::int64_t hourTarget = add ? start + 3600LL * hours : start - 3600LL * hours;
      if (hourTarget < 0 || hourTarget > LastSecond()) {
        ASSERT_EQ(h, kFail);
        ASSERT_EQ(x.hour, from.hour) << "a failed hour move leaves the hour";
      } else {
        ASSERT_EQ(h, kOk);
        ASSERT_EQ(Show(x), Show(FromSecondNumber(hourTarget))) << Show(from) << (add ? " + " : " - ") << hours << "h";
      }
    }
  }
  DateTimeRecord noon = Rec(2024, 6, 1, 12);
  std::uint32_t left = 0;
  ASSERT_EQ(D()->AddSecondsInDay(&noon, 0xFFFFFFFFu, &left), kOk);
  EXPECT_EQ(Show(noon), Show(Rec(2024, 6, 1, 23, 59, 59)));
  EXPECT_EQ(left, 0xFFFFFFFFu - 43199u);
}

TEST(DateTimeCalendar, DistancesMatchTheReference) {
  std::mt19937 rng(13);
  for (int i = 0; i < 20000; ++i) {
    const DateTimeRecord a = RandomRecord(rng);
    DateTimeRecord b = i % 2 == 0
                           ? RandomRecord(rng)
                           : FromSecondNumber(std::min<std::int64_t>(SecondNumber(a) + rng() % 400000, LastSecond()));
    if (i % 2 == 1) b.hundredths = static_cast<std::uint8_t>(rng() % 100);
    const std::int64_t centi = (SecondNumber(a) - SecondNumber(b)) * 100 + a.hundredths - b.hundredths;
    const Result order = centi == 0 ? kDateEqual : centi < 0 ? kDateEarlier : kDateLater;
    const std::int64_t magnitude = centi < 0 ? -centi : centi;
    std::uint32_t n = 0;
    ASSERT_EQ(D()->SecondsBetween(&a, &b, &n), order) << Show(a) << " " << Show(b);
    ASSERT_EQ(n, std::min<std::int64_t>((magnitude + 99) / 100, 0xFFFFFFFFLL)) << Show(a) << " " << Show(b);
    const std::int64_t dayDiff = DayNumber(a) - DayNumber(b);
    ASSERT_EQ(D()->DaysBetween(&a, &b, &n), dayDiff == 0 && a.month == b.month ? kDateEqual
                                            : dayDiff < 0                      ? kDateEarlier
                                                                               : kDateLater);
    ASSERT_EQ(n, dayDiff < 0 ? -dayDiff : dayDiff);
    const std::int64_t hourDiff = dayDiff * 24 + a.hour - b.hour;
    ASSERT_EQ(D()->HoursBetween(&a, &b, &n), hourDiff == 0 ? kDateEqual : hourDiff < 0 ? kDateEarlier : kDateLater);
    ASSERT_EQ(n, hourDiff < 0 ? -hourDiff : hourDiff);
  }
}

}  // namespace
}  // namespace sfx
