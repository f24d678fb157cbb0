// When a recurring job runs next. A ScheduleRule says hourly, daily, weekly or
// monthly, at which minute or time of day, and either a fixed interval (every
// n hours, days, weeks or months) or a selection mask (which hours, weekdays,
// weeks of the month or months). Masks also convert to and from short texts
// such as '1,5,12' or 'Mon,Wed' for settings files and user input.
//
// Stateless; all date arithmetic goes through the date and time service, and
// "now" is its local time.
#pragma once

#include <cstdint>

#include "services/core/file_system.h"  // DateTimeRecord
#include "services/core/service.h"

namespace sfx {

// The stored rule: 12 bytes.
//
//   offset  width  field
//   0       u8     kind        2 hourly, 3 daily, 4 weekly, 5 monthly
//   1       u8     reserved    not read
//   2       u16    time        hours * 100 + minutes (hours above 23 act as 23,
//                              minutes above 59 as 59); hourly rules use the minutes
//   4       u8     weekday     weekly: 0 Monday .. 6 Sunday; above 6 acts as 6
//   5       u8     dayOfMonth  monthly: 1..31; 0 acts as 1, above 30 as 31
//                              (the month's last day)
//   6       u16    interval    every n units; 0 means that `mask` applies
//   8       u32    mask        hourly: bits 0..23 the hours; daily: bits 0..6
//                              Monday..Sunday; weekly: bits 0..3 the first to
//                              fourth occurrence of `weekday` in the month,
//                              bit 4 its last; monthly: bits 0..11 Jan..Dec
struct ScheduleRule {
  std::uint8_t kind;
  std::uint8_t reserved;
  std::uint16_t time;
  std::uint8_t weekday;
  std::uint8_t dayOfMonth;
  std::uint16_t interval;
  std::uint32_t mask;
};
static_assert(sizeof(ScheduleRule) == 12);

enum ScheduleKind : std::uint8_t {
  kScheduleHourly = 2,
  kScheduleDaily = 3,
  kScheduleWeekly = 4,
  kScheduleMonthly = 5,
};

// List kinds of the text operations, and the mask bit of item v:
//   1 hours 0..23 (bit v), 2 weekday names Mon..Sun (bit 0 Monday),
//   3 weeks of the month 1..5 (bit v - 1), 4 days of the month 1..32 (bit v - 1).
enum ScheduleListKind : std::uint32_t {
  kScheduleListHours = 1,
  kScheduleListWeekdays = 2,
  kScheduleListWeeks = 3,
  kScheduleListDays = 4,
};

inline constexpr Result kScheduleBadListKind = FailureCode(facility::kSchedule, 0x0001);  // 0x80190001
inline constexpr Result kScheduleTooSmall = FailureCode(facility::kSchedule, 0x0002);     // 0x80190002
inline constexpr Result kScheduleBadKind = FailureCode(facility::kSchedule, 0x0003);      // 0x80190003
inline constexpr Result kScheduleNoClock = FailureCode(facility::kSchedule, 0x0005);      // 0x80190005
// The codes 0x80190007 to 0x80190030 name the step of a rule variant that
// failed; the empty selections among them:
inline constexpr Result kScheduleNoHour = FailureCode(facility::kSchedule, 0x000E);     // 0x8019000E
inline constexpr Result kScheduleNoWeekday = FailureCode(facility::kSchedule, 0x001A);  // 0x8019001A
inline constexpr Result kScheduleNoWeek = FailureCode(facility::kSchedule, 0x002A);     // 0x8019002A
inline constexpr Result kScheduleNoMonth = FailureCode(facility::kSchedule, 0x0030);    // 0x80190030

class ScheduleService : public ServiceObject {
 public:
  // 1. The selected items in ascending bit order, separated by ',' without
  //    spaces, then a zero byte; bits outside the list's items are ignored.
  //    With `length`: the required size (characters and the zero byte) is
  //    stored first; a null buffer then returns 0, and a capacity not larger
  //    than the required size gives kScheduleTooSmall with nothing written.
  //    Without `length` the buffer is written unchecked.
  virtual Result FormatScheduleList(std::uint32_t listKind, const std::uint32_t* mask, char* buffer,
                                    std::uint32_t* length);
  // 2. Number lists: every run of digits is a number, other bytes separate;
  //    numbers below the list's first item select the first, above its last
  //    (however many digits) the last. Weekday lists: tokens separated by
  //    white space and ',', of which the first three letters are compared
  //    without case ('monday, FRI' is Monday and Friday); shorter or unknown
  //    tokens are skipped. A length of 0 means the text is zero-terminated.
  virtual Result ParseScheduleList(std::uint32_t listKind, const char* text, std::uint32_t length, std::uint32_t* mask);
  // 3. The next run at or after the current local time. Each time argument is
  //    optional (null or year 0); a result after `end` has year 0, meaning no
  //    further run. Seconds and hundredths of every time are taken as 0.
  virtual Result NextRunTime(const ScheduleRule* rule, const DateTimeRecord* start, const DateTimeRecord* end,
                             const DateTimeRecord* lastRun, DateTimeRecord* next);
  virtual Result ReservedLast() { return kFail; }

  ScheduleService() = default;
};

inline ScheduleService* Schedules() { return Service<ScheduleService>(Slot::kSchedule); }

}  // namespace sfx
