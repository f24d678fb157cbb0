// The general Huffman coders' compressed code-length header, named after its
// own fields. It is DEFLATE's dynamic header widened to lengths of 0..31:
//
//   HCLEN                5 bits   number of code-length code lengths - 4
//   lengths              3 bits each, HCLEN + 4 of them, in kLengthCodeOrder
//   code lengths         n of them, each a code-length symbol:
//     0..31              that length
//     32 + 2 bits        the previous length 3..6 times
//     33 + 3 bits        3..10 zeros
//     34 + 7 bits        11..138 zeros
//
// A length of 32 has no symbol of its own: such codes travel raw.
#pragma once

#include <cstdint>

#include "services/core/stream.h"

namespace sfx::detail::huffman {

inline constexpr std::uint32_t kMaxCodeBits = 32;

// Code-length formats: raw bytes, or (any format with bit 0 set) the header above.
inline constexpr std::uint32_t kRawLengths = 0;
inline constexpr std::uint32_t kCompressedLengthsFlag = 1;

inline constexpr unsigned kHclenBits = 5;
inline constexpr unsigned kLengthCodeBits = 3;
inline constexpr std::uint32_t kLengthCodes = 35;
inline constexpr std::uint32_t kMinLengthCodes = 4;
static_assert(kLengthCodes == (1u << kHclenBits) - 1 + kMinLengthCodes);
inline constexpr std::uint32_t kMaxLengthCodeBits = 7;
static_assert(kMaxLengthCodeBits == (1u << kLengthCodeBits) - 1);

inline constexpr std::uint32_t kLargestPlainLength = 31;
inline constexpr std::uint32_t kRepeatPrevious = 32;
inline constexpr unsigned kRepeatPreviousBits = 2;  // 3..6 copies
inline constexpr std::uint32_t kRepeatZeroShort = 33;
inline constexpr unsigned kRepeatZeroShortBits = 3;  // 3..10 zeros
inline constexpr std::uint32_t kRepeatZeroLong = 34;
inline constexpr unsigned kRepeatZeroLongBits = 7;  // 11..138 zeros
inline constexpr std::uint32_t kMinRepeat = 3;
inline constexpr std::uint32_t kMaxRepeatPrevious = kMinRepeat + (1u << kRepeatPreviousBits) - 1;
inline constexpr std::uint32_t kMaxShortZeros = kMinRepeat + (1u << kRepeatZeroShortBits) - 1;
inline constexpr std::uint32_t kMinLongZeros = kMaxShortZeros + 1;
inline constexpr std::uint32_t kMaxLongZeros = kMinLongZeros + (1u << kRepeatZeroLongBits) - 1;
static_assert(kMaxRepeatPrevious == 6 && kMaxShortZeros == 10 && kMaxLongZeros == 138);

// The order in which the code-length code lengths arrive: DEFLATE's, then 16..31.
inline constexpr std::uint8_t kLengthCodeOrder[kLengthCodes] = {32, 33, 34, 0,  8,  7,  9,  6,  10, 5,  11, 4,
                                                                12, 3,  13, 2,  14, 1,  15, 16, 17, 18, 19, 20,
                                                                21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31};

// Symbol values in a stream are 1, 2 or 4 bytes; an extra value takes the
// smallest of those that holds its bits.
inline constexpr std::uint32_t kMaxExtraBits = 32;
constexpr bool IsSymbolWidth(std::uint32_t width) { return width == 1 || width == 2 || width == 4; }
constexpr std::uint32_t ExtraValueBytes(std::uint32_t bits) { return bits <= 8 ? 1 : bits <= 16 ? 2 : 4; }

// A range size that means "up to the end of the stream".
inline constexpr std::uint32_t kToEndOfStream = 0xFFFFFFFFu;

// Turns kToEndOfStream into the bytes from position to the stream's end (none
// when position lies past it) and keeps every range inside 32-bit positions.
inline Result ResolveRange(Stream* stream, std::uint32_t position, std::uint32_t* size) {
  if (*size == kToEndOfStream) {
    std::uint32_t streamSize = 0;
    SFX_TRY(stream->GetSize(&streamSize));
    *size = streamSize > position ? streamSize - position : 0;
  }
  if (*size > 0xFFFFFFFFu - position) *size = 0xFFFFFFFFu - position;
  return kOk;
}

}  // namespace sfx::detail::huffman
