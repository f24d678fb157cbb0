// The next run of a schedule rule. Eight variants: four kinds, each with an
// interval (runs at an anchor time plus whole multiples of n units, the first
// one not before the earliest allowed time) or with a selection mask (the
// first selected slot at or after a base time). Every variant works in whole
// minutes of local time; a failed date step ends it with a code that names
// the step, so a caller can tell which part of a rule could not be placed.
#include "services/data/schedule.h"

#include <algorithm>

#include "services/core/registry_p.h"
#include "services/text/date_time.h"

namespace sfx {
namespace {

ScheduleService g_scheduleService;

constexpr std::uint32_t kMaxYear = 65535;
constexpr std::uint32_t kSecondsPerMinute = 60;
// Days of the month below this exist in every month.
constexpr std::uint32_t kDayInEveryMonth = 29;

constexpr Result Code(std::uint32_t code) { return FailureCode(facility::kSchedule, code); }

// Ends the variant with `code` when the date step fails.
#define SCHEDULE_STEP(expr, code)        \
  do {                                   \
    if (Failed(expr)) return Code(code); \
  } while (0)

void ClearSeconds(DateTimeRecord* r) {
  r->second = 0;
  r->hundredths = 0;
}

bool Present(const DateTimeRecord* r) { return r != nullptr && r->year != 0; }

// What every variant works from: the rule's fields with their out-of-range
// values mapped, and the current time, start and last run in whole minutes.
struct Plan {
  DateTimeService* dates;
  std::uint32_t hour;
  std::uint32_t minute;
  std::uint32_t weekday;
  std::uint32_t dayOfMonth;
  std::uint32_t interval;
  std::uint32_t mask;
  DateTimeRecord now;
  DateTimeRecord start;
  DateTimeRecord last;
  bool hasStart;
  bool hasLast;

