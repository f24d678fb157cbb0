#include "services/codec/crc_dispatch_p.h"

namespace sfx::detail {

// The sums are reduced once per kAdlerChunk bytes; within a chunk the bytes
// are taken eight at a time to keep the loop short.
std::uint32_t Adler32Portable(std::uint32_t adler, const std::uint8_t* p, std::size_t length) {
  std::uint32_t s1 = adler & 0xFFFF;
  std::uint32_t s2 = adler >> 16;
  while (length > 0) {
    std::size_t n = length < kAdlerChunk ? length : kAdlerChunk;
    length -= n;
    while (n >= 8) {
      s1 += p[0];
      s2 += s1;
      s1 += p[1];
      s2 += s1;
      s1 += p[2];
      s2 += s1;
      s1 += p[3];
      s2 += s1;
      s1 += p[4];
      s2 += s1;
      s1 += p[5];
      s2 += s1;
      s1 += p[6];
      s2 += s1;
      s1 += p[7];
      s2 += s1;
      p += 8;
      n -= 8;
    }
    while (n-- > 0) {
      s1 += *p++;
      s2 += s1;
    }
    s1 %= kAdlerModulus;
    s2 %= kAdlerModulus;
  }
  return (s2 << 16) | s1;
}

}  // namespace sfx::detail
