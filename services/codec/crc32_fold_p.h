// The 128-bit steps both carry-less CRC-32 variants (crc32_pclmul.cpp,
// crc32_vpclmul.cpp) end with, written once: fold the 16-byte blocks that are
// left into one lane, reduce the lane to 64 and then 32 bits, and finish with
// a Barrett reduction. The constants are powers of x modulo the CRC
// polynomial, bit-reflected like the register:
//   x^(128+32), x^(128-32)  fold a lane 128 bits ahead
//   x^64                    fold the last 64 bits into 32
//   P(x) and floor(x^64 / P(x)) for the Barrett reduction.
// Only for x86 builds; the including file checks the architecture.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

namespace sfx::detail::crc_fold {

#define SFX_CRC_FOLD_TARGET __attribute__((target("pclmul,sse4.1")))

SFX_CRC_FOLD_TARGET inline __m128i K128() { return _mm_set_epi64x(0x0ccaa009eLL, 0x1751997d0LL); }

// lane * constants (both 64-bit halves), plus `next`.
SFX_CRC_FOLD_TARGET inline __m128i Fold(__m128i lane, __m128i constants, __m128i next) {
  const __m128i lo = _mm_clmulepi64_si128(lane, constants, 0x00);
  const __m128i hi = _mm_clmulepi64_si128(lane, constants, 0x11);
  return _mm_xor_si128(_mm_xor_si128(lo, hi), next);
}

SFX_CRC_FOLD_TARGET inline __m128i Load(const std::uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Folds the whole 16-byte blocks at *p into x (advancing *p and *length past
// them), then reduces x to the 32-bit register.
SFX_CRC_FOLD_TARGET inline std::uint32_t FoldTailAndReduce(__m128i x, const std::uint8_t** p, std::size_t* length) {
  const __m128i k128 = K128();
  const __m128i k64 = _mm_set_epi64x(0, 0x163cd6124LL);
  const __m128i barrett = _mm_set_epi64x(0x1F7011641LL, 0x1DB710641LL);
  const __m128i mask32 = _mm_set_epi32(0, 0, 0, -1);
  while (*length >= 16) {
    x = Fold(x, k128, Load(*p));
    *p += 16;
    *length -= 16;
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

}  // namespace sfx::detail::crc_fold
