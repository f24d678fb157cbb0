// CRC-32 by folding with carry-less multiplication (PCLMULQDQ): four 128-bit
// lanes fold 64 bytes per step and are folded into one; the tail and the
// reduction to 32 bits are crc32_fold_p.h's. The constants are powers of x
// modulo the CRC polynomial, bit-reflected like the register:
//   x^(4*128+32), x^(4*128-32)  fold a lane 512 bits ahead
#include "services/codec/crc.h"
#include "services/codec/crc_dispatch_p.h"

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>

#include "services/codec/crc32_fold_p.h"

namespace sfx::detail {
namespace {

#define SFX_PCLMUL SFX_CRC_FOLD_TARGET

using crc_fold::Fold;
using crc_fold::Load;

// Runs the register over a multiple of 16 bytes, at least 64.
SFX_PCLMUL std::uint32_t Fold16(std::uint32_t crc, const std::uint8_t* p, std::size_t length) {
  const __m128i k512 = _mm_set_epi64x(0x1c6e41596LL, 0x154442bd4LL);
  const __m128i k128 = crc_fold::K128();

  __m128i x0 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x1 = Load(p + 16), x2 = Load(p + 32), x3 = Load(p + 48);
  p += 64;
  length -= 64;
  while (length >= 64) {
    x0 = Fold(x0, k512, Load(p));
    x1 = Fold(x1, k512, Load(p + 16));
    x2 = Fold(x2, k512, Load(p + 32));
    x3 = Fold(x3, k512, Load(p + 48));
    p += 64;
    length -= 64;
  }
  __m128i x = Fold(x0, k128, x1);
  x = Fold(x, k128, x2);
  x = Fold(x, k128, x3);
  return crc_fold::FoldTailAndReduce(x, &p, &length);
}

std::uint32_t Crc32Pclmul(std::uint32_t crc, const std::uint8_t* p, std::size_t length) {
  if (length < 64) return Crc32Portable(crc, p, length);
  const std::size_t bulk = length & ~static_cast<std::size_t>(15);
  crc = Fold16(crc, p, bulk);
  return Crc32Portable(crc, p + bulk, length - bulk);
}

}  // namespace

Crc32Update SelectCrc32Pclmul(std::uint32_t features) { return (features & kCpuPclmul) ? Crc32Pclmul : nullptr; }

}  // namespace sfx::detail

#else

namespace sfx::detail {
Crc32Update SelectCrc32Pclmul(std::uint32_t) { return nullptr; }
}  // namespace sfx::detail

#endif
