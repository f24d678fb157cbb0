// The LZ77 parse of one piece, and the DEFLATE symbol alphabets it produces.
//
// Matches are searched only inside the piece. The hash of the three bytes
// b0 b1 b2 at a position is ((((b0 & 0x7F) << 3) ^ b1) << 3) ^ b2; a position's
// candidates are the 384 most recent earlier positions with the same hash
// (hash collisions included), and the longest match among them wins, the
// nearest one on equal lengths. A match of at most 128 bytes is given up for
// a literal when the next position has a strictly longer one.
#pragma once

#include <cstdint>

namespace sfx::deflate {

// ---- alphabets (RFC 1951, 3.2.5) ----
inline constexpr std::uint32_t kLiteralLengthSymbols = 286;  // 0..255 bytes, 256 end of block, 257..285 lengths
inline constexpr std::uint32_t kDistanceSymbols = 30;
inline constexpr std::uint32_t kCodeLengthSymbols = 19;
inline constexpr std::uint32_t kEndOfBlock = 256;
inline constexpr std::uint32_t kFirstLengthSymbol = 257;
inline constexpr std::uint32_t kLengthCodes = 29;
inline constexpr std::uint32_t kMinMatch = 3;
inline constexpr std::uint32_t kMaxMatch = 258;
inline constexpr std::uint32_t kMaxDistance = 32768;

// First length of each length code, and its extra bits.
inline constexpr std::uint16_t kLengthBase[kLengthCodes] = {
    3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
inline constexpr std::uint8_t kLengthExtraBits[kLengthCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                                2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
// First distance of each distance code, and its extra bits.
inline constexpr std::uint16_t kDistanceBase[kDistanceSymbols] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
inline constexpr std::uint8_t kDistanceExtraBits[kDistanceSymbols] = {
    0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// The order in which the code-length code's lengths are sent.
inline constexpr std::uint8_t kCodeLengthOrder[kCodeLengthSymbols] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                                      11, 4,  12, 3, 13, 2, 14, 1, 15};

// The length code (0..28) of a match length 3..258.
std::uint32_t LengthCodeOf(std::uint32_t length);
// The distance code (0..29) of a distance 1..32768.
std::uint32_t DistanceCodeOf(std::uint32_t distance);

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
