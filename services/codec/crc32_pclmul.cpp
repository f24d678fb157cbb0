// CRC-32 by folding with carry-less multiplication (PCLMULQDQ): four 128-bit
// lanes fold 64 bytes per step, are folded into one, and a Barrett reduction
// turns the last 64 bits into the 32-bit register. The constants are powers
// of x modulo the CRC polynomial, bit-reflected like the register:
//   x^(4*128+32), x^(4*128-32)  fold a lane 512 bits ahead
//   x^(128+32),   x^(128-32)    fold a lane 128 bits ahead
//   x^64                        fold the last 64 bits into 32
//   P(x) and floor(x^64 / P(x)) for the Barrett reduction.
#include "services/codec/crc.h"
#include "services/codec/crc_dispatch_p.h"

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>

namespace sfx::detail {
namespace {

#define SFX_PCLMUL __attribute__((target("pclmul,sse4.1")))

SFX_PCLMUL inline __m128i Fold(__m128i lane, __m128i constants, __m128i next) {
  const __m128i lo = _mm_clmulepi64_si128(lane, constants, 0x00);
  const __m128i hi = _mm_clmulepi64_si128(lane, constants, 0x11);
  return _mm_xor_si128(_mm_xor_si128(lo, hi), next);
}

SFX_PCLMUL inline __m128i Load(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// Runs the register over a multiple of 16 bytes, at least 64.
SFX_PCLMUL std::uint32_t Fold16(std::uint32_t crc, const std::uint8_t* p, std::size_t length) {
  const __m128i k512 = _mm_set_epi64x(0x1c6e41596LL, 0x154442bd4LL);
  const __m128i k128 = _mm_set_epi64x(0x0ccaa009eLL, 0x1751997d0LL);
  const __m128i k64 = _mm_set_epi64x(0, 0x163cd6124LL);
  const __m128i barrett = _mm_set_epi64x(0x1F7011641LL, 0x1DB710641LL);
  const __m128i mask32 = _mm_set_epi32(0, 0, 0, -1);

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
  while (length >= 16) {
    x = Fold(x, k128, Load(p));
    p += 16;
    length -= 16;
  }
  // 128 -> 64 bits.
  x = _mm_xor_si128(_mm_clmulepi64_si128(x, k128, 0x10), _mm_srli_si128(x, 8));
  // 64 -> 32 bits.
  x = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x, mask32), k64, 0x00), _mm_srli_si128(x, 4));
  // Barrett reduction.
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x, mask32), barrett, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, mask32), barrett, 0x00);
  x = _mm_xor_si128(x, t);
  return static_cast<std::uint32_t>(_mm_extract_epi32(x, 1));
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
