#include "platform/clock_p.h"

#include <ctime>

namespace sfx::platform::detail {

std::int64_t SystemClockSeconds() { return static_cast<std::int64_t>(std::time(nullptr)); }

bool SystemLocalOffset(std::int64_t utcSeconds, std::int32_t* offset) {
  const auto t = static_cast<time_t>(utcSeconds);
  if (static_cast<std::int64_t>(t) != utcSeconds) return false;
  std::tm fields{};
  // The re-entrant breakdown: callers may read the zone from several threads.
  if (localtime_r(&t, &fields) == nullptr) return false;
  *offset = static_cast<std::int32_t>(fields.tm_gmtoff);
  return true;
}

}  // namespace sfx::platform::detail