  bool Earlier(const DateTimeRecord& a, const DateTimeRecord& b) const {
    return dates->CompareDateTime(&a, &b) == kDateEarlier;
  }
  const DateTimeRecord& LaterOf(const DateTimeRecord& a, const DateTimeRecord& b) const {
    return Earlier(a, b) ? b : a;
  }
  bool Selected(std::uint32_t bit) const { return bit < 32 && (mask >> bit & 1u) != 0; }
};

// ---- shared steps ----

// Interval variants: no run before the minute after the last run, nor before now.
Result Earliest(const Plan& p, DateTimeRecord* t, std::uint32_t code) {
  *t = p.now;
  if (!p.hasLast) return kOk;
  DateTimeRecord afterLast = p.last;
  SCHEDULE_STEP(p.dates->AddSeconds(&afterLast, kSecondsPerMinute), code);
  *t = p.LaterOf(afterLast, p.now);
  return kOk;
}

// Mask variants: the first minute a run may take.
Result Base(const Plan& p, DateTimeRecord* b, std::uint32_t code) {
  if (p.hasLast && !(p.hasStart && p.Earlier(p.last, p.start))) {
    if (p.Earlier(p.last, p.now)) {
      *b = p.now;
      return kOk;
    }
    *b = p.last;
    SCHEDULE_STEP(p.dates->AddSeconds(b, kSecondsPerMinute), code);
    return kOk;
  }
  *b = p.hasStart ? p.LaterOf(p.start, p.now) : p.now;
  return kOk;
}

// The rule's time of day at or after `b`.
Result AdjustTimeOfDay(const Plan& p, DateTimeRecord* b, std::uint32_t code) {
  if (p.hour * 60 + p.minute < b->hour * 60u + b->minute) SCHEDULE_STEP(p.dates->AddDays(b, 1), code);
  b->hour = static_cast<std::uint8_t>(p.hour);
  b->minute = static_cast<std::uint8_t>(p.minute);
  return kOk;
}

// The rule's day in b's month: days from 29 on are cut to the month's length.
Result SetDay(const Plan& p, DateTimeRecord* b, std::uint32_t code) {
  std::uint32_t day = p.dayOfMonth;
  if (day >= kDayInEveryMonth) {
    std::uint8_t length = 0;
    SCHEDULE_STEP(p.dates->DaysInMonth(b->year, b->month, &length), code);
    if (length < day) day = length;
  }
  b->day = static_cast<std::uint8_t>(day);
  return kOk;
}

// Moves b on by whole months and puts it on the rule's day of that month. The
// day is set before b is compared with anything: a day left over from a
// shorter month would compare too early.
Result AdvanceMonths(const Plan& p, DateTimeRecord* b, std::uint64_t months, std::uint32_t code) {
  const std::uint64_t index = static_cast<std::uint64_t>(b->year) * 12 + (b->month - 1u) + months;
  if (index / 12 > kMaxYear) return Code(code);
  b->year = static_cast<std::uint16_t>(index / 12);
  b->month = static_cast<std::uint8_t>(index % 12 + 1);
  return SetDay(p, b, code);
}

Result MoveToWeekday(const Plan& p, DateTimeRecord* b, std::uint32_t weekdayCode, std::uint32_t addCode) {
  std::uint8_t wd = 0;
  SCHEDULE_STEP(p.dates->DayOfWeek(b, &wd), weekdayCode);
  if (wd != p.weekday) SCHEDULE_STEP(p.dates->AddDays(b, (p.weekday + 7 - wd) % 7), addCode);
  return kOk;
}

// ---- hourly ----

Result HourlyInterval(const Plan& p, DateTimeRecord* b) {
  if (!p.hasStart && p.hasLast) {
    *b = p.last;
  } else {
    *b = p.hasStart ? p.start : p.now;
    if (p.minute < b->minute) SCHEDULE_STEP(p.dates->AddHours(b, 1), 0x0007);
  }
  b->minute = static_cast<std::uint8_t>(p.minute);
  DateTimeRecord t{};
  SFX_TRY(Earliest(p, &t, 0x0009));
  if (p.Earlier(t, *b)) return kOk;
  std::uint32_t k = 0;
  SCHEDULE_STEP(p.dates->HoursBetween(&t, b, &k), 0x000A);
  SCHEDULE_STEP(p.dates->AddHours(b, p.interval * (k / p.interval)), 0x000B);
  if (p.Earlier(*b, t)) SCHEDULE_STEP(p.dates->AddHours(b, p.interval), 0x000B);
  return kOk;
}

Result HourlyMask(const Plan& p, DateTimeRecord* b) {
  SFX_TRY(Base(p, b, 0x000C));
  if (p.minute < b->minute) SCHEDULE_STEP(p.dates->AddHours(b, 1), 0x000D);
  b->minute = static_cast<std::uint8_t>(p.minute);
  for (std::uint32_t h = b->hour; h < 24; ++h) {
    if (p.Selected(h)) {
      b->hour = static_cast<std::uint8_t>(h);
      return kOk;
    }
  }
  for (std::uint32_t h = 0; h < b->hour && h < 24; ++h) {
    if (p.Selected(h)) {
      b->hour = static_cast<std::uint8_t>(h);
      SCHEDULE_STEP(p.dates->AddDays(b, 1), 0x000F);
      return kOk;
    }
  }
  return kScheduleNoHour;
}

// ---- daily ----

Result DailyInterval(const Plan& p, DateTimeRecord* b) {
  if (!p.hasStart && p.hasLast) {
    *b = p.last;
    b->hour = static_cast<std::uint8_t>(p.hour);
    b->minute = static_cast<std::uint8_t>(p.minute);
  } else {
    *b = p.hasStart ? p.start : p.now;
    SFX_TRY(AdjustTimeOfDay(p, b, 0x0011));
  }
  DateTimeRecord t{};
  SFX_TRY(Earliest(p, &t, 0x0013));
  if (p.Earlier(t, *b)) return kOk;
  std::uint32_t k = 0;
  SCHEDULE_STEP(p.dates->DaysBetween(&t, b, &k), 0x0014);
  SCHEDULE_STEP(p.dates->AddDays(b, p.interval * (k / p.interval)), 0x0015);
  if (p.Earlier(*b, t)) SCHEDULE_STEP(p.dates->AddDays(b, p.interval), 0x0015);
  return kOk;
}

Result DailyMask(const Plan& p, DateTimeRecord* b) {
  SFX_TRY(Base(p, b, 0x0016));
  SFX_TRY(AdjustTimeOfDay(p, b, 0x0017));
  std::uint8_t wd = 0;
  SCHEDULE_STEP(p.dates->DayOfWeek(b, &wd), 0x0018);
  for (std::uint32_t i = wd; i < 7; ++i) {
    if (p.Selected(i)) {
      SCHEDULE_STEP(p.dates->AddDays(b, i - wd), 0x0019);
      return kOk;
    }
  }
  for (std::uint32_t i = 0; i < wd; ++i) {
    if (p.Selected(i)) {
      SCHEDULE_STEP(p.dates->AddDays(b, i + 7 - wd), 0x001B);
      return kOk;
    }
  }
  return kScheduleNoWeekday;
}

// ---- weekly ----

Result WeeklyInterval(const Plan& p, DateTimeRecord* b) {
  if (p.hasStart || !p.hasLast) {
    *b = p.hasStart ? p.start : p.now;
    SFX_TRY(AdjustTimeOfDay(p, b, 0x0020));
  } else {
    // Weeks are counted from the rule's weekday on or before the last run's
    // day, so the next run comes n weeks after the last, never sooner.
    *b = p.last;
    std::uint8_t wd = 0;
    SCHEDULE_STEP(p.dates->DayOfWeek(b, &wd), 0x001C);
    SCHEDULE_STEP(p.dates->SubtractDays(b, (wd + 7 - p.weekday) % 7), 0x001D);
    b->hour = static_cast<std::uint8_t>(p.hour);
    b->minute = static_cast<std::uint8_t>(p.minute);
  }
  SFX_TRY(MoveToWeekday(p, b, 0x001C, 0x0021));
  DateTimeRecord t{};
  SFX_TRY(Earliest(p, &t, 0x0022));
  if (p.Earlier(t, *b)) return kOk;
  std::uint32_t k = 0;
  SCHEDULE_STEP(p.dates->DaysBetween(&t, b, &k), 0x0023);
  const std::uint32_t period = 7 * p.interval;
  SCHEDULE_STEP(p.dates->AddDays(b, period * (k / period)), 0x0024);
  if (p.Earlier(*b, t)) SCHEDULE_STEP(p.dates->AddDays(b, period), 0x0024);
  return kOk;
}

// Mask bits 0..3 select the first to fourth occurrence of the weekday in the
// month, bit 4 the last (the fourth or the fifth).
Result WeeklyMask(const Plan& p, DateTimeRecord* b) {
  constexpr std::uint32_t kLastBit = 4;
  SFX_TRY(Base(p, b, 0x0025));
  SFX_TRY(AdjustTimeOfDay(p, b, 0x0026));
  SFX_TRY(MoveToWeekday(p, b, 0x0027, 0x0028));
  std::uint8_t length = 0;
  SCHEDULE_STEP(p.dates->DaysInMonth(b->year, b->month, &length), 0x0029);
  // b is the (q + 1)-th occurrence. A start or last run with a day outside
  // the month must not make q large: it bounds the search below.
  const std::uint32_t q = b->day == 0 ? 0 : std::min<std::uint32_t>((b->day - 1u) / 7, kLastBit + 1);
  for (std::uint32_t i = q; i <= kLastBit; ++i) {
    if (!p.Selected(i)) continue;
    std::uint32_t day = b->day;
    if (i == kLastBit) {
      while (day + 7 <= length) day += 7;
    } else {
      day += 7 * (i - q);
    }
    b->day = static_cast<std::uint8_t>(day);
    return kOk;
  }
  for (std::uint32_t j = 0; j < q && j < kLastBit; ++j) {
    if (!p.Selected(j)) continue;
    // The first occurrence in the next month, then j weeks on.
    const std::uint32_t toNextMonth = 7 * ((length - b->day) / 7 + 1);
    SCHEDULE_STEP(p.dates->AddDays(b, toNextMonth + 7 * j), 0x002B);
    return kOk;
  }
  return kScheduleNoWeek;
}

// ---- monthly ----

constexpr std::uint32_t kMonthDayCode = 0x002B;

Result MonthlyInterval(const Plan& p, DateTimeRecord* b) {
  if (!p.hasStart && p.hasLast) {
    *b = p.last;
    SFX_TRY(SetDay(p, b, kMonthDayCode));
    b->hour = static_cast<std::uint8_t>(p.hour);
    b->minute = static_cast<std::uint8_t>(p.minute);
  } else {
    *b = p.hasStart ? p.start : p.now;
    SFX_TRY(AdjustTimeOfDay(p, b, 0x002C));
  }
  if (p.dayOfMonth < b->day) {
    SFX_TRY(AdvanceMonths(p, b, 1, kMonthDayCode));
  } else {
    SFX_TRY(SetDay(p, b, kMonthDayCode));
  }
  DateTimeRecord t{};
  SFX_TRY(Earliest(p, &t, 0x002D));
  if (p.Earlier(t, *b)) return kOk;
  const std::uint32_t k = (t.year * 12u + t.month) - (b->year * 12u + b->month);
  SFX_TRY(AdvanceMonths(p, b, static_cast<std::uint64_t>(p.interval) * (k / p.interval), kMonthDayCode));
  if (p.Earlier(*b, t)) SFX_TRY(AdvanceMonths(p, b, p.interval, kMonthDayCode));
  return kOk;
}

Result MonthlyMask(const Plan& p, DateTimeRecord* b) {
  SFX_TRY(Base(p, b, 0x002E));
  SFX_TRY(AdjustTimeOfDay(p, b, 0x002F));
  if (p.dayOfMonth < b->day) {
    SFX_TRY(AdvanceMonths(p, b, 1, kMonthDayCode));
  } else {
    SFX_TRY(SetDay(p, b, kMonthDayCode));
  }
  const std::uint32_t month = b->month;
  for (std::uint32_t m = month; m <= 12; ++m) {
    if (p.Selected(m - 1)) return AdvanceMonths(p, b, m - month, kMonthDayCode);
  }
  for (std::uint32_t m = 1; m < month; ++m) {
    if (p.Selected(m - 1)) return AdvanceMonths(p, b, 12 + m - month, kMonthDayCode);
  }
  return kScheduleNoMonth;
}

}  // namespace

ServiceObject* detail::TheScheduleService() { return &g_scheduleService; }

Result ScheduleService::NextRunTime(const ScheduleRule* rule, const DateTimeRecord* start, const DateTimeRecord* end,
                                    const DateTimeRecord* lastRun, DateTimeRecord* next) {
  if (rule == nullptr || next == nullptr) return kNullOutput;
  Plan p{};
  p.dates = DateTimes();
  if (Failed(p.dates->GetCurrentLocal(&p.now))) return kScheduleNoClock;
  ClearSeconds(&p.now);
  p.hasStart = Present(start);
  p.hasLast = Present(lastRun);
  if (p.hasStart) {
    p.start = *start;
    ClearSeconds(&p.start);
  }
  if (p.hasLast) {
    p.last = *lastRun;
    ClearSeconds(&p.last);
  }
  const std::uint32_t hour = rule->time / 100u;
  const std::uint32_t minute = rule->time % 100u;
  p.hour = hour > 23 ? 23 : hour;
  p.minute = minute > 59 ? 59 : minute;
  p.weekday = rule->weekday > 6 ? 6 : rule->weekday;
  p.dayOfMonth = rule->dayOfMonth == 0 ? 1 : rule->dayOfMonth > 30 ? 31 : rule->dayOfMonth;
  p.interval = rule->interval;
  p.mask = rule->mask;

  const bool byInterval = p.interval != 0;
  Result outcome;
  switch (rule->kind) {
    case kScheduleHourly: outcome = byInterval ? HourlyInterval(p, next) : HourlyMask(p, next); break;
    case kScheduleDaily: outcome = byInterval ? DailyInterval(p, next) : DailyMask(p, next); break;
    case kScheduleWeekly: outcome = byInterval ? WeeklyInterval(p, next) : WeeklyMask(p, next); break;
    case kScheduleMonthly: outcome = byInterval ? MonthlyInterval(p, next) : MonthlyMask(p, next); break;
    default: return kScheduleBadKind;
  }
  if (Failed(outcome)) return outcome;
  if (Present(end) && p.dates->CompareDateTime(next, end) == kDateLater) next->year = 0;
  ClearSeconds(next);
  return kOk;
}

}  // namespace sfx
