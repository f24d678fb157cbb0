#include "platform/time.h"

#include <windows.h>

#include "platform/time_p.h"

namespace sfx::platform {
namespace {

FILETIME Split(std::uint64_t value) {
  FILETIME t;
  t.dwLowDateTime = static_cast<DWORD>(value);
  t.dwHighDateTime = static_cast<DWORD>(value >> 32);
  return t;
}

std::uint64_t Join(const FILETIME& t) { return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; }

}  // namespace

bool CalendarToFileTime(const CalendarTime& calendar, std::uint64_t* fileTime) {
  if (!detail::IsValidCalendarTime(calendar)) return false;
  SYSTEMTIME s;
  s.wYear = calendar.year;
  s.wMonth = calendar.month;
  s.wDayOfWeek = calendar.dayOfWeek;
  s.wDay = calendar.day;
  s.wHour = calendar.hour;
  s.wMinute = calendar.minute;
  s.wSecond = calendar.second;
  s.wMilliseconds = calendar.milliseconds;
  FILETIME t;
  if (!SystemTimeToFileTime(&s, &t)) return false;
  *fileTime = Join(t);
  return true;
}

bool FileTimeToCalendar(std::uint64_t fileTime, CalendarTime* calendar) {
  const FILETIME t = Split(fileTime);
  SYSTEMTIME s;
  if (!FileTimeToSystemTime(&t, &s)) return false;
  calendar->year = s.wYear;
  calendar->month = s.wMonth;
  calendar->dayOfWeek = s.wDayOfWeek;
  calendar->day = s.wDay;
  calendar->hour = s.wHour;
  calendar->minute = s.wMinute;
  calendar->second = s.wSecond;
  calendar->milliseconds = s.wMilliseconds;
  return true;
}

bool LocalFileTimeToUtc(std::uint64_t local, std::uint64_t* utc) {
  const FILETIME l = Split(local);
  FILETIME u;
  if (!LocalFileTimeToFileTime(&l, &u)) return false;
  *utc = Join(u);
  return true;
}

}  // namespace sfx::platform
