// The clock in UTC and local time, the zone offset, conversions between UTC
// and local time, and second counts since 1970 and 1904.
//
// Counts since 1970 are broken down arithmetically rather than by the C
// library, so every unsigned 32-bit count (to 2106) has a result on every
// target; only the current zone offset comes from the platform.
#include "platform/clock.h"
#include "services/text/date_time.h"
#include "services/text/date_time_p.h"

namespace sfx {
namespace {

constexpr DateTimeRecord kUnixEpoch = {1970, 1, 1, 0, 0, 0, 0};
constexpr DateTimeRecord k1904Epoch = {1904, 1, 1, 0, 0, 0, 0};

// Days from 1970-01-01 to the given date and back, in the proleptic Gregorian
// calendar, by 400-year eras of 146097 days (March-based years put the leap
// day last).
std::int64_t DaysFromCivil(std::int64_t y, std::int64_t m, std::int64_t d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t* y, std::int64_t* m, std::int64_t* d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = yoe + era * 400 + (*m <= 2 ? 1 : 0);
}

// Reads the clock once; `offset` (optional) receives the zone's offset at that instant.
Result ReadClock(std::int64_t* seconds, std::int32_t* offset) {
  *seconds = platform::ClockSeconds();
  if (offset != nullptr && !platform::LocalOffsetSeconds(*seconds, offset)) return kFail;
  return kOk;
}

// Copies the source and moves the copy by the current offset: forward when
// `outcome` says local time is ahead and `towardsLocal`, or behind and not.
Result ConvertByOffset(DateTimeService* s, const DateTimeRecord* source, DateTimeRecord* out, bool towardsLocal) {
  if (source == nullptr || out == nullptr) return kNullOutput;
  *out = *source;
  std::uint32_t offset = 0;
  const Result outcome = s->GetUtcOffset(&offset);
  if (outcome != kDateEarlier && outcome != kDateLater) return outcome;
  const bool forward = (outcome == kDateEarlier) == towardsLocal;
  return forward ? s->AddSeconds(out, offset) : s->SubtractSeconds(out, offset);
}

}  // namespace

bool datetime::RecordFromEpochSeconds(std::int64_t seconds, DateTimeRecord* out) {
  static const std::int64_t kFirstDay = DaysFromCivil(0, 1, 1);
  static const std::int64_t kLastDay = DaysFromCivil(kMaxYear, 12, 31);
  // Floor division, so that instants before 1970 fall on the day they belong to.
  std::int64_t days = seconds / kSecondsPerDay;
  std::int64_t secondOfDay = seconds % kSecondsPerDay;
  if (secondOfDay < 0) {
    secondOfDay += kSecondsPerDay;
    --days;
  }
  if (days < kFirstDay || days > kLastDay) return false;
  std::int64_t y = 0, m = 0, d = 0;
  CivilFromDays(days, &y, &m, &d);
  out->year = static_cast<std::uint16_t>(y);
  out->month = static_cast<std::uint8_t>(m);
  out->day = static_cast<std::uint8_t>(d);
  out->hour = static_cast<std::uint8_t>(secondOfDay / 3600);
  out->minute = static_cast<std::uint8_t>(secondOfDay / 60 % 60);
  out->second = static_cast<std::uint8_t>(secondOfDay % 60);
  out->hundredths = 0;
  return true;
}

Result DateTimeService::GetCurrentUtc(DateTimeRecord* out) {
  if (out == nullptr) return kNullOutput;
  std::int64_t now = 0;
  SFX_TRY(ReadClock(&now, nullptr));
  return datetime::RecordFromEpochSeconds(now, out) ? kOk : kFail;
}

Result DateTimeService::GetCurrentLocal(DateTimeRecord* out) {
  if (out == nullptr) return kNullOutput;
  std::int64_t now = 0;
  std::int32_t offset = 0;
  SFX_TRY(ReadClock(&now, &offset));
  return datetime::RecordFromEpochSeconds(now + offset, out) ? kOk : kFail;
}

Result DateTimeService::GetUtcOffset(std::uint32_t* seconds) {
  if (seconds == nullptr) return kNullOutput;
  // One reading broken down twice: two readings could straddle a second
  // boundary and make the offset a second too large.
  std::int64_t now = 0;
  std::int32_t offset = 0;
  SFX_TRY(ReadClock(&now, &offset));
  DateTimeRecord utc{}, local{};
  if (!datetime::RecordFromEpochSeconds(now, &utc) || !datetime::RecordFromEpochSeconds(now + offset, &local)) {
    return kFail;
  }
  return SecondsBetween(&utc, &local, seconds);
}

Result DateTimeService::UtcToLocal(const DateTimeRecord* source, DateTimeRecord* out) {
  return ConvertByOffset(this, source, out, true);
}

Result DateTimeService::LocalToUtc(const DateTimeRecord* source, DateTimeRecord* out) {
  return ConvertByOffset(this, source, out, false);
}

Result DateTimeService::FromUnixTime(std::uint32_t seconds, DateTimeRecord* out) {
  if (out == nullptr) return kNullOutput;
  // Every unsigned count lies between 1970 and 2106, inside the record's years.
  return datetime::RecordFromEpochSeconds(seconds, out) ? kOk : kFail;
}

Result DateTimeService::ToUnixTime(const DateTimeRecord* record, std::uint32_t* seconds) {
  if (record == nullptr) return kNullOutput;
  std::uint32_t value = 0xFFFFFFFFu;
  const Result order = CompareDateTime(record, &kUnixEpoch);
  if (order == kDateEqual || order == kDateLater) {
    if (Failed(SecondsBetween(record, &kUnixEpoch, &value))) value = 0xFFFFFFFFu;
  }
  if (seconds != nullptr) *seconds = value;
  return kOk;
}

Result DateTimeService::From1904Seconds(std::uint32_t seconds, DateTimeRecord* out) {
  if (out == nullptr) return kNullOutput;
  *out = k1904Epoch;
  return AddSeconds(out, seconds);
}

}  // namespace sfx
