#include "platform/clock_p.h"
#include "platform/posix/time_zone_p.h"

#include <ctime>

namespace sfx::platform::detail {

std::int64_t SystemClockSeconds() { return static_cast<std::int64_t>(std::time(nullptr)); }

bool SystemLocalOffset(std::int64_t utcSeconds, std::int32_t* offset) { return ZoneOffsetAt(utcSeconds, offset); }

}  // namespace sfx::platform::detail
