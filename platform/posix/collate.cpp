#include "platform/collate.h"

namespace sfx::platform {

// No system-wide collation is consulted: the process locale is the caller's
// business and would make stored orders depend on the environment.
int CompareTextIgnoringCase(const char* a, std::uint32_t aLength, const char* b, std::uint32_t bLength) {
  return CompareAsciiIgnoringCase(a, aLength, b, bLength);
}

}  // namespace sfx::platform
