#include "platform/collate.h"

#include <windows.h>

namespace sfx::platform {

int CompareTextIgnoringCase(const char* a, std::uint32_t aLength, const char* b, std::uint32_t bLength) {
  // Names are at most 254 characters, far below the int range of the call.
  const int r = CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a, static_cast<int>(aLength), b,
                               static_cast<int>(bLength));
  if (r == 0) return CompareAsciiIgnoringCase(a, aLength, b, bLength);
  return r - CSTR_EQUAL;
}

}  // namespace sfx::platform
