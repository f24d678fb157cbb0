#include "platform/time.h"

#include "platform/posix/time_zone_p.h"
#include "platform/time_p.h"

namespace sfx::platform {
namespace {

constexpr std::int64_t kUnitsPerMillisecond = 10000;
constexpr std::int64_t kUnitsPerSecond = 10000000;
constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kDaysFrom1601To1970 = 134774;
// The largest value the Windows conversion accepts (bit 63 clear).
constexpr std::uint64_t kMaxFileTime = 0x7FFFFFFFFFFFFFFFull;

// Days since 1970-01-01 in the proleptic Gregorian calendar (H. Hinnant's
// days_from_civil), and its inverse.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t* y, int* m, int* d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = yoe + era * 400 + (*m <= 2);
}

}  // namespace

bool CalendarToFileTime(const CalendarTime& c, std::uint64_t* fileTime) {
  if (!detail::IsValidCalendarTime(c)) return false;
  const std::int64_t days = DaysFromCivil(c.year, c.month, c.day) + kDaysFrom1601To1970;
  const std::int64_t seconds = days * kSecondsPerDay + c.hour * 3600 + c.minute * 60 + c.second;
  *fileTime = static_cast<std::uint64_t>(seconds * kUnitsPerSecond + c.milliseconds * kUnitsPerMillisecond);
  return true;
}

bool FileTimeToCalendar(std::uint64_t fileTime, CalendarTime* c) {
  if (fileTime > kMaxFileTime) return false;
  const auto units = static_cast<std::int64_t>(fileTime);
  const std::int64_t seconds = units / kUnitsPerSecond;
  const std::int64_t days = seconds / kSecondsPerDay;
  const std::int64_t secondOfDay = seconds % kSecondsPerDay;
  std::int64_t year;
  int month, day;
  CivilFromDays(days - kDaysFrom1601To1970, &year, &month, &day);
  c->year = static_cast<std::uint16_t>(year);
  c->month = static_cast<std::uint16_t>(month);
  c->day = static_cast<std::uint16_t>(day);
  c->dayOfWeek = static_cast<std::uint16_t>((days + 1) % 7);  // 1601-01-01 was a Monday
  c->hour = static_cast<std::uint16_t>(secondOfDay / 3600);
  c->minute = static_cast<std::uint16_t>(secondOfDay / 60 % 60);
  c->second = static_cast<std::uint16_t>(secondOfDay % 60);
  c->milliseconds = static_cast<std::uint16_t>(units % kUnitsPerSecond / kUnitsPerMillisecond);
  return true;
}

bool LocalFileTimeToUtc(std::uint64_t local, std::uint64_t* utc) {
  if (local > kMaxFileTime) return false;
  const auto units = static_cast<std::int64_t>(local);
  const std::int64_t localSeconds = units / kUnitsPerSecond - kDaysFrom1601To1970 * kSecondsPerDay;
  std::int64_t utcSeconds;
  if (!detail::ZoneLocalToUtc(localSeconds, &utcSeconds)) return false;
  const std::int64_t result =
      (utcSeconds + kDaysFrom1601To1970 * kSecondsPerDay) * kUnitsPerSecond + units % kUnitsPerSecond;
  if (result < 0) return false;
  *utc = static_cast<std::uint64_t>(result);
  return true;
}

}  // namespace sfx::platform
