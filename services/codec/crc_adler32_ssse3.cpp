// Adler-32 with SSSE3: per 32-byte block, the byte sum (PSADBW) feeds s1 and
// the position-weighted sum (PMADDUBSW with weights 32..1) feeds s2; the s1
// carried into each later block is collected in `prefix` and added to s2 as
// 32 times its total. Reduced every 173 blocks (5536 bytes), within the
// bound that keeps the sums below 2^32.
#include "services/codec/crc_adler32_simd_p.h"

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>

namespace sfx::detail {
namespace {

#define SFX_SSSE3 __attribute__((target("ssse3")))

SFX_SSSE3 std::uint32_t HorizontalSum(__m128i v) {
  v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
  v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
  return static_cast<std::uint32_t>(_mm_cvtsi128_si32(v));
}

SFX_SSSE3 void Blocks32(std::uint32_t* s1p, std::uint32_t* s2p, const std::uint8_t* p, std::size_t blocks) {
  const __m128i weightsHigh = _mm_setr_epi8(32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17);
  const __m128i weightsLow = _mm_setr_epi8(16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1);
  const __m128i zero = _mm_setzero_si128();
  const __m128i ones = _mm_set1_epi16(1);
  std::uint32_t s1 = *s1p, s2 = *s2p;
  while (blocks > 0) {
    std::size_t n = kAdlerChunk / 32;
    if (n > blocks) n = blocks;
    blocks -= n;
    __m128i prefix = _mm_cvtsi32_si128(static_cast<int>(s1 * n));
    __m128i sum2 = _mm_cvtsi32_si128(static_cast<int>(s2));
    __m128i sum1 = _mm_setzero_si128();
    do {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
      prefix = _mm_add_epi32(prefix, sum1);
      sum1 = _mm_add_epi32(sum1, _mm_add_epi32(_mm_sad_epu8(a, zero), _mm_sad_epu8(b, zero)));
      sum2 = _mm_add_epi32(sum2, _mm_madd_epi16(_mm_maddubs_epi16(a, weightsHigh), ones));
      sum2 = _mm_add_epi32(sum2, _mm_madd_epi16(_mm_maddubs_epi16(b, weightsLow), ones));
      p += 32;
    } while (--n);
    sum2 = _mm_add_epi32(sum2, _mm_slli_epi32(prefix, 5));
    s1 = (s1 + HorizontalSum(sum1)) % kAdlerModulus;
    s2 = HorizontalSum(sum2) % kAdlerModulus;
  }
  *s1p = s1;
  *s2p = s2;
}

}  // namespace

Adler32Update SelectAdler32Ssse3(std::uint32_t features) {
  return (features & kCpuSsse3) ? Adler32ByBlocks<32, Blocks32> : nullptr;
}

}  // namespace sfx::detail

#else

namespace sfx::detail {
Adler32Update SelectAdler32Ssse3(std::uint32_t) { return nullptr; }
}  // namespace sfx::detail

#endif
