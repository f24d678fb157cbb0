// Private to the time backends: the one rule for a valid calendar time, so
// both targets refuse the same values (some Windows implementations accept
// days that do not exist).
#pragma once

#include "platform/time.h"

namespace sfx::platform::detail {

inline bool IsLeapYear(unsigned year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

inline unsigned DaysInMonth(unsigned year, unsigned month) {
  static constexpr unsigned char kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29u : kDays[month - 1];
}

inline bool IsValidCalendarTime(const CalendarTime& c) {
  return c.year >= 1601 && c.year <= 30827 && c.month >= 1 && c.month <= 12 && c.day >= 1 &&
         c.day <= DaysInMonth(c.year, c.month) && c.hour <= 23 && c.minute <= 59 && c.second <= 59 &&
         c.milliseconds <= 999;
}

}  // namespace sfx::platform::detail
