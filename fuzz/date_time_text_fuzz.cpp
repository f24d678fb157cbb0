// Reads arbitrary bytes as header dates, slash dates, times of day and
// schedule lists. Every accepted date must be a valid record that formats
// and reads back unchanged; every parsed mask must format and read back to
// itself; the arithmetic and the schedule must stay bounded on raw records.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/clock.h"
#include "services/core/service.h"
#include "services/data/schedule.h"
#include "services/text/date_time.h"

namespace {

using namespace sfx;

void Check(bool condition) {
  if (!condition) std::abort();
}

bool Same(const DateTimeRecord& a, const DateTimeRecord& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void CheckValid(const DateTimeRecord& r) {
  std::uint8_t length = 0;
  Check(DateTimes()->DaysInMonth(r.year, r.month, &length) == kOk);
  Check(r.month >= 1 && r.month <= 12 && r.day >= 1 && r.day <= length);
  Check(r.hour <= 23 && r.minute <= 59 && r.second <= 59 && r.hundredths == 0);
}

void ParseDates(const char* text, std::uint32_t size) {
  DateTimeRecord r{};
  if (DateTimes()->ParseHeaderDate(text, size, &r) == kOk) {
    CheckValid(r);
    char header[kHeaderDateLength];
    if (r.year <= 9999) {
      Check(DateTimes()->FormatHeaderDate(&r, header) == kOk);
      DateTimeRecord back{};
      Check(DateTimes()->ParseHeaderDate(header, kHeaderDateLength, &back) == kOk && Same(back, r));
    } else {
      Check(DateTimes()->FormatHeaderDate(&r, header) == kDateBadYear);
    }
  }
  r = DateTimeRecord{};
  if (DateTimes()->ParseDateTime(text, size, &r) == kOk) {
    CheckValid(r);
    char slash[kDateTimeMaxSize];
    Check(DateTimes()->FormatDateTime(&r, slash) == kOk);
    DateTimeRecord back{};
    Check(DateTimes()->ParseDateTime(slash, static_cast<std::uint32_t>(std::strlen(slash)), &back) == kOk);
    Check(Same(back, r));
  }
  r = DateTimeRecord{};
  if (DateTimes()->ParseTimeOfDay(text, size, &r) == kOk) {
    Check(r.hour <= 23 && r.minute <= 59 && r.second <= 59);
    char time[kTimeOfDaySize];
    Check(DateTimes()->FormatTimeOfDay(&r, time) == kOk && time[8] == '\0');
  }
}

void ParseLists(const char* text, std::uint32_t size) {
  for (std::uint32_t kind = 1; kind <= 4; ++kind) {
    std::uint32_t mask = 0;
    Check(Schedules()->ParseScheduleList(kind, text, size, &mask) == kOk);
    std::uint32_t length = 0;
    Check(Schedules()->FormatScheduleList(kind, &mask, nullptr, &length) == kOk);
    std::vector<char> out(length + 1);
    std::uint32_t capacity = length + 1;
    Check(Schedules()->FormatScheduleList(kind, &mask, out.data(), &capacity) == kOk);
    Check(out[length - 1] == '\0');
    std::uint32_t back = 1;
    if (length > 1) Check(Schedules()->ParseScheduleList(kind, out.data(), length - 1, &back) == kOk);
    if (length == 1) back = 0;
    Check(back == mask);
  }
}

// The first bytes as two raw records and a count: operations must return.
void Arithmetic(const std::uint8_t* data, std::size_t size) {
  if (size < 20) return;
  DateTimeRecord a, b;
  std::uint32_t count;
  std::memcpy(&a, data, 8);
  std::memcpy(&b, data + 8, 8);
  std::memcpy(&count, data + 16, 4);
  std::uint32_t n = 0;
  std::uint8_t w = 0;
  (void)DateTimes()->SecondsBetween(&a, &b, &n);
  (void)DateTimes()->HoursBetween(&a, &b, &n);
  (void)DateTimes()->DayOfWeek(&a, &w);
  DateTimeRecord x = a;
  (void)DateTimes()->AddSeconds(&x, count);
  x = a;
  (void)DateTimes()->SubtractSeconds(&x, count);
  x = a;
  (void)DateTimes()->AddHours(&x, count);
  x = a;
  (void)DateTimes()->SubtractDays(&x, count);
  char out[kDateTimeMaxSize + kHeaderDateLength];
  (void)DateTimes()->FormatDateTime(&a, out);
  (void)DateTimes()->FormatHeaderDate(&a, out);
}

// A rule, a clock reading and raw start and last-run records: the next run
// must come back in bounded time, and when neither record is given it is
// not before the clock's minute.
void NextRun(const std::uint8_t* data, std::size_t size) {
  if (size < 41) return;
  ScheduleRule rule;
  std::memcpy(&rule, data, sizeof rule);
  std::uint32_t now;
  std::memcpy(&now, data + 12, 4);
  DateTimeRecord start, last, end;
  std::memcpy(&start, data + 16, 8);
  std::memcpy(&last, data + 24, 8);
  std::memcpy(&end, data + 32, 8);
  const std::uint8_t use = data[40];
  const platform::FixedClock clock{now, 0};
  platform::SetFixedClock(&clock);
  DateTimeRecord next{};
  const Result r = Schedules()->NextRunTime(&rule, (use & 1) ? &start : nullptr, (use & 4) ? &end : nullptr,
                                            (use & 2) ? &last : nullptr, &next);
  if (r == kOk && (use & 7) == 0) {
    DateTimeRecord nowRecord{};
    Check(DateTimes()->FromUnixTime(now, &nowRecord) == kOk);
    nowRecord.second = 0;
    Check(DateTimes()->CompareDateTime(&next, &nowRecord) != kDateEarlier);
  }
  platform::SetFixedClock(nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool registered = ((void)sfx::RegisterCoreServices(), true);
  (void)registered;
  // An exact-size copy, so that a read past the text is caught.
  std::vector<char> text(data, data + size);
  const auto length = static_cast<std::uint32_t>(size);
  ParseDates(text.data(), length);
  ParseLists(text.data(), length);
  Arithmetic(data, size);
  NextRun(data, size);
  return 0;
}
