#include <cstring>

#include "services/codec/crc.h"
#include "services/codec/crc_dispatch_p.h"

namespace sfx::detail {

// Slicing-by-8: eight bytes per step through eight tables, so the table
// lookups of one step do not wait on each other. Little-endian targets only
// (x86 in both builds).
std::uint32_t Crc32Portable(std::uint32_t crc, const std::uint8_t* p, std::size_t length) {
  while (length > 0 && (reinterpret_cast<std::uintptr_t>(p) & 7) != 0) {
    crc = (crc >> 8) ^ kCrc32Table[(crc ^ *p++) & 0xFF];
    --length;
  }
  const auto& t = kCrc32Slice8;
  while (length >= 8) {
    std::uint32_t lo, hi;
    std::memcpy(&lo, p, 4);
    std::memcpy(&hi, p + 4, 4);
    lo ^= crc;
    crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^ t[3][hi & 0xFF] ^
          t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
    p += 8;
    length -= 8;
  }
  while (length-- > 0) crc = (crc >> 8) ^ kCrc32Table[(crc ^ *p++) & 0xFF];
  return crc;
}

}  // namespace sfx::detail
