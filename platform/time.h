// Calendar times and file times, and the machine's local time zone.
#pragma once

#include <cstdint>

namespace sfx::platform {

// A calendar time broken into fields; dayOfWeek 0 is Sunday.
struct CalendarTime {
  std::uint16_t year;
  std::uint16_t month;
  std::uint16_t dayOfWeek;
  std::uint16_t day;
  std::uint16_t hour;
  std::uint16_t minute;
  std::uint16_t second;
  std::uint16_t milliseconds;
};

// File times count 100-nanosecond units since 1601-01-01 00:00.
// Refuses fields outside a valid calendar time (year 1601 to 30827, a day
// that exists in its month, ...); dayOfWeek is not read.
bool CalendarToFileTime(const CalendarTime& calendar, std::uint64_t* fileTime);
bool FileTimeToCalendar(std::uint64_t fileTime, CalendarTime* calendar);
// Local wall-clock time to UTC under the machine's time-zone rules.
bool LocalFileTimeToUtc(std::uint64_t local, std::uint64_t* utc);

}  // namespace sfx::platform
