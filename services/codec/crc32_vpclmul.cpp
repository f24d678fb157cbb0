// CRC-32 with 512-bit carry-less multiplication (VPCLMULQDQ, AVX-512): four
// 512-bit accumulators fold 256 bytes per step, then fold into one, its four
// 128-bit lanes into one, and the 128-bit tail and Barrett reduction are
// crc32_fold_p.h's, shared with the PCLMULQDQ variant. Constants as there: for a fold over n bits the
// pair is x^(n+32) and x^(n-32) modulo the polynomial, bit-reflected.
#include "services/codec/crc.h"
#include "services/codec/crc_dispatch_p.h"

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>

#include "services/codec/crc32_fold_p.h"

namespace sfx::detail {
namespace {

#define SFX_VPCLMUL __attribute__((target("avx512f,vpclmulqdq,pclmul,sse4.1")))

SFX_VPCLMUL inline __m512i Fold(__m512i x, __m512i k, __m512i next) {
  const __m512i lo = _mm512_clmulepi64_epi128(x, k, 0x00);
  const __m512i hi = _mm512_clmulepi64_epi128(x, k, 0x11);
  return _mm512_ternarylogic_epi64(lo, hi, next, 0x96);  // lo ^ hi ^ next
}

SFX_VPCLMUL inline __m128i Fold(__m128i x, __m128i k) {
  return _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11));
}

SFX_VPCLMUL inline __m512i Load64(const std::uint8_t* p) { return _mm512_loadu_si512(p); }

SFX_VPCLMUL std::uint32_t Crc32Vpclmul(std::uint32_t crc, const std::uint8_t* p, std::size_t length) {
  if (length < 256) return Crc32Portable(crc, p, length);
  const __m512i k2048 = _mm512_set_epi64(0x1322d1430LL, 0x11542778aLL, 0x1322d1430LL, 0x11542778aLL, 0x1322d1430LL,
                                         0x11542778aLL, 0x1322d1430LL, 0x11542778aLL);
  const __m512i k512 = _mm512_set_epi64(0x1c6e41596LL, 0x154442bd4LL, 0x1c6e41596LL, 0x154442bd4LL, 0x1c6e41596LL,
                                        0x154442bd4LL, 0x1c6e41596LL, 0x154442bd4LL);
  const __m128i k384 = _mm_set_epi64x(0x174359406LL, 0x3db1ecdcLL);
  const __m128i k256 = _mm_set_epi64x(0x15a546366LL, 0xf1da05aaLL);
  const __m128i k128 = crc_fold::K128();

  __m512i x0 = _mm512_xor_si512(Load64(p), _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(crc))));
  __m512i x1 = Load64(p + 64), x2 = Load64(p + 128), x3 = Load64(p + 192);
  p += 256;
  length -= 256;
  while (length >= 256) {
    x0 = Fold(x0, k2048, Load64(p));
    x1 = Fold(x1, k2048, Load64(p + 64));
    x2 = Fold(x2, k2048, Load64(p + 128));
    x3 = Fold(x3, k2048, Load64(p + 192));
    p += 256;
    length -= 256;
  }
  __m512i x = Fold(x0, k512, x1);
  x = Fold(x, k512, x2);
  x = Fold(x, k512, x3);
  while (length >= 64) {
    x = Fold(x, k512, Load64(p));
    p += 64;
    length -= 64;
  }
  // Four lanes into one: each is folded over the distance to the last. (Read
  // back through memory: the lane-extract intrinsics trip a false warning.)
  std::uint8_t lanes[64];
  _mm512_storeu_si512(lanes, x);
  const auto lane = [&lanes](int i)
                        SFX_VPCLMUL { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes + 16 * i)); };
  __m128i v = _mm_xor_si128(Fold(lane(0), k384), Fold(lane(1), k256));
  v = _mm_xor_si128(v, Fold(lane(2), k128));
  v = _mm_xor_si128(v, lane(3));
  crc = crc_fold::FoldTailAndReduce(v, &p, &length);
  return Crc32Portable(crc, p, length);
}

}  // namespace

Crc32Update SelectCrc32Vpclmul(std::uint32_t features) { return (features & kCpuVpclmul) ? Crc32Vpclmul : nullptr; }

}  // namespace sfx::detail

#else

namespace sfx::detail {
Crc32Update SelectCrc32Vpclmul(std::uint32_t) { return nullptr; }
}  // namespace sfx::detail

#endif
