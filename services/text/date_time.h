// Calendar arithmetic on DateTimeRecord values in the proleptic Gregorian
// calendar (years 0 to 65535, year 0 a leap year), date texts in the three
// forms protocol headers use and in the library's slash layout, the clock in
// UTC and local time, and second counts since 1970 and 1904.
//
// Records are not validated: results assume valid fields unless an operation
// says otherwise, but no field value makes an operation loop, overrun a
// buffer or read outside its input. Operations that build on others call
// them through this object's own table, so a substitute service that
// replaces one operation changes every operation built on it.
//
// Counts of days, hours and seconds are unsigned 32 bits; sums and products
// of them are formed in 64 bits and saturate where the operation says so.
#pragma once

#include <cstdint>

#include "services/core/file_system.h"  // DateTimeRecord
#include "services/core/service.h"

namespace sfx {

// Outcomes.
inline constexpr Result kDateEqual = 0;
inline constexpr Result kDateEarlier = 2;  // the first argument is earlier than the second
inline constexpr Result kDateLater = 3;    // the first argument is later than the second
inline constexpr Result kLeapYear = 6;
inline constexpr Result kCommonYear = 7;

// Failures of the text operations. kFail (0x80000000) is the failure of the
// arithmetic: a result outside the years 0 to 65535, or a field needed for
// the step that is 0.
inline constexpr Result kDateNoHeaderForm = FailureCode(facility::kDateTime, 0x0001);  // 0x80060001
inline constexpr Result kDateBadYear = FailureCode(facility::kDateTime, 0x0002);       // 0x80060002
inline constexpr Result kDateBadMonth = FailureCode(facility::kDateTime, 0x0003);      // 0x80060003
inline constexpr Result kDateBadDay = FailureCode(facility::kDateTime, 0x0004);        // 0x80060004
inline constexpr Result kDateBadHour = FailureCode(facility::kDateTime, 0x0005);       // 0x80060005
inline constexpr Result kDateBadMinute = FailureCode(facility::kDateTime, 0x0006);     // 0x80060006
inline constexpr Result kDateBadSecond = FailureCode(facility::kDateTime, 0x0007);     // 0x80060007
inline constexpr Result kDateNoWeekday = FailureCode(facility::kDateTime, 0x0008);     // 0x80060008

// Output sizes of the formatters.
inline constexpr std::uint32_t kHeaderDateLength = 29;  // 'Sun, 06 Nov 1994 08:49:37 GMT', no terminator
inline constexpr std::uint32_t kTimeOfDaySize = 9;      // '08:49:37' and a zero byte
inline constexpr std::uint32_t kDateTimeSize = 20;      // '2024/03/07 09:05:00' and a zero byte, years to 9999
inline constexpr std::uint32_t kDateTimeMaxSize = 21;   // the same for five-digit years

// Null record or output pointers give kNullOutput.
class DateTimeService : public ServiceObject {
 public:
  // ---- calendar rules ----
  // 1. kLeapYear or kCommonYear; the low 16 bits of the year are used.
  virtual Result IsLeapYear(std::uint32_t year);
  // 2. Leap years strictly between the two years (low 16 bits each); the
  //    outcome orders the first year against the second.
  virtual Result CountLeapYears(std::uint32_t first, std::uint32_t second, std::uint16_t* count);
  // 3. 31 for every month value other than 2, 4, 6, 9 and 11 (0 and 13 included).
  virtual Result DaysInMonth(std::uint32_t year, std::uint32_t month, std::uint8_t* days);
  // 4. Past 65535-12-31 the record reads 0-01-01 and kFail is returned.
  virtual Result NextDay(DateTimeRecord* record);
  // 5. Before 0-01-01, or a day or month of 0, fails; fields already
  //    decreased stay decreased.
  virtual Result PreviousDay(DateTimeRecord* record);
  // 6. Field by field from the year to the hundredths, unsigned.
  virtual Result CompareDateTime(const DateTimeRecord* first, const DateTimeRecord* second);
  // ---- days ----
  // 7. Days from the earlier (month, day) to the later within one year.
  virtual Result DaysBetweenInYear(std::uint32_t year, std::uint32_t firstMonth, std::uint32_t firstDay,
                                   std::uint32_t secondMonth, std::uint32_t secondDay, std::uint32_t* days);
  // 8, 9. Moves (month, day) by `count` days but never past December 31
  //    (before January 1); `remaining` receives the days still to move.
  virtual Result AddDaysInYear(std::uint32_t year, std::uint32_t month, std::uint32_t day, std::uint32_t count,
                               std::uint8_t* outMonth, std::uint8_t* outDay, std::uint32_t* remaining);
  virtual Result SubtractDaysInYear(std::uint32_t year, std::uint32_t month, std::uint32_t day, std::uint32_t count,
                                    std::uint8_t* outMonth, std::uint8_t* outDay, std::uint32_t* remaining);
  // 10. Date fields only.
  virtual Result DaysBetween(const DateTimeRecord* first, const DateTimeRecord* second, std::uint32_t* days);
  // 11, 12. Whole years are jumped arithmetically; kFail outside the year range.
  virtual Result AddDays(DateTimeRecord* record, std::uint32_t count);
  virtual Result SubtractDays(DateTimeRecord* record, std::uint32_t count);
  // ---- seconds ----
  // 13. The distance rounded up to whole seconds, saturating at 0xFFFFFFFF.
  virtual Result SecondsBetween(const DateTimeRecord* first, const DateTimeRecord* second, std::uint32_t* seconds);
  // 14, 15. Moves the time of day but never past 23:59:59 (before 00:00:00);
  //    `remaining` (optional) receives the seconds that did not fit.
  virtual Result AddSecondsInDay(DateTimeRecord* record, std::uint32_t seconds, std::uint32_t* remaining);
  virtual Result SubtractSecondsInDay(DateTimeRecord* record, std::uint32_t seconds, std::uint32_t* remaining);
  // 16, 17. kFail outside the year range.
  virtual Result AddSeconds(DateTimeRecord* record, std::uint32_t seconds);
  virtual Result SubtractSeconds(DateTimeRecord* record, std::uint32_t seconds);
  // 18. 0 Monday .. 6 Sunday.
  virtual Result DayOfWeek(const DateTimeRecord* record, std::uint8_t* weekday);
  // ---- texts (date_time_text.cpp) ----
  // 19. 'Sun, 06 Nov 1994 08:49:37 GMT', 'Sunday, 06-Nov-94 08:49:37 GMT' or
  //    'Sun Nov  6 08:49:37 1994'. White space before the weekday word is
  //    skipped; the weekday's letters are not checked; anything after the
  //    last field is ignored and no zone is applied. Numbers too long for 32
  //    bits read as 0xFFFFFFFF, so they fail their range check.
  virtual Result ParseHeaderDate(const char* text, std::uint32_t length, DateTimeRecord* out);
  // 20. Exactly kHeaderDateLength bytes, no terminator; the record is taken
  //    as UTC. Each field other than the year is written as its last two
  //    decimal digits; a year above 9999 does not fit the form and gives
  //    kDateBadYear with nothing written.
  virtual Result FormatHeaderDate(const DateTimeRecord* record, char* output);
  // ---- clock and conversions (date_time_clock.cpp) ----
  // 21, 22. Whole seconds; hundredths 0. kFail if the clock is outside the years the record holds.
  virtual Result GetCurrentUtc(DateTimeRecord* out);
  virtual Result GetCurrentLocal(DateTimeRecord* out);
  // 23. The local zone's offset now, exactly, in seconds: kDateEarlier when
  //    UTC is earlier than local time (east of Greenwich), kDateLater west.
  //    One clock reading is broken down in both zones.
  virtual Result GetUtcOffset(std::uint32_t* seconds);
  // 24, 25. Apply the current offset (not the one in force at the record's
  //    date): the result of that move (0 or kFail at the ends of the range).
  //    A zero offset, or a failure of GetUtcOffset, is returned as it is,
  //    with the plain copy in place.
  virtual Result UtcToLocal(const DateTimeRecord* source, DateTimeRecord* out);
  virtual Result LocalToUtc(const DateTimeRecord* source, DateTimeRecord* out);
  // 26. The count is unsigned: 0xFFFFFFFF is 2106-02-07 06:28:15.
  virtual Result FromUnixTime(std::uint32_t seconds, DateTimeRecord* out);
  // 27. 0xFFFFFFFF before 1970 or past the range; a fraction counts as a
  //    whole second. Always 0; the out pointer is optional.
  virtual Result ToUnixTime(const DateTimeRecord* record, std::uint32_t* seconds);
  // 28.
  virtual Result From1904Seconds(std::uint32_t seconds, DateTimeRecord* out);
  // ---- time of day and the slash layout (date_time_text.cpp) ----
  // 29. Writes only hour, minute and second.
  virtual Result ParseTimeOfDay(const char* text, std::uint32_t length, DateTimeRecord* out);
  // 30. 'hh:mm:ss' and a zero byte: kTimeOfDaySize bytes.
  virtual Result FormatTimeOfDay(const DateTimeRecord* record, char* output);
  // 31. 'year/month/day hour:minute:second', any byte as a separator. Years
  //    0 and above 65535 give kDateBadYear.
  virtual Result ParseDateTime(const char* text, std::uint32_t length, DateTimeRecord* out);
  // 32. kDateTimeSize bytes for years to 9999, kDateTimeMaxSize above.
  virtual Result FormatDateTime(const DateTimeRecord* record, char* output);
  // ---- hours ----
  // 33. Hours between the two hour marks (minutes and below ignored).
  virtual Result HoursBetween(const DateTimeRecord* first, const DateTimeRecord* second, std::uint32_t* hours);
  // 34, 35. A failure of the day step is returned with `hour` unchanged.
  virtual Result AddHours(DateTimeRecord* record, std::uint32_t hours);
  virtual Result SubtractHours(DateTimeRecord* record, std::uint32_t hours);
  virtual Result ReservedLast() { return kFail; }

  DateTimeService() = default;
};

inline DateTimeService* DateTimes() { return Service<DateTimeService>(Slot::kDateTime); }

}  // namespace sfx
