// Calendar arithmetic: leap years, month lengths, stepping, day counts within
// a year and between records, and moves by days, seconds and hours. Long moves
// jump whole years arithmetically, so even the widest count takes a few
// rounds.
#include "services/text/date_time.h"

#include "services/core/registry_p.h"
#include "services/text/date_time_p.h"

namespace sfx {
namespace {

DateTimeService g_dateTimeService;

using datetime::kLastSecondOfDay;
using datetime::kMaxYear;
using datetime::kSecondsPerDay;

// Rounds of whole-year jumps AddDays and SubtractDays may take. Each round
// leaves less than a year plus r/366 days, so four suffice for any 32-bit count.
constexpr int kMaxDayRounds = 15;

bool Leap(std::uint32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

std::uint32_t MonthLength(std::uint32_t year, std::uint32_t month) {
  switch (month) {
    case 2: return Leap(year) ? 29 : 28;
    case 4:
    case 6:
    case 9:
    case 11: return 30;
    default: return 31;
  }
}

std::uint32_t YearLength(std::uint32_t year) { return Leap(year) ? 366 : 365; }

// Leap years in 0..year (year 0 is one).
std::uint32_t LeapYearsThrough(std::uint32_t year) { return year / 4 - year / 100 + year / 400 + 1; }

// Leap years strictly between two years, in either order.
std::uint32_t LeapYearsBetween(std::uint32_t a, std::uint32_t b) {
  if (a > b) {
    const std::uint32_t t = a;
    a = b;
    b = t;
  }
  if (b - a < 2) return 0;
  return LeapYearsThrough(b - 1) - LeapYearsThrough(a);
}

Result Order(std::uint32_t a, std::uint32_t b) {
  if (a == b) return kDateEqual;
  return a < b ? kDateEarlier : kDateLater;
}

std::uint32_t SecondOfDay(const DateTimeRecord& r) {
  return static_cast<std::uint32_t>(r.hour) * 3600u + static_cast<std::uint32_t>(r.minute) * 60u + r.second;
}

void SetSecondOfDay(DateTimeRecord* r, std::uint32_t s) {
  r->hour = static_cast<std::uint8_t>(s / 3600);
  r->minute = static_cast<std::uint8_t>(s / 60 % 60);
  r->second = static_cast<std::uint8_t>(s % 60);
}

std::uint32_t Saturate32(std::uint64_t v) { return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(v); }

}  // namespace

ServiceObject* detail::TheDateTimeService() { return &g_dateTimeService; }

// ---- calendar rules ----

Result DateTimeService::IsLeapYear(std::uint32_t year) { return Leap(year & 0xFFFFu) ? kLeapYear : kCommonYear; }

Result DateTimeService::CountLeapYears(std::uint32_t first, std::uint32_t second, std::uint16_t* count) {
  if (count == nullptr) return kNullOutput;
  first &= 0xFFFFu;
  second &= 0xFFFFu;
  *count = static_cast<std::uint16_t>(LeapYearsBetween(first, second));
  return Order(first, second);
}

Result DateTimeService::DaysInMonth(std::uint32_t year, std::uint32_t month, std::uint8_t* days) {
  if (days == nullptr) return kNullOutput;
  *days = static_cast<std::uint8_t>(MonthLength(year & 0xFFFFu, month & 0xFFu));
  return kOk;
}

Result DateTimeService::NextDay(DateTimeRecord* r) {
  if (r == nullptr) return kNullOutput;
  if (r->day < MonthLength(r->year, r->month)) {
    ++r->day;
    return kOk;
  }
  r->day = 1;
  if (r->month < 12) {
    ++r->month;
    return kOk;
  }
  r->month = 1;
  if (r->year == kMaxYear) {
    r->year = 0;
    return kFail;
  }
  ++r->year;
  return kOk;
}

Result DateTimeService::PreviousDay(DateTimeRecord* r) {
  if (r == nullptr) return kNullOutput;
  if (r->day == 0) return kFail;
  if (--r->day != 0) return kOk;
  if (r->month == 0) return kFail;
  if (--r->month != 0) {
    r->day = static_cast<std::uint8_t>(MonthLength(r->year, r->month));
    return kOk;
  }
  if (r->year == 0) return kFail;
  --r->year;
  r->month = 12;
  r->day = 31;
  return kOk;
}

Result DateTimeService::CompareDateTime(const DateTimeRecord* a, const DateTimeRecord* b) {
  if (a == nullptr || b == nullptr) return kNullOutput;
  const std::uint32_t fa[] = {a->year, a->month, a->day, a->hour, a->minute, a->second, a->hundredths};
  const std::uint32_t fb[] = {b->year, b->month, b->day, b->hour, b->minute, b->second, b->hundredths};
  for (int i = 0; i < 7; ++i) {
    if (fa[i] != fb[i]) return fa[i] < fb[i] ? kDateEarlier : kDateLater;
  }
  return kDateEqual;
}

// ---- days within one year ----

Result DateTimeService::DaysBetweenInYear(std::uint32_t year, std::uint32_t firstMonth, std::uint32_t firstDay,
                                          std::uint32_t secondMonth, std::uint32_t secondDay, std::uint32_t* days) {
  if (days == nullptr) return kNullOutput;
  year &= 0xFFFFu;
  const Result outcome = firstMonth != secondMonth ? Order(firstMonth, secondMonth) : Order(firstDay, secondDay);
  std::uint32_t em = firstMonth, ed = firstDay, lm = secondMonth, ld = secondDay;
  if (outcome == kDateLater) {
    em = secondMonth, ed = secondDay, lm = firstMonth, ld = firstDay;
  }
  if (em == lm) {
    *days = ld - ed;
    return outcome;
  }
  const std::uint32_t firstLength = MonthLength(year, em);
  std::uint64_t total = ed > firstLength ? 0 : firstLength - ed;
  // Month values are bytes at most in records; wider values cost a loop of
  // their size, so they are bounded here the same way.
  for (std::uint32_t m = em + 1; m < lm && m <= 0xFFu; ++m) total += MonthLength(year, m);
  total += ld;
  *days = Saturate32(total);
  return outcome;
}

Result DateTimeService::AddDaysInYear(std::uint32_t year, std::uint32_t month, std::uint32_t day, std::uint32_t count,
                                      std::uint8_t* outMonth, std::uint8_t* outDay, std::uint32_t* remaining) {
  if (outMonth == nullptr || outDay == nullptr || remaining == nullptr) return kNullOutput;
  year &= 0xFFFFu;
  month &= 0xFFu;
  day &= 0xFFu;
  *remaining = 0;
  if (count > 0) {
    std::uint32_t length = MonthLength(year, month);
    if (day < length) {
      if (count <= length - day) {
        day += count;
        count = 0;
      } else {
        count -= length - day;
      }
    }
    while (count > 0 && month < 12) {
      ++month;
      length = MonthLength(year, month);
      if (count <= length) {
        day = count;
        count = 0;
      } else {
        count -= length;
      }
    }
    if (count > 0) {
      month = 12;
      day = 31;
      *remaining = count;
    }
  }
  *outMonth = static_cast<std::uint8_t>(month);
  *outDay = static_cast<std::uint8_t>(day);
  return kOk;
}

Result DateTimeService::SubtractDaysInYear(std::uint32_t year, std::uint32_t month, std::uint32_t day,
                                           std::uint32_t count, std::uint8_t* outMonth, std::uint8_t* outDay,
                                           std::uint32_t* remaining) {
  if (outMonth == nullptr || outDay == nullptr || remaining == nullptr) return kNullOutput;
  year &= 0xFFFFu;
  month &= 0xFFu;
  day &= 0xFFu;
  *remaining = 0;
  if (count < day) {
    day -= count;
  } else {
    // A day of 0 stands before the first: nothing to take back to reach it.
    if (day > 0) count -= day - 1;
    day = 1;
    while (count > 0 && month > 1) {
      --month;
      const std::uint32_t length = MonthLength(year, month);
      if (count <= length) {
        day = length - count + 1;
        count = 0;
      } else {
        count -= length;
      }
    }
    if (count > 0) {
      month = 1;
      day = 1;
      *remaining = count;
    }
  }
  *outMonth = static_cast<std::uint8_t>(month);
  *outDay = static_cast<std::uint8_t>(day);
  return kOk;
}

// ---- days between records, and moves by days ----

Result DateTimeService::DaysBetween(const DateTimeRecord* first, const DateTimeRecord* second, std::uint32_t* days) {
  if (first == nullptr || second == nullptr || days == nullptr) return kNullOutput;
  if (first->year == second->year) {
    return DaysBetweenInYear(first->year, first->month, first->day, second->month, second->day, days);
  }
  const Result outcome = Order(first->year, second->year);
  const DateTimeRecord& later = outcome == kDateLater ? *first : *second;
  const DateTimeRecord& earlier = outcome == kDateLater ? *second : *first;
  std::uint64_t total = 0;
  const std::uint32_t gap = later.year - earlier.year;
  if (gap > 1) {
    const std::uint32_t leaps = LeapYearsBetween(earlier.year, later.year);
    total += 366ull * leaps + 365ull * (gap - 1 - leaps);
  }
  std::uint32_t part = 0;
  SFX_TRY(DaysBetweenInYear(earlier.year, earlier.month, earlier.day, 12, 31, &part));
  total += part;
  SFX_TRY(DaysBetweenInYear(later.year, 1, 1, later.month, later.day, &part));
  total += part + 1;
  *days = Saturate32(total);
  return outcome;
}

Result DateTimeService::AddDays(DateTimeRecord* r, std::uint32_t count) {
  if (r == nullptr) return kNullOutput;
  std::uint32_t left = 0;
  SFX_TRY(AddDaysInYear(r->year, r->month, r->day, count, &r->month, &r->day, &left));
  if (left == 0) return kOk;
  // The record stands on December 31 of its year with `left` days to go.
  for (int round = 0; round < kMaxDayRounds; ++round) {
    const std::uint32_t year = r->year;
    if (year == kMaxYear) return kFail;
    if (left <= YearLength(year + 1)) {
      r->year = static_cast<std::uint16_t>(year + 1);
      r->month = 1;
      r->day = 1;
      SFX_TRY(AddDaysInYear(r->year, 1, 1, left - 1, &r->month, &r->day, &left));
      return kOk;
    }
    const std::uint32_t k = left / 366;
    if (k > kMaxYear - year) return kFail;
    const std::uint32_t to = year + k;
    left -= 365 * k + LeapYearsBetween(year, to) + (Leap(to) ? 1 : 0);
    r->year = static_cast<std::uint16_t>(to);
  }
  return kFail;
}

Result DateTimeService::SubtractDays(DateTimeRecord* r, std::uint32_t count) {
  if (r == nullptr) return kNullOutput;
  std::uint32_t left = 0;
  SFX_TRY(SubtractDaysInYear(r->year, r->month, r->day, count, &r->month, &r->day, &left));
  if (left == 0) return kOk;
  // The record stands on January 1 of its year with `left` days to go back.
  for (int round = 0; round < kMaxDayRounds; ++round) {
    const std::uint32_t year = r->year;
    if (year == 0) return kFail;
    if (left <= YearLength(year - 1)) {
      r->year = static_cast<std::uint16_t>(year - 1);
      r->month = 12;
      r->day = 31;
      SFX_TRY(SubtractDaysInYear(r->year, 12, 31, left - 1, &r->month, &r->day, &left));
      return kOk;
    }
    const std::uint32_t k = left / 366;
    if (k > year) return kFail;
    const std::uint32_t to = year - k;
    left -= 365 * k + LeapYearsBetween(to, year) + (Leap(to) ? 1 : 0);
    r->year = static_cast<std::uint16_t>(to);
  }
  return kFail;
}

// ---- seconds ----

Result DateTimeService::SecondsBetween(const DateTimeRecord* first, const DateTimeRecord* second,
                                       std::uint32_t* seconds) {
  if (first == nullptr || second == nullptr || seconds == nullptr) return kNullOutput;
  const Result outcome = CompareDateTime(first, second);
  if (outcome == kDateEqual) {
    *seconds = 0;
    return outcome;
  }
  const DateTimeRecord& later = outcome == kDateLater ? *first : *second;
  const DateTimeRecord& earlier = outcome == kDateLater ? *second : *first;
  // Subtract the time fields with borrowing; a fraction left over counts as a whole second.
  int borrow = later.hundredths < earlier.hundredths ? 1 : 0;
  const bool fraction = later.hundredths != earlier.hundredths;
  std::int64_t s = static_cast<std::int64_t>(later.second) - earlier.second - borrow;
  borrow = s < 0 ? 1 : 0;
  s += 60 * borrow;
  std::int64_t m = static_cast<std::int64_t>(later.minute) - earlier.minute - borrow;
  borrow = m < 0 ? 1 : 0;
  m += 60 * borrow;
  std::int64_t h = static_cast<std::int64_t>(later.hour) - earlier.hour - borrow;
  borrow = h < 0 ? 1 : 0;
  h += 24 * borrow;
  // Fields outside their ranges can leave a negative remainder; it only lowers the total.
  std::int64_t total = s + 60 * m + 3600 * h + (fraction ? 1 : 0);
  DateTimeRecord laterDate = later;
  // A failure here needs a day or month of 0 in the later record; the day count then reads the fields as they are.
  if (borrow != 0) (void)PreviousDay(&laterDate);
  std::uint32_t days = 0;
  const Result dayOutcome = DaysBetween(&laterDate, &earlier, &days);
  if (Failed(dayOutcome)) return dayOutcome;
  total += (dayOutcome == kDateEarlier ? -1 : 1) * kSecondsPerDay * static_cast<std::int64_t>(days);
  *seconds = total < 0 ? 0 : Saturate32(static_cast<std::uint64_t>(total));
  return outcome;
}

Result DateTimeService::AddSecondsInDay(DateTimeRecord* r, std::uint32_t seconds, std::uint32_t* remaining) {
  if (r == nullptr) return kNullOutput;
  const std::uint64_t sum = static_cast<std::uint64_t>(SecondOfDay(*r)) + seconds;
  std::uint64_t left = 0;
  if (sum > kLastSecondOfDay) {
    left = sum - kLastSecondOfDay;
    SetSecondOfDay(r, kLastSecondOfDay);
  } else {
    SetSecondOfDay(r, static_cast<std::uint32_t>(sum));
  }
  if (remaining != nullptr) *remaining = Saturate32(left);
  return kOk;
}

Result DateTimeService::SubtractSecondsInDay(DateTimeRecord* r, std::uint32_t seconds, std::uint32_t* remaining) {
  if (r == nullptr) return kNullOutput;
  const std::uint32_t now = SecondOfDay(*r);
  std::uint32_t left = 0;
  if (seconds > now) {
    left = seconds - now;
    SetSecondOfDay(r, 0);
  } else {
    SetSecondOfDay(r, now - seconds);
  }
  if (remaining != nullptr) *remaining = left;
  return kOk;
}

Result DateTimeService::AddSeconds(DateTimeRecord* r, std::uint32_t seconds) {
  if (r == nullptr) return kNullOutput;
  std::uint32_t left = 0;
  SFX_TRY(AddSecondsInDay(r, seconds, &left));
  if (Failed(AddDays(r, left / kSecondsPerDay))) return kFail;
  left %= kSecondsPerDay;
  if (left == 0) return kOk;
  if (Failed(NextDay(r))) return kFail;
  SetSecondOfDay(r, 0);
  SFX_TRY(AddSecondsInDay(r, left - 1, &left));
  return left == 0 ? kOk : kFail;
}

Result DateTimeService::SubtractSeconds(DateTimeRecord* r, std::uint32_t seconds) {
  if (r == nullptr) return kNullOutput;
  std::uint32_t left = 0;
  SFX_TRY(SubtractSecondsInDay(r, seconds, &left));
  if (Failed(SubtractDays(r, left / kSecondsPerDay))) return kFail;
  left %= kSecondsPerDay;
  if (left == 0) return kOk;
  if (Failed(PreviousDay(r))) return kFail;
  SetSecondOfDay(r, kLastSecondOfDay);
  SFX_TRY(SubtractSecondsInDay(r, left - 1, &left));
  return left == 0 ? kOk : kFail;
}

Result DateTimeService::DayOfWeek(const DateTimeRecord* r, std::uint8_t* weekday) {
  if (r == nullptr || weekday == nullptr) return kNullOutput;
  static constexpr DateTimeRecord kYearZero = {0, 1, 1, 0, 0, 0, 0};
  std::uint32_t days = 0;
  const Result outcome = DaysBetween(r, &kYearZero, &days);
  if (Failed(outcome)) return outcome;
  // 0-01-01 was a Saturday (5).
  *weekday = static_cast<std::uint8_t>((static_cast<std::uint64_t>(days) + 5) % 7);
  return kOk;
}

// ---- hours ----

Result DateTimeService::HoursBetween(const DateTimeRecord* first, const DateTimeRecord* second, std::uint32_t* hours) {
  if (first == nullptr || second == nullptr || hours == nullptr) return kNullOutput;
  DateTimeRecord a = *first, b = *second;
  a.minute = a.second = a.hundredths = 0;
  b.minute = b.second = b.hundredths = 0;
  const Result outcome = CompareDateTime(&a, &b);
  if (Failed(outcome)) return outcome;
  const DateTimeRecord& later = outcome == kDateLater ? a : b;
  const DateTimeRecord& earlier = outcome == kDateLater ? b : a;
  std::uint32_t days = 0;
  const Result dayOutcome = DaysBetween(&later, &earlier, &days);
  if (Failed(dayOutcome)) return dayOutcome;
  const std::int64_t total = 24 * static_cast<std::int64_t>(days) + later.hour - earlier.hour;
  *hours = total < 0 ? 0 : Saturate32(static_cast<std::uint64_t>(total));
  return outcome;
}

Result DateTimeService::AddHours(DateTimeRecord* r, std::uint32_t hours) {
  if (r == nullptr) return kNullOutput;
  if (r->hour < 24 && hours < 24u - r->hour) {
    r->hour = static_cast<std::uint8_t>(r->hour + hours);
    return kOk;
  }
  const std::uint64_t carry = static_cast<std::uint64_t>(hours) + r->hour - 24;
  // carry / 24 + 1 stays below 2^32 for every 32-bit count and byte hour.
  SFX_TRY(AddDays(r, static_cast<std::uint32_t>(carry / 24 + 1)));
  r->hour = static_cast<std::uint8_t>(carry % 24);
  return kOk;
}

Result DateTimeService::SubtractHours(DateTimeRecord* r, std::uint32_t hours) {
  if (r == nullptr) return kNullOutput;
  if (hours <= r->hour) {
    r->hour = static_cast<std::uint8_t>(r->hour - hours);
    return kOk;
  }
  const std::uint32_t deficit = hours - r->hour;
  SFX_TRY(SubtractDays(r, deficit / 24 + (deficit % 24 != 0 ? 1 : 0)));
  r->hour = static_cast<std::uint8_t>((24 - deficit % 24) % 24);
  return kOk;
}

}  // namespace sfx
