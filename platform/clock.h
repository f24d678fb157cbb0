// The system clock in whole seconds and the local time zone's offset from
// UTC. Tests fix both, so that clock readings and local times are exact.
#pragma once

#include <cstdint>

namespace sfx::platform {

// Whole seconds since 1970-01-01 00:00:00 UTC.
std::int64_t ClockSeconds();

// The local zone's offset from UTC at the instant `utcSeconds`, in seconds
// (local time = UTC + offset), with daylight saving time as the machine
// applies it. False when the machine cannot break that instant down.
bool LocalOffsetSeconds(std::int64_t utcSeconds, std::int32_t* offset);

// A clock that stands still and a zone with one fixed offset. While one is
// set it replaces the machine's clock and zone for every caller; null puts
// the machine's back. For tests, which set it while no other thread reads it.
struct FixedClock {
  std::int64_t seconds;
  std::int32_t utcOffset;
};
void SetFixedClock(const FixedClock* clock);

}  // namespace sfx::platform
