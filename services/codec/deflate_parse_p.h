// The LZ77 parse of one piece, and the DEFLATE symbol alphabets it produces.
//
// Matches are searched only inside the piece. The hash of the three bytes
// b0 b1 b2 at a position is ((((b0 & 0x7F) << 3) ^ b1) << 3) ^ b2; a position's
// candidates are the 384 most recent earlier positions with the same hash
// (hash collisions included), and the longest match among them wins, the
// nearest one on equal lengths. A match of at most 128 bytes is given up for
// a literal when the next position has a strictly longer one.
#pragma once

#include <array>
#include <cstdint>

#include "services/codec/deflate_constants_p.h"

namespace sfx::deflate {

// Length code of each match length - 3.
inline constexpr std::array<std::uint8_t, 256> kLengthCodeTable = [] {
  std::array<std::uint8_t, 256> t{};
  for (std::uint32_t code = 0; code < kLengthCodes; ++code) {
    const std::uint32_t last = kLengthBase[code] + (1u << kLengthExtraBits[code]) - 1;
    for (std::uint32_t len = kLengthBase[code]; len <= last && len <= kMaxMatch; ++len) {
      t[len - kMinMatch] = static_cast<std::uint8_t>(code);
    }
  }
  // 258 has a code of its own; 227..257 share code 27.
  t[kMaxMatch - kMinMatch] = kLengthCodes - 1;
  return t;
}();

// Distance code of distance - 1 for 1..256, then of (distance - 1) >> 7 for 257..32768.
inline constexpr std::array<std::uint8_t, 512> kDistanceCodeTable = [] {
  std::array<std::uint8_t, 512> t{};
  for (std::uint32_t code = 0; code < kDistanceSymbols; ++code) {
    const std::uint32_t first = kDistanceBase[code];
    const std::uint32_t last = first + (1u << kDistanceExtraBits[code]) - 1;
    for (std::uint32_t d = first; d <= last; ++d) {
      if (d <= 256) {
        t[d - 1] = static_cast<std::uint8_t>(code);
      } else {
        t[256 + ((d - 1) >> 7)] = static_cast<std::uint8_t>(code);
      }
    }
  }
  return t;
}();

// The length code (0..28) of a match length 3..258.
inline std::uint32_t LengthCodeOf(std::uint32_t length) { return kLengthCodeTable[length - kMinMatch]; }
// The distance code (0..29) of a distance 1..32768.
inline std::uint32_t DistanceCodeOf(std::uint32_t distance) {
  return distance <= 256 ? kDistanceCodeTable[distance - 1] : kDistanceCodeTable[256 + ((distance - 1) >> 7)];
}

// ---- the parse ----
inline constexpr std::uint32_t kHashBits = 13;
inline constexpr std::uint32_t kHashSize = 1u << kHashBits;  // 8192 heads
inline constexpr std::uint32_t kMaxCandidates = 384;
inline constexpr std::uint32_t kMaxLazyLength = 128;  // longer matches are taken at once

struct ParseArrays {
  std::uint8_t* literals;    // per symbol: the byte, or match length - 3
  std::uint16_t* distances;  // per symbol: 0 for a literal, else the distance; scratch until the parse begins
  std::uint16_t* heads;      // kHashSize entries of match-finder scratch, all zero between calls
  std::uint16_t* chain;      // 2 entries per position of match-finder scratch
};

// Parses data[0..length) (length at most 32768; the arrays hold length entries)
// and adds its symbols and one end-of-block to the counts. Returns the number
// of symbols.
std::uint32_t ParsePiece(const std::uint8_t* data, std::uint32_t length, const ParseArrays& arrays,
                         std::uint16_t* literalLengthCounts, std::uint16_t* distanceCounts);

}  // namespace sfx::deflate
