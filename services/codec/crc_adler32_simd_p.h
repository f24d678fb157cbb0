// The shape shared by the vector Adler-32 updates: whole blocks go through
// `Blocks` (a vector kernel that returns the sums reduced), the rest through
// the portable update. Included only by the feature files.
#pragma once

#include "services/codec/crc_dispatch_p.h"

namespace sfx::detail {

template <std::size_t kBlock, void (*Blocks)(std::uint32_t*, std::uint32_t*, const std::uint8_t*, std::size_t)>
std::uint32_t Adler32ByBlocks(std::uint32_t adler, const std::uint8_t* p, std::size_t length) {
  const std::size_t blocks = length / kBlock;
  // Without a whole block the portable update does it all, so a short update
  // (length 0 above all) treats an unreduced register exactly as it does.
  if (blocks == 0) return Adler32Portable(adler, p, length);
  std::uint32_t s1 = adler & 0xFFFF;
  std::uint32_t s2 = adler >> 16;
  // Reduced first, so the kernel's bound on its sums holds for any start value.
  s1 %= kAdlerModulus;
  s2 %= kAdlerModulus;
  Blocks(&s1, &s2, p, blocks);
  const std::size_t done = blocks * kBlock;
  return Adler32Portable((s2 << 16) | s1, p + done, length - done);
}

}  // namespace sfx::detail
