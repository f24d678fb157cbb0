#include "services/codec/md5_transform_p.h"

#include <cstring>

#include "services/core/memory_service.h"

namespace sfx::detail {
namespace {

inline std::uint32_t Rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// The round functions of RFC 1321, 3.4 (G is in the step below). F is written
// in the form that needs one operation less than the textbook one and gives
// the same values.
inline std::uint32_t F(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return z ^ (x & (y ^ z)); }
inline std::uint32_t H(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return x ^ y ^ z; }
inline std::uint32_t I(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return y ^ (x | ~z); }

inline std::uint32_t LoadLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

// The step constants (T[i] = floor(2^32 * |sin(i + 1)|)), rotation counts and
// message-word order are those of RFC 1321, 3.4, written out step by step so
// that every constant is an immediate and every word a register.
#define SFX_MD5_STEP(f, a, b, c, d, k, t, s) \
  a += f(b, c, d) + x[k] + (t);              \
  a = Rotl(a, s) + b

// G's two terms never have a bit in common, so their OR is their sum: adding
// them one at a time lets the term that does not depend on the newest word
// (b) be added while b is still being computed.
#define SFX_MD5_STEP_G(a, b, c, d, k, t, s) \
  a += (~d & c) + x[k] + (t);               \
  a += d & b;                               \
  a = Rotl(a, s) + b

void Md5Blocks(std::uint32_t state[4], const std::uint8_t* data, std::uint32_t blocks) {
  std::uint32_t x[16];
  std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (; blocks > 0; --blocks, data += 64) {
    for (int i = 0; i < 16; ++i) x[i] = LoadLe32(data + 4 * i);
    const std::uint32_t aa = a, bb = b, cc = c, dd = d;

    SFX_MD5_STEP(F, a, b, c, d, 0, 0xd76aa478, 7);
    SFX_MD5_STEP(F, d, a, b, c, 1, 0xe8c7b756, 12);
    SFX_MD5_STEP(F, c, d, a, b, 2, 0x242070db, 17);
    SFX_MD5_STEP(F, b, c, d, a, 3, 0xc1bdceee, 22);
    SFX_MD5_STEP(F, a, b, c, d, 4, 0xf57c0faf, 7);
    SFX_MD5_STEP(F, d, a, b, c, 5, 0x4787c62a, 12);
    SFX_MD5_STEP(F, c, d, a, b, 6, 0xa8304613, 17);
    SFX_MD5_STEP(F, b, c, d, a, 7, 0xfd469501, 22);
    SFX_MD5_STEP(F, a, b, c, d, 8, 0x698098d8, 7);
    SFX_MD5_STEP(F, d, a, b, c, 9, 0x8b44f7af, 12);
    SFX_MD5_STEP(F, c, d, a, b, 10, 0xffff5bb1, 17);
    SFX_MD5_STEP(F, b, c, d, a, 11, 0x895cd7be, 22);
    SFX_MD5_STEP(F, a, b, c, d, 12, 0x6b901122, 7);
    SFX_MD5_STEP(F, d, a, b, c, 13, 0xfd987193, 12);
    SFX_MD5_STEP(F, c, d, a, b, 14, 0xa679438e, 17);
    SFX_MD5_STEP(F, b, c, d, a, 15, 0x49b40821, 22);

    SFX_MD5_STEP_G(a, b, c, d, 1, 0xf61e2562, 5);
    SFX_MD5_STEP_G(d, a, b, c, 6, 0xc040b340, 9);
    SFX_MD5_STEP_G(c, d, a, b, 11, 0x265e5a51, 14);
    SFX_MD5_STEP_G(b, c, d, a, 0, 0xe9b6c7aa, 20);
    SFX_MD5_STEP_G(a, b, c, d, 5, 0xd62f105d, 5);
    SFX_MD5_STEP_G(d, a, b, c, 10, 0x02441453, 9);
    SFX_MD5_STEP_G(c, d, a, b, 15, 0xd8a1e681, 14);
    SFX_MD5_STEP_G(b, c, d, a, 4, 0xe7d3fbc8, 20);
    SFX_MD5_STEP_G(a, b, c, d, 9, 0x21e1cde6, 5);
    SFX_MD5_STEP_G(d, a, b, c, 14, 0xc33707d6, 9);
    SFX_MD5_STEP_G(c, d, a, b, 3, 0xf4d50d87, 14);
    SFX_MD5_STEP_G(b, c, d, a, 8, 0x455a14ed, 20);
    SFX_MD5_STEP_G(a, b, c, d, 13, 0xa9e3e905, 5);
    SFX_MD5_STEP_G(d, a, b, c, 2, 0xfcefa3f8, 9);
    SFX_MD5_STEP_G(c, d, a, b, 7, 0x676f02d9, 14);
    SFX_MD5_STEP_G(b, c, d, a, 12, 0x8d2a4c8a, 20);

    SFX_MD5_STEP(H, a, b, c, d, 5, 0xfffa3942, 4);
    SFX_MD5_STEP(H, d, a, b, c, 8, 0x8771f681, 11);
    SFX_MD5_STEP(H, c, d, a, b, 11, 0x6d9d6122, 16);
    SFX_MD5_STEP(H, b, c, d, a, 14, 0xfde5380c, 23);
    SFX_MD5_STEP(H, a, b, c, d, 1, 0xa4beea44, 4);
    SFX_MD5_STEP(H, d, a, b, c, 4, 0x4bdecfa9, 11);
    SFX_MD5_STEP(H, c, d, a, b, 7, 0xf6bb4b60, 16);
    SFX_MD5_STEP(H, b, c, d, a, 10, 0xbebfbc70, 23);
    SFX_MD5_STEP(H, a, b, c, d, 13, 0x289b7ec6, 4);
    SFX_MD5_STEP(H, d, a, b, c, 0, 0xeaa127fa, 11);
    SFX_MD5_STEP(H, c, d, a, b, 3, 0xd4ef3085, 16);
    SFX_MD5_STEP(H, b, c, d, a, 6, 0x04881d05, 23);
    SFX_MD5_STEP(H, a, b, c, d, 9, 0xd9d4d039, 4);
    SFX_MD5_STEP(H, d, a, b, c, 12, 0xe6db99e5, 11);
    SFX_MD5_STEP(H, c, d, a, b, 15, 0x1fa27cf8, 16);
    SFX_MD5_STEP(H, b, c, d, a, 2, 0xc4ac5665, 23);

    SFX_MD5_STEP(I, a, b, c, d, 0, 0xf4292244, 6);
    SFX_MD5_STEP(I, d, a, b, c, 7, 0x432aff97, 10);
    SFX_MD5_STEP(I, c, d, a, b, 14, 0xab9423a7, 15);
    SFX_MD5_STEP(I, b, c, d, a, 5, 0xfc93a039, 21);
    SFX_MD5_STEP(I, a, b, c, d, 12, 0x655b59c3, 6);
    SFX_MD5_STEP(I, d, a, b, c, 3, 0x8f0ccc92, 10);
    SFX_MD5_STEP(I, c, d, a, b, 10, 0xffeff47d, 15);
    SFX_MD5_STEP(I, b, c, d, a, 1, 0x85845dd1, 21);
    SFX_MD5_STEP(I, a, b, c, d, 8, 0x6fa87e4f, 6);
    SFX_MD5_STEP(I, d, a, b, c, 15, 0xfe2ce6e0, 10);
    SFX_MD5_STEP(I, c, d, a, b, 6, 0xa3014314, 15);
    SFX_MD5_STEP(I, b, c, d, a, 13, 0x4e0811a1, 21);
    SFX_MD5_STEP(I, a, b, c, d, 4, 0xf7537e82, 6);
    SFX_MD5_STEP(I, d, a, b, c, 11, 0xbd3af235, 10);
    SFX_MD5_STEP(I, c, d, a, b, 2, 0x2ad7d2bb, 15);
    SFX_MD5_STEP(I, b, c, d, a, 9, 0xeb86d391, 21);

    a += aa;
    b += bb;
    c += cc;
    d += dd;
  }
  state[0] = a;
  state[1] = b;
  state[2] = c;
  state[3] = d;
  // Once per call rather than per block: the copy is overwritten by every block.
  (void)Memory()->Fill(x, 0, sizeof(x));  // Fill cannot fail on a valid block
}

#undef SFX_MD5_STEP
#undef SFX_MD5_STEP_G

}  // namespace sfx::detail
