// Adler-32 with AVX2: the SSSE3 scheme on 64-byte blocks (weights 64..1),
// reduced every 86 blocks (5504 bytes).
#include "services/codec/crc_adler32_simd_p.h"

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>

namespace sfx::detail {
namespace {

#define SFX_AVX2 __attribute__((target("avx2")))

SFX_AVX2 std::uint32_t HorizontalSum(__m256i v) {
  __m128i x = _mm_add_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
  x = _mm_add_epi32(x, _mm_shuffle_epi32(x, _MM_SHUFFLE(1, 0, 3, 2)));
  x = _mm_add_epi32(x, _mm_shuffle_epi32(x, _MM_SHUFFLE(2, 3, 0, 1)));
  return static_cast<std::uint32_t>(_mm_cvtsi128_si32(x));
}

SFX_AVX2 void Blocks64(std::uint32_t* s1p, std::uint32_t* s2p, const std::uint8_t* p, std::size_t blocks) {
  const __m256i weightsHigh = _mm256_setr_epi8(64, 63, 62, 61, 60, 59, 58, 57, 56, 55, 54, 53, 52, 51, 50, 49, 48, 47,
                                               46, 45, 44, 43, 42, 41, 40, 39, 38, 37, 36, 35, 34, 33);
  const __m256i weightsLow = _mm256_setr_epi8(32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15,
                                              14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1);
  const __m256i zero = _mm256_setzero_si256();
  const __m256i ones = _mm256_set1_epi16(1);
  std::uint32_t s1 = *s1p, s2 = *s2p;
  while (blocks > 0) {
    std::size_t n = kAdlerChunk / 64;
    if (n > blocks) n = blocks;
    blocks -= n;
    __m256i prefix = _mm256_setr_epi32(static_cast<int>(s1 * n), 0, 0, 0, 0, 0, 0, 0);
    __m256i sum2 = _mm256_setr_epi32(static_cast<int>(s2), 0, 0, 0, 0, 0, 0, 0);
    __m256i sum1 = _mm256_setzero_si256();
    __m256i sum2b = _mm256_setzero_si256();
    do {
      const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
      const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
      prefix = _mm256_add_epi32(prefix, sum1);
      sum1 = _mm256_add_epi32(sum1, _mm256_add_epi32(_mm256_sad_epu8(a, zero), _mm256_sad_epu8(b, zero)));
      sum2 = _mm256_add_epi32(sum2, _mm256_madd_epi16(_mm256_maddubs_epi16(a, weightsHigh), ones));
      sum2b = _mm256_add_epi32(sum2b, _mm256_madd_epi16(_mm256_maddubs_epi16(b, weightsLow), ones));
      p += 64;
    } while (--n);
    sum2 = _mm256_add_epi32(_mm256_add_epi32(sum2, sum2b), _mm256_slli_epi32(prefix, 6));
    s1 = (s1 + HorizontalSum(sum1)) % kAdlerModulus;
    s2 = HorizontalSum(sum2) % kAdlerModulus;
  }
  *s1p = s1;
  *s2p = s2;
}

}  // namespace

Adler32Update SelectAdler32Avx2(std::uint32_t features) {
  return (features & kCpuAvx2) ? Adler32ByBlocks<64, Blocks64> : nullptr;
}

}  // namespace sfx::detail

#else

namespace sfx::detail {
Adler32Update SelectAdler32Avx2(std::uint32_t) { return nullptr; }
}  // namespace sfx::detail

#endif
