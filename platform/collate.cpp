#include "platform/collate.h"

namespace sfx::platform {

int CompareAsciiIgnoringCase(const char* a, std::uint32_t aLength, const char* b, std::uint32_t bLength) {
  const std::uint32_t common = aLength < bLength ? aLength : bLength;
  for (std::uint32_t i = 0; i < common; ++i) {
    unsigned ca = static_cast<unsigned char>(a[i]);
    unsigned cb = static_cast<unsigned char>(b[i]);
    if (ca >= 'A' && ca <= 'Z') ca += 'a' - 'A';
    if (cb >= 'A' && cb <= 'Z') cb += 'a' - 'A';
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return aLength < bLength ? -1 : aLength > bLength ? 1 : 0;
}

}  // namespace sfx::platform
