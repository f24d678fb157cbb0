// Private to the clock: the machine's own clock and zone, one per backend.
#pragma once

#include <cstdint>

namespace sfx::platform::detail {

std::int64_t SystemClockSeconds();
bool SystemLocalOffset(std::int64_t utcSeconds, std::int32_t* offset);

}  // namespace sfx::platform::detail
