// The parse with AVX2: the candidate scan gathers eight candidates' byte
// pairs at once and compares them in one step.
#include "services/codec/crc_dispatch_p.h"
#include "services/codec/deflate_parse_p.h"

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>

#define SFX_PARSE_TARGET __attribute__((target("avx2")))
#include "services/codec/deflate_parse_body_p.h"

namespace sfx::deflate {
namespace {

// As PortableScan. Each lane gathers the four bytes from pairs - 1 + q and
// keeps the middle two: a candidate lies before the searched position and
// `best` before the piece's end, so those four bytes lie inside the piece
// (see Matcher::Find). Lane 7 holds next[-1], the nearest.
struct Avx2Scan {
  static SFX_PARSE_INLINE const std::uint16_t* Scan(const std::uint16_t* next, const std::uint16_t* end,
                                                    const std::uint8_t* pairs, std::uint16_t want) {
    const __m256i wanted = _mm256_set1_epi32(static_cast<int>(static_cast<std::uint32_t>(want) << 8));
    const __m256i middle = _mm256_set1_epi32(0x00FFFF00);
    const int* const base = reinterpret_cast<const int*>(pairs - 1);
    const auto hitsOf = [&](const std::uint16_t* at) SFX_PARSE_TARGET {
      const __m256i q = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)));
      const __m256i got = _mm256_and_si256(_mm256_i32gather_epi32(base, q, 1), middle);
      return static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(got, wanted))));
    };
    // Sixteen per step (one branch for both eights), then eight.
    while (next - end >= 16) {
      const unsigned hits = hitsOf(next - 8) << 8 | hitsOf(next - 16);
      if (hits != 0) return next - 16 + (31 - __builtin_clz(hits));
      next -= 16;
    }
    if (next - end >= 8) {
      const unsigned hits = hitsOf(next - 8);
      if (hits != 0) return next - 8 + (31 - __builtin_clz(hits));
      next -= 8;
    }
    return PortableScan::Scan(next, end, pairs, want);
  }
};

SFX_PARSE_TARGET std::uint32_t ParsePieceAvx2(const std::uint8_t* data, std::uint32_t length, const ParseArrays& arrays,
                                              std::uint16_t* literalLengthCounts, std::uint16_t* distanceCounts) {
  return ParsePieceWith<Avx2Scan>(data, length, arrays, literalLengthCounts, distanceCounts);
}

}  // namespace

ParseFunction SelectParseAvx2(std::uint32_t features) {
  return (features & detail::kCpuAvx2) ? ParsePieceAvx2 : nullptr;
}

}  // namespace sfx::deflate

#else

namespace sfx::deflate {
ParseFunction SelectParseAvx2(std::uint32_t) { return nullptr; }
}  // namespace sfx::deflate

#endif
