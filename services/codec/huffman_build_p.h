// Length-limited canonical Huffman codes for DEFLATE, and the run-length form
// in which a block header sends code lengths.
//
// The construction is fixed to the last tie: a binary min-heap of symbols
// keyed by count (ties broken by subtree depth), the two smallest nodes
// merged until one is left, over-long codes folded back to the limit, codes
// assigned canonically (RFC 1951, 3.2.2). Every code it builds is a complete
// prefix code with at least two symbols.
#pragma once

#include <cstdint>

#include "services/codec/deflate_constants_p.h"
#include "services/core/service.h"

namespace sfx::deflate {

inline constexpr std::uint32_t kMaxHuffmanSymbols = 286;
inline constexpr std::uint32_t kMaxHuffmanNodes = 2 * kMaxHuffmanSymbols - 1;
inline constexpr std::uint32_t kMaxCodeBits = 15;

// The scratch space of one construction; reused for every code.
struct HuffmanWork {
  std::uint16_t frequency[kMaxHuffmanNodes];
  std::uint16_t depth[kMaxHuffmanNodes];
  std::uint16_t parentOrLength[kMaxHuffmanNodes];  // a node's parent, then its length
  std::uint16_t heap[2 * kMaxHuffmanSymbols + 1];
  std::uint16_t removed[kMaxHuffmanNodes];  // nodes in the order they left the heap, the root last
  std::uint16_t lengthCounts[kMaxCodeBits + 1];
};

// A built code: per symbol its length (0 = no code) and its code, stored
// bit-reversed so that it is written least significant bit first.
template <std::uint32_t N>
struct HuffmanCode {
  std::uint8_t lengths[N];
  std::uint16_t codes[N];
  std::uint32_t maxCode;  // the largest symbol with a code
};

// Builds the code of n symbols (2..286) from counts, with codes at most
// maxBits (at most 15) long.
void BuildHuffmanCode(const std::uint16_t* counts, std::uint32_t n, std::uint32_t maxBits, HuffmanWork& work,
                      std::uint8_t* lengths, std::uint16_t* codes, std::uint32_t* maxCode);

// ---- code lengths in a block header ----

// Calls emit(symbol, extra, extraBits) for each code-length symbol that sends
// lengths[0..count): a non-zero length is sent once and then repeated by 16s
// (six at a time, the last 16 taking 3..6), with one or two left-overs sent
// plainly; runs of three or more zeros go as 17 (up to 10) or 18 (up to 138),
// with one or two zeros left after a full 18 sent plainly. The block writer
// and the code-length count use this one function, so they always agree.
// Stops at and returns the first failing emit.
template <class Emit>
Result ForEachCodeLengthSymbol(const std::uint8_t* lengths, std::uint32_t count, Emit&& emit) {
  std::uint32_t i = 0;
  while (i < count) {
    const std::uint32_t v = lengths[i];
    std::uint32_t run = 1;
    while (i + run < count && lengths[i + run] == v) ++run;
    i += run;
    if (v != 0) {
      SFX_TRY(emit(v, 0u, 0u));
      std::uint32_t left = run - 1;
      while (left > 2) {
        if (left < 7) {
          SFX_TRY(emit(kRepeatPrevious, left - 3, 2u));
          left = 0;
        } else {
          SFX_TRY(emit(kRepeatPrevious, 3u, 2u));
          left -= 6;
        }
      }
      for (; left > 0; --left) SFX_TRY(emit(v, 0u, 0u));
    } else if (run <= 2) {
      for (; run > 0; --run) SFX_TRY(emit(0u, 0u, 0u));
    } else {
      while (run > 0) {
        if (run <= 10) {
          SFX_TRY(emit(kRepeatZeroShort, run - 3, 3u));
          run = 0;
        } else if (run <= 138) {
          SFX_TRY(emit(kRepeatZeroLong, run - 11, 7u));
          run = 0;
        } else {
          SFX_TRY(emit(kRepeatZeroLong, 127u, 7u));
          run -= 138;
          if (run <= 2) {
            for (; run > 0; --run) SFX_TRY(emit(0u, 0u, 0u));
          }
        }
      }
    }
  }
  return kOk;
}

}  // namespace sfx::deflate
