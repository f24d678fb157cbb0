#include "services/codec/base64_codec_p.h"

#include <array>
#include <bit>
#include <cstring>

namespace sfx::detail {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::uint8_t kPad = '=';

// Two characters per 12 input bits: one lookup and one 16-bit store per half
// of a group, half the lookups of a per-character table.
struct PairTable {
  std::array<std::uint16_t, 4096> pairs;
};
constexpr PairTable MakePairTable() {
  PairTable t{};
  for (std::uint32_t v = 0; v < 4096; ++v) {
    // Stored in memory order: first character in the low byte.
    t.pairs[v] = static_cast<std::uint16_t>(static_cast<std::uint8_t>(kAlphabet[v >> 6]) |
                                            static_cast<std::uint8_t>(kAlphabet[v & 63]) << 8);
  }
  return t;
}
constexpr PairTable kPairs = MakePairTable();

// Decoding: one table per character position of a group, holding the
// character's six bits already shifted into place in a 24-bit group value;
// characters outside the alphabet have kInvalid set, so OR-ing the four
// lookups tells at once whether the whole group is valid.
constexpr std::uint32_t kInvalid = 0x80000000u;
struct DecodeTables {
  std::array<std::uint32_t, 256> at[4];
};
constexpr DecodeTables MakeDecodeTables() {
  DecodeTables t{};
  for (int pos = 0; pos < 4; ++pos) {
    for (auto& e : t.at[pos]) e = kInvalid;
    for (std::uint32_t v = 0; v < 64; ++v) {
      t.at[pos][static_cast<std::uint8_t>(kAlphabet[v])] = v << (18 - 6 * pos);
    }
  }
  return t;
}
constexpr DecodeTables kDecode = MakeDecodeTables();

// Four characters, the first in the low byte, in one store.
inline void Store32(char* p, std::uint32_t v) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(p, &v, 4);
  } else {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<char>(v >> (8 * i));
  }
}

}  // namespace

void Base64Encode(const std::uint8_t* data, std::uint32_t length, char* text) {
  std::uint32_t i = 0;
  for (; length - i >= 3; i += 3, text += 4) {
    const std::uint32_t v =
        static_cast<std::uint32_t>(data[i]) << 16 | static_cast<std::uint32_t>(data[i + 1]) << 8 | data[i + 2];
    Store32(text, kPairs.pairs[v >> 12] | static_cast<std::uint32_t>(kPairs.pairs[v & 0xFFF]) << 16);
  }
  const std::uint32_t rest = length - i;
  if (rest == 0) return;
  const std::uint32_t b0 = data[i];
  const std::uint32_t b1 = rest == 2 ? data[i + 1] : 0;
  text[0] = kAlphabet[b0 >> 2];
  text[1] = kAlphabet[(b0 & 3) << 4 | b1 >> 4];
  text[2] = rest == 2 ? kAlphabet[(b1 & 15) << 2] : static_cast<char>(kPad);
  text[3] = static_cast<char>(kPad);
}

std::uint32_t Base64Decode(const char* text, std::uint32_t length, std::uint8_t* out) {
  const auto* t = reinterpret_cast<const std::uint8_t*>(text);
  std::uint8_t* const first = out;
  std::uint32_t i = 0;
  // Whole valid groups, four characters at a time.
  for (; length - i >= 4; i += 4, out += 3) {
    const std::uint32_t v =
        kDecode.at[0][t[i]] | kDecode.at[1][t[i + 1]] | kDecode.at[2][t[i + 2]] | kDecode.at[3][t[i + 3]];
    if (v & kInvalid) break;
    out[0] = static_cast<std::uint8_t>(v >> 16);
    out[1] = static_cast<std::uint8_t>(v >> 8);
    out[2] = static_cast<std::uint8_t>(v);
  }
  // The last, short or broken group: its characters up to the first one
  // outside the alphabet (or the end) count.
  std::uint32_t v = 0;
  std::uint32_t n = 0;
  for (; n < 4 && i + n < length; ++n) {
    const std::uint32_t e = kDecode.at[n][t[i + n]];
    if (e & kInvalid) break;
    v |= e;
  }
  if (n >= 2) *out++ = static_cast<std::uint8_t>(v >> 16);
  if (n >= 3) *out++ = static_cast<std::uint8_t>(v >> 8);
  // n == 4 cannot happen here: a complete valid group was taken by the loop.
  return static_cast<std::uint32_t>(out - first);
}

}  // namespace sfx::detail
