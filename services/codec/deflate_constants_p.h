// Constants of the raw DEFLATE format (RFC 1951), named after its own fields,
// each tied to the width it is read and written with: the one set the decoder
// and the compressor share.
#pragma once

#include <cstdint>

namespace sfx::deflate {

// Block header: BFINAL (1 bit), BTYPE (2 bits).
inline constexpr int kBfinalBits = 1;
inline constexpr int kBtypeBits = 2;
inline constexpr std::uint32_t kBtypeStored = 0;
inline constexpr std::uint32_t kBtypeFixed = 1;
inline constexpr std::uint32_t kBtypeDynamic = 2;
static_assert(kBtypeDynamic < (1u << kBtypeBits));

// Dynamic header: HLIT (5 bits) + 257, HDIST (5 bits) + 1, HCLEN (4 bits) + 4,
// then HCLEN + 4 code-length code lengths of 3 bits each.
inline constexpr int kHlitBits = 5;
inline constexpr int kHdistBits = 5;
inline constexpr int kHclenBits = 4;
inline constexpr int kCodeLengthBits = 3;
// Alphabets: 0..255 bytes, 256 end of block, 257..285 lengths; 30 distances.
inline constexpr std::uint32_t kLiteralLengthSymbols = 286;  // 257 + HLIT may claim up to 288
inline constexpr std::uint32_t kDistanceSymbols = 30;        // 1 + HDIST may claim up to 32
inline constexpr std::uint32_t kCodeLengthSymbols = 19;
static_assert(kCodeLengthSymbols == (1u << kHclenBits) - 1 + 4);

// The fixed code covers 288 literal/length and 32 distance symbols; the last
// two of each are never valid in data.
inline constexpr std::uint32_t kFixedLiteralCodes = 288;
inline constexpr std::uint32_t kFixedDistanceCodes = 32;

inline constexpr std::uint32_t kEndOfBlock = 256;
inline constexpr std::uint32_t kFirstLengthSymbol = 257;
inline constexpr std::uint32_t kLengthCodes = 29;
static_assert(kFirstLengthSymbol + kLengthCodes == kLiteralLengthSymbols);
inline constexpr std::uint32_t kMaxCodeLength = 15;
inline constexpr std::uint32_t kMinMatch = 3;
inline constexpr std::uint32_t kMaxMatch = 258;
inline constexpr std::uint32_t kMaxDistance = 32768;

// Order in which the code-length code lengths arrive.
inline constexpr std::uint8_t kCodeLengthOrder[kCodeLengthSymbols] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                                      11, 4,  12, 3, 13, 2, 14, 1, 15};

// Code-length symbols 16..18: repeat the previous length 3..6 times (2 extra
// bits), or 3..10 (3 bits) or 11..138 (7 bits) zeros.
inline constexpr std::uint32_t kRepeatPrevious = 16;
inline constexpr std::uint32_t kRepeatZeroShort = 17;
inline constexpr std::uint32_t kRepeatZeroLong = 18;
inline constexpr int kRepeatPreviousBits = 2;
inline constexpr std::uint32_t kRepeatPreviousMin = 3;
inline constexpr int kRepeatZeroShortBits = 3;
inline constexpr std::uint32_t kRepeatZeroShortMin = 3;
inline constexpr int kRepeatZeroLongBits = 7;
inline constexpr std::uint32_t kRepeatZeroLongMin = 11;
static_assert(kRepeatPreviousMin + (1u << kRepeatPreviousBits) - 1 == 6);
static_assert(kRepeatZeroShortMin + (1u << kRepeatZeroShortBits) - 1 == 10);
static_assert(kRepeatZeroLongMin + (1u << kRepeatZeroLongBits) - 1 == 138);

// Length symbols 257..285: base length and extra bits.
inline constexpr std::uint16_t kLengthBase[kLengthCodes] = {
    3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
inline constexpr std::uint8_t kLengthExtraBits[kLengthCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                                2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
// Distance symbols 0..29: base distance and extra bits.
inline constexpr std::uint16_t kDistanceBase[kDistanceSymbols] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
inline constexpr std::uint8_t kDistanceExtraBits[kDistanceSymbols] = {
    0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

}  // namespace sfx::deflate
