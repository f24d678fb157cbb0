// An independent calendar for the date and time tests: day numbers counted
// year by year from the leap rule, with no shared code with the service.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "services/core/file_system.h"

namespace sfx::testing_dates {

inline bool ReferenceLeap(std::int64_t y) { return y % 400 == 0 || (y % 4 == 0 && y % 100 != 0); }

inline int ReferenceMonthLength(std::int64_t y, int m) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && ReferenceLeap(y) ? 29 : kDays[m - 1];
}

// Days from 0-01-01 to January 1 of each year 0..65536.
inline const std::vector<std::int64_t>& YearStarts() {
  static const std::vector<std::int64_t> starts = [] {
    std::vector<std::int64_t> v(65537);
    std::int64_t total = 0;
    for (std::int64_t y = 0; y <= 65536; ++y) {
      v[static_cast<std::size_t>(y)] = total;
      total += ReferenceLeap(y) ? 366 : 365;
    }
    return v;
  }();
  return starts;
}

inline std::int64_t DayNumber(const DateTimeRecord& r) {
  std::int64_t n = YearStarts()[r.year];
  for (int m = 1; m < r.month; ++m) n += ReferenceMonthLength(r.year, m);
  return n + r.day - 1;
}

inline DateTimeRecord FromDayNumber(std::int64_t n) {
  const auto& starts = YearStarts();
  std::int64_t y = 0;
  std::int64_t lo = 0, hi = 65535;
  while (lo <= hi) {  // the last year starting at or before n
    const std::int64_t mid = (lo + hi) / 2;
    if (starts[static_cast<std::size_t>(mid)] <= n) {
      y = mid;
      lo = mid + 1;
    } else {
      hi = mid - 1;
    }
  }
  n -= starts[static_cast<std::size_t>(y)];
  int m = 1;
  while (n >= ReferenceMonthLength(y, m)) n -= ReferenceMonthLength(y, m++);
  return DateTimeRecord{
      static_cast<std::uint16_t>(y), static_cast<std::uint8_t>(m), static_cast<std::uint8_t>(n + 1), 0, 0, 0, 0};
}

// Whole seconds from 0-01-01 00:00:00.
inline std::int64_t SecondNumber(const DateTimeRecord& r) {
  return DayNumber(r) * 86400 + r.hour * 3600 + r.minute * 60 + r.second;
}

inline DateTimeRecord FromSecondNumber(std::int64_t s) {
  DateTimeRecord r = FromDayNumber(s / 86400);
  const std::int64_t t = s % 86400;
  r.hour = static_cast<std::uint8_t>(t / 3600);
  r.minute = static_cast<std::uint8_t>(t / 60 % 60);
  r.second = static_cast<std::uint8_t>(t % 60);
  return r;
}

inline std::int64_t LastSecond() { return YearStarts()[65536] * 86400 - 1; }

// 'y-mm-dd hh:mm:ss.cc', so that a failed comparison shows both records.
inline std::string Show(const DateTimeRecord& r) {
  char text[40];
  std::snprintf(text, sizeof text, "%u-%02u-%02u %02u:%02u:%02u.%02u", r.year, r.month, r.day, r.hour, r.minute,
                r.second, r.hundredths);
  return text;
}

inline DateTimeRecord Rec(unsigned y, unsigned mo, unsigned d, unsigned h = 0, unsigned mi = 0, unsigned s = 0,
                          unsigned c = 0) {
  return DateTimeRecord{static_cast<std::uint16_t>(y), static_cast<std::uint8_t>(mo), static_cast<std::uint8_t>(d),
                        static_cast<std::uint8_t>(h),  static_cast<std::uint8_t>(mi), static_cast<std::uint8_t>(s),
                        static_cast<std::uint8_t>(c)};
}

}  // namespace sfx::testing_dates
