// Private to the date and time service's source files: the calendar helpers
// the clock and the second-count conversions share.
#pragma once

#include <cstdint>

#include "services/text/date_time.h"

namespace sfx::datetime {

inline constexpr std::uint32_t kMaxYear = 65535;
inline constexpr std::int64_t kSecondsPerDay = 86400;
inline constexpr std::uint32_t kLastSecondOfDay = 86399;

// The record for `seconds` since 1970-01-01 00:00:00 (negative before it), in
// whole seconds with hundredths 0. False outside the years 0 to 65535.
bool RecordFromEpochSeconds(std::int64_t seconds, DateTimeRecord* out);

}  // namespace sfx::datetime
