#include "platform/clock_p.h"

#include <time.h>

namespace sfx::platform::detail {

std::int64_t SystemClockSeconds() { return static_cast<std::int64_t>(_time64(nullptr)); }

bool SystemLocalOffset(std::int64_t utcSeconds, std::int32_t* offset) {
  const __time64_t t = utcSeconds;
  struct tm fields {};
  // The per-call breakdown (the plain one shares a buffer between threads).
  if (_localtime64_s(&fields, &t) != 0) return false;
  // The local fields read as if they were UTC give local seconds; their
  // distance from the instant is the offset in force then.
  const __time64_t local = _mkgmtime64(&fields);
  if (local == -1) return false;
  *offset = static_cast<std::int32_t>(local - t);
  return true;
}

}  // namespace sfx::platform::detail
