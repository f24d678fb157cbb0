#include "platform/clock.h"

#include "platform/clock_p.h"

namespace sfx::platform {
namespace {

bool g_fixed = false;
FixedClock g_fixedClock{};

}  // namespace

std::int64_t ClockSeconds() { return g_fixed ? g_fixedClock.seconds : detail::SystemClockSeconds(); }

bool LocalOffsetSeconds(std::int64_t utcSeconds, std::int32_t* offset) {
  if (g_fixed) {
    *offset = g_fixedClock.utcOffset;
    return true;
  }
  return detail::SystemLocalOffset(utcSeconds, offset);
}

void SetFixedClock(const FixedClock* clock) {
  g_fixed = clock != nullptr;
  if (clock != nullptr) g_fixedClock = *clock;
}

}  // namespace sfx::platform
