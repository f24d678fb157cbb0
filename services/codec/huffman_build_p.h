// Length-limited canonical Huffman codes for DEFLATE and for the general
// Huffman encoder, and the run-length form in which a DEFLATE block header
// sends code lengths.
//
// The construction is fixed to the last tie: a binary min-heap of symbols
// keyed by count (ties broken by subtree depth), the two smallest nodes
// merged until one is left, over-long codes folded back to the limit, codes
// assigned canonically (RFC 1951, 3.2.2). Every code it builds is a complete
// prefix code with at least two symbols. One body serves both users: the
// DEFLATE codes with 16-bit counts and arrays inside the Deflater, the wide
// codes with 32-bit counts, any alphabet and limits up to 32 bits.
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
// maxBits (at most 15) long. Node counts are 16-bit and their sums wrap, as
// they always have; a Deflater's counts stay small enough that none does.
void BuildHuffmanCode(const std::uint16_t* counts, std::uint32_t n, std::uint32_t maxBits, HuffmanWork& work,
                      std::uint8_t* lengths, std::uint16_t* codes, std::uint32_t* maxCode);

// ---- the same construction for any alphabet, 32-bit counts, limits up to 32 ----
inline constexpr std::uint32_t kMaxWideCodeBits = 32;

// The scratch space of a wide construction, in two caller-allocated blocks:
// per node (2n of them) a frequency, a depth, a parent-or-length word and a
// removal-order entry, WideNodeBytes(n) in all; and the length counts
// (maxBits + 1) followed by the heap (2n + 1), WideCountBytes(n, maxBits).
// Both sizes are false when they do not fit in 32 bits.
bool WideNodeBytes(std::uint32_t n, std::uint32_t* bytes);
bool WideCountBytes(std::uint32_t n, std::uint32_t maxBits, std::uint32_t* bytes);

// Builds the code of n symbols from 32-bit counts with codes of at most
// maxBits (1..32) bits into lengths and codes (n entries each; codes stored
// bit-reversed). Fewer than two used symbols are padded as for DEFLATE; a
// one-symbol alphabet gets the single code 0 of one bit. Fails with kFail,
// lengths cleared, when a node's count passes 32 bits or more symbols are
// used than 2^maxBits codes can hold.
Result BuildWideHuffmanCode(const std::uint32_t* counts, std::uint32_t n, std::uint32_t maxBits, void* nodeBlock,
                            void* countBlock, std::uint8_t* lengths, std::uint32_t* codes);

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
