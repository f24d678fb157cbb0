// Next run times: known cases, the mended faults, and a brute-force oracle
// that walks minute by minute from the earliest allowed time until a minute
// fits the rule, over many random rules and clock readings.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "platform/clock.h"
#include "services/data/schedule.h"
#include "services/text/date_time.h"
#include "tests/services/text/date_time_reference.h"

namespace sfx {
namespace {

using testing_dates::FromSecondNumber;
using testing_dates::Rec;
using testing_dates::SecondNumber;
using testing_dates::Show;

// The local clock stands at `now` (the zone is UTC).
class Now {
 public:
  explicit Now(const DateTimeRecord& now) {
    const platform::FixedClock clock{SecondNumber(now) - SecondNumber(Rec(1970, 1, 1)), 0};
    platform::SetFixedClock(&clock);
  }
  ~Now() { platform::SetFixedClock(nullptr); }
};

ScheduleRule Rule(std::uint8_t kind, std::uint16_t time, std::uint16_t interval, std::uint32_t mask,
                  std::uint8_t weekday = 0, std::uint8_t dayOfMonth = 1) {
  return ScheduleRule{kind, 0, time, weekday, dayOfMonth, interval, mask};
}

struct Outcome {
  Result result;
  DateTimeRecord next;
};

Outcome NextRun(const ScheduleRule& rule, const DateTimeRecord& now, const DateTimeRecord* start = nullptr,
                const DateTimeRecord* end = nullptr, const DateTimeRecord* last = nullptr) {
  const Now clock(now);
  Outcome run{};
  run.result = Schedules()->NextRunTime(&rule, start, end, last, &run.next);
  return run;
}

// Runs themselves are checked against the minute walk below; these are the
// end argument and the failure codes, which the walk does not draw.
TEST(ScheduleNextRun, EndsAndEmptySelections) {
  // An end before the next run: no further run, and success.
  const DateTimeRecord end = Rec(2023, 2, 20);
  const Outcome ended = NextRun(Rule(5, 800, 0, 1u << 1, 0, 31), Rec(2023, 2, 10), nullptr, &end);
  EXPECT_EQ(ended.result, kOk);
  EXPECT_EQ(ended.next.year, 0);
  // Empty selections and unknown kinds.
  EXPECT_EQ(NextRun(Rule(2, 0, 0, 0), Rec(2024, 1, 1)).result, kScheduleNoHour);
  EXPECT_EQ(NextRun(Rule(2, 0, 0, 1u << 24), Rec(2024, 1, 1)).result, kScheduleNoHour);
  EXPECT_EQ(NextRun(Rule(3, 0, 0, 0), Rec(2024, 1, 1)).result, kScheduleNoWeekday);
  EXPECT_EQ(NextRun(Rule(4, 0, 0, 0), Rec(2024, 1, 1)).result, kScheduleNoWeek);
  EXPECT_EQ(NextRun(Rule(5, 0, 0, 0), Rec(2024, 1, 1)).result, kScheduleNoMonth);
  EXPECT_EQ(NextRun(Rule(6, 0, 1, 0), Rec(2024, 1, 1)).result, kScheduleBadKind);
  EXPECT_EQ(NextRun(Rule(1, 0, 1, 0), Rec(2024, 1, 1)).result, kScheduleBadKind);
}

TEST(ScheduleNextRun, MendedFaults) {
  // Monthly every month on day 31, last run 2024-01-31: the day is cut to the
  // month's length before the comparison, so February 29 is neither skipped
  // nor answered with a time already past.
  DateTimeRecord last = Rec(2024, 1, 31, 8, 0);
  EXPECT_EQ(Show(NextRun(Rule(5, 800, 1, 0, 0, 31), Rec(2024, 2, 29, 7, 0), nullptr, nullptr, &last).next),
            Show(Rec(2024, 2, 29, 8, 0)));
  EXPECT_EQ(Show(NextRun(Rule(5, 800, 1, 0, 0, 31), Rec(2024, 2, 29, 9, 0), nullptr, nullptr, &last).next),
            Show(Rec(2024, 3, 31, 8, 0)));
  // Day 0 acts as day 1.
  EXPECT_EQ(Show(NextRun(Rule(5, 800, 0, 0xFFF, 0, 0), Rec(2024, 2, 10)).next), Show(Rec(2024, 3, 1, 8, 0)));
  // A month step past 65535 fails with the monthly day step's code instead of
  // answering a run in year 0.
  EXPECT_EQ(NextRun(Rule(5, 800, 1, 0, 0, 1), Rec(65535, 12, 15)).result, FailureCode(facility::kSchedule, 0x2B));
  EXPECT_EQ(NextRun(Rule(5, 800, 0, 1, 0, 1), Rec(65535, 12, 15)).result, FailureCode(facility::kSchedule, 0x2B));
  last = Rec(65535, 11, 1, 8, 0);
  EXPECT_EQ(NextRun(Rule(5, 800, 3, 0, 0, 1), Rec(65535, 11, 2), nullptr, nullptr, &last).result,
            FailureCode(facility::kSchedule, 0x2B));
  // Weekly, every second Monday, last run on Monday 2024-05-06: two weeks on.
  last = Rec(2024, 5, 6, 9, 0);
  EXPECT_EQ(Show(NextRun(Rule(4, 900, 2, 0, 0), Rec(2024, 5, 7), nullptr, nullptr, &last).next),
            Show(Rec(2024, 5, 20, 9, 0)));
  // Week mask: bit 3 is the fourth Friday, bit 4 the last (May 2024 has five).
  EXPECT_EQ(Show(NextRun(Rule(4, 900, 0, 1u << 3, 4), Rec(2024, 5, 1)).next), Show(Rec(2024, 5, 24, 9, 0)));
  EXPECT_EQ(Show(NextRun(Rule(4, 900, 0, 1u << 4, 4), Rec(2024, 5, 1)).next), Show(Rec(2024, 5, 31, 9, 0)));
  // A start whose day lies outside every month ends at once (its week of
  // the month once counted hundreds of millions of candidate weeks).
  const DateTimeRecord dayZero = Rec(8247, 51, 0);
  EXPECT_LT(NextRun(Rule(4, 2359, 0, 0, 0), Rec(2024, 5, 1), &dayZero).result, 0);
}

// A date service whose clock cannot be read.
class NoClock : public DateTimeService {
 public:
  Result GetCurrentLocal(DateTimeRecord*) override { return kFail; }
};

TEST(ScheduleNextRun, ClockFailureHasItsOwnCode) {
  NoClock noClock;
  const ScopedServiceOverride swap(Slot::kDateTime, &noClock);
  const ScheduleRule rule = Rule(3, 800, 1, 0);
  DateTimeRecord next{};
  EXPECT_EQ(Schedules()->NextRunTime(&rule, nullptr, nullptr, nullptr, &next), kScheduleNoClock);
}

// ---- the oracle ----

constexpr std::int64_t kMinute = 60;

std::int64_t MinuteOf(const DateTimeRecord& r) { return SecondNumber(r) / kMinute; }
DateTimeRecord RecordOf(std::int64_t minute) { return FromSecondNumber(minute * kMinute); }
int Weekday(std::int64_t minute) { return static_cast<int>((minute / 1440 + 5) % 7); }
int MonthLength(const DateTimeRecord& r) { return testing_dates::ReferenceMonthLength(r.year, r.month); }

struct Mapped {
  int hour, minute, weekday, day;
};

Mapped Map(const ScheduleRule& rule) {
  return Mapped{std::min(rule.time / 100, 23), std::min(rule.time % 100, 59), std::min<int>(rule.weekday, 6),
                rule.dayOfMonth == 0 ? 1 : std::min<int>(rule.dayOfMonth, 31)};
}

int DayIn(const Mapped& m, const DateTimeRecord& r) { return m.day < 29 ? m.day : std::min(m.day, MonthLength(r)); }

// The first minute at or after `from` at the rule's time of day.
std::int64_t AtTimeOfDay(const Mapped& m, std::int64_t from) {
  const std::int64_t day = from / 1440 * 1440 + m.hour * 60 + m.minute;
  return day >= from ? day : day + 1440;
}

// The first minute at or after `from` that `fits`, or -1 within `horizon` minutes.
template <class Fits>
std::int64_t Walk(std::int64_t from, std::int64_t horizon, Fits fits) {
  for (std::int64_t t = from; t <= from + horizon; ++t) {
    if (fits(t)) return t;
  }
  return -1;
}

// -1 when the rule has no run (an empty selection).
std::int64_t Oracle(const ScheduleRule& rule, std::int64_t now, std::int64_t start, std::int64_t last) {
  const Mapped m = Map(rule);
  const std::uint32_t n = rule.interval;
  const auto selected = [&](int bit) { return (rule.mask >> bit & 1u) != 0; };
  const auto atTime = [&](std::int64_t t) { return t % 1440 == m.hour * 60 + m.minute; };
  if (n == 0) {
    std::int64_t base = now;
    if (last >= 0 && !(start >= 0 && start > last)) {
      base = std::max(now, last + 1);
    } else if (start >= 0) {
      base = std::max(start, now);
    }
    switch (rule.kind) {
      case 2:
        return Walk(base, 2 * 1440,
                    [&](std::int64_t t) { return t % 60 == m.minute && selected(static_cast<int>(t / 60 % 24)); });
      case 3: return Walk(base, 8 * 1440, [&](std::int64_t t) { return atTime(t) && selected(Weekday(t)); });
      case 4:
        return Walk(base, 70 * 1440, [&](std::int64_t t) {
          if (!atTime(t) || Weekday(t) != m.weekday) return false;
          const DateTimeRecord r = RecordOf(t);
          const int q = (r.day - 1) / 7;
          return (q <= 3 && selected(q)) || (selected(4) && r.day + 7 > MonthLength(r));
        });
      default:
        return Walk(base, 400 * 1440, [&](std::int64_t t) {
          if (!atTime(t)) return false;
          const DateTimeRecord r = RecordOf(t);
          return selected(r.month - 1) && r.day == DayIn(m, r);
        });
    }
  }
  // Interval rules: runs stand at an anchor plus whole multiples of n units.
  const std::int64_t earliest = last >= 0 ? std::max(last + 1, now) : now;
  std::int64_t anchor = 0;
  switch (rule.kind) {
    case 2: {
      if (start < 0 && last >= 0) {
        anchor = last / 60 * 60 + m.minute;
      } else {
        const std::int64_t from = start >= 0 ? start : now;
        anchor = from / 60 * 60 + m.minute;
        if (anchor < from) anchor += 60;
      }
      return Walk(std::max(anchor, earliest), 60LL * n, [&](std::int64_t t) { return (t - anchor) % (60LL * n) == 0; });
    }
    case 3:
    case 4: {
      if (start < 0 && last >= 0) {
        anchor = last / 1440 * 1440 + m.hour * 60 + m.minute;
        if (rule.kind == 4) anchor -= 1440LL * ((Weekday(last) - m.weekday + 7) % 7);
      } else {
        anchor = AtTimeOfDay(m, start >= 0 ? start : now);
      }
      if (rule.kind == 4) anchor += 1440LL * ((m.weekday - Weekday(anchor) + 7) % 7);
      const std::int64_t period = (rule.kind == 4 ? 7 : 1) * 1440LL * n;
      return Walk(std::max(anchor, earliest), period, [&](std::int64_t t) { return (t - anchor) % period == 0; });
    }
    default: {
      DateTimeRecord a{};
      if (start < 0 && last >= 0) {
        a = RecordOf(last);
        a.day = static_cast<std::uint8_t>(DayIn(m, a));
        a.hour = static_cast<std::uint8_t>(m.hour), a.minute = static_cast<std::uint8_t>(m.minute);
      } else {
        a = RecordOf(AtTimeOfDay(m, start >= 0 ? start : now));
      }
      if (m.day < a.day) {
        a.month = static_cast<std::uint8_t>(a.month % 12 + 1);
        if (a.month == 1) ++a.year;
      }
      a.day = static_cast<std::uint8_t>(DayIn(m, a));
      const std::int64_t anchorMonth = a.year * 12LL + a.month;
      anchor = MinuteOf(a);
      return Walk(std::max(anchor, earliest), 1440LL * 31 * (n + 1), [&](std::int64_t t) {
        if (!atTime(t)) return false;
        const DateTimeRecord r = RecordOf(t);
        return (r.year * 12LL + r.month - anchorMonth) % n == 0 && r.day == DayIn(m, r);
      });
    }
  }
}

TEST(ScheduleNextRun, AgreesWithMinuteWalkOverRandomRules) {
  std::mt19937 rng(41);
  const auto pick = [&](std::uint32_t n) { return static_cast<std::uint32_t>(rng() % n); };
  const std::int64_t from = MinuteOf(Rec(1999, 11, 1)), to = MinuteOf(Rec(2101, 3, 1));
  for (int i = 0; i < 3000; ++i) {
    ScheduleRule rule{};
    rule.kind = static_cast<std::uint8_t>(2 + pick(4));
    rule.time = static_cast<std::uint16_t>(pick(10) == 0 ? pick(65536) : pick(24) * 100 + pick(60));
    rule.weekday = static_cast<std::uint8_t>(pick(9));
    rule.dayOfMonth = static_cast<std::uint8_t>(pick(5) == 0 ? 28 + pick(6) : pick(40));
    const std::uint32_t maxInterval[] = {0, 0, 50, 12, 5, 4};
    rule.interval = static_cast<std::uint16_t>(pick(2) == 0 ? 0 : 1 + pick(maxInterval[rule.kind]));
    rule.mask = pick(8) == 0 ? 0 : static_cast<std::uint32_t>(rng()) >> pick(32);
    const std::int64_t now = from + static_cast<std::int64_t>(rng() % static_cast<std::uint64_t>(to - from));
    const std::int64_t start = pick(3) == 0 ? now + pick(4000 * 60) - 2000 * 60 : -1;
    const std::int64_t last = pick(2) == 0 ? now - pick(90 * 1440) + 1440 : -1;
    const DateTimeRecord nowRecord = RecordOf(now);
    const DateTimeRecord startRecord = start >= 0 ? RecordOf(start) : DateTimeRecord{};
    // Seconds in the inputs are ignored.
    DateTimeRecord lastRecord = last >= 0 ? RecordOf(last) : DateTimeRecord{};
    lastRecord.second = static_cast<std::uint8_t>(pick(60));
    const Outcome run =
        NextRun(rule, nowRecord, start >= 0 ? &startRecord : nullptr, nullptr, last >= 0 ? &lastRecord : nullptr);
    const std::int64_t expected = Oracle(rule, now, start, last);
    const auto context = [&] {
      return ::testing::Message() << "kind " << int(rule.kind) << " time " << rule.time << " weekday "
                                  << int(rule.weekday) << " day " << int(rule.dayOfMonth) << " interval "
                                  << rule.interval << " mask " << std::hex << rule.mask << std::dec << " now "
                                  << Show(nowRecord) << " start " << Show(startRecord) << " last " << Show(lastRecord);
    };
    if (expected < 0) {
      ASSERT_LT(run.result, 0) << context();
      continue;
    }
    ASSERT_EQ(run.result, kOk) << context();
    ASSERT_EQ(Show(run.next), Show(RecordOf(expected))) << context();
  }
}

}  // namespace
}  // namespace sfx
