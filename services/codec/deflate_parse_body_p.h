// The parse of one piece (deflate_parse_p.h), kept apart from the file that
// compiles it, with the candidate scan as a parameter, so that a copy per
// processor feature can be compiled from it. (A scan gathering sixteen
// candidates per step with AVX2 took a quarter fewer instructions but about a
// third more time where it was measured, and is not built.)
#pragma once

#include <array>
#include <cstring>

#include "services/codec/deflate_parse_p.h"

// The including file defines SFX_PARSE_TARGET (a target attribute, or
// nothing). Everything has internal linkage, so that each file's copy stays
// its own.
#ifndef SFX_PARSE_TARGET
#error "define SFX_PARSE_TARGET before including this file"
#endif
#define SFX_PARSE_INLINE inline __attribute__((always_inline)) SFX_PARSE_TARGET

namespace sfx::deflate {
namespace {

static_assert(kLengthBase[kLengthCodes - 1] == kMaxMatch);
static_assert(kDistanceBase[kDistanceSymbols - 1] + (1u << kDistanceExtraBits[kDistanceSymbols - 1]) - 1 ==
              kMaxDistance);
// Chain entries hold 1 + a position in 16 bits.
static_assert(kMaxDistance <= 0xFFFF);

SFX_PARSE_INLINE std::uint32_t Hash3(const std::uint8_t* p) { return ((((p[0] & 0x7Fu) << 3) ^ p[1]) << 3) ^ p[2]; }

SFX_PARSE_INLINE std::uint64_t Load64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

SFX_PARSE_INLINE std::uint16_t Load16(const std::uint8_t* p) {
  std::uint16_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Number of equal leading bytes of s and t, at most limit. Reads only
// s[0..limit) and t[0..limit).
SFX_PARSE_INLINE std::uint32_t CommonLength(const std::uint8_t* s, const std::uint8_t* t, std::uint32_t limit) {
  std::uint32_t len = 0;
  while (len + 8 <= limit) {
    const std::uint64_t diff = Load64(s + len) ^ Load64(t + len);
    if (diff != 0) {
      // Bytes load little-endian on every target, so the lowest set bit marks
      // the first differing byte.
      return len + static_cast<std::uint32_t>(__builtin_ctzll(diff) >> 3);
    }
    len += 8;
  }
  while (len < limit && s[len] == t[len]) ++len;
  return len;
}

// The nearest candidate in [end, next) whose bytes at pairs + q are want:
// a pointer to it, or null. Four candidates per pass, so that the count is
// checked once for all four.
struct PortableScan {
  static SFX_PARSE_INLINE const std::uint16_t* Scan(const std::uint16_t* next, const std::uint16_t* end,
                                                    const std::uint8_t* pairs, std::uint16_t want) {
    while (next - end >= 4) {
      if (Load16(pairs + next[-1]) == want) return next - 1;
      if (Load16(pairs + next[-2]) == want) return next - 2;
      if (Load16(pairs + next[-3]) == want) return next - 3;
      if (Load16(pairs + next[-4]) == want) return next - 4;
      next -= 4;
    }
    while (next != end) {
      --next;
      if (Load16(pairs + *next) == want) return next;
    }
    return nullptr;
  }
};

struct Match {
  std::uint32_t length;  // 0 when there is none
  std::uint32_t distance;
};

// Every position before p has been inserted by the time p is searched (the
// parse inserts each position it passes and every position a match covers,
// stopping only where fewer than three bytes remain), so p's candidates are
// simply the kMaxCandidates latest positions x < p with p's hash: they depend
// on the data alone, not on the parse. The matcher therefore sorts all
// positions of the piece by hash up front (a counting sort that keeps each
// hash's positions in increasing order) and reads p's candidates as one run
// of that order, nearest first, instead of following a chain.
//
// The per-hash table is all zero between pieces, so a small piece costs time
// in proportion to its length rather than to the 8192 hashes.
template <class Scanner>
class Matcher {
 public:
  SFX_PARSE_INLINE Matcher(const std::uint8_t* data, std::uint32_t length, const ParseArrays& a)
      : data_(data), length_(length), start_(a.heads), sorted_(a.chain), rank_(a.chain + length) {
    const std::uint32_t positions = length - 2;
    // Count each hash. The distances array is not written before the parse
    // begins, and then only below the position being searched, so it keeps
    // each position's hash for the final pass and for Find. The hashes come
    // first, in a loop of their own that the compiler vectorises.
    hashes_ = a.distances;
    std::uint16_t* const hashes = a.distances;
    for (std::uint32_t x = 0; x < positions; ++x) hashes[x] = static_cast<std::uint16_t>(Hash3(data + x));
    // Lay the runs out (where they lie does not matter, only that each is
    // contiguous), each hash's entry now just past its run. A large piece
    // walks every hash; a small one notes (in sorted_, free until the final
    // pass) the hashes it uses, in the order they first occur.
    std::uint32_t sum = 0;
    if (positions >= kHashSize / 4) {
      // Two per pass: the loop costs as much as the count.
      std::uint32_t x = positions & 1;
      if (x != 0) ++start_[hashes[0]];
      for (; x < positions; x += 2) {
        ++start_[hashes[x]];
        ++start_[hashes[x + 1]];
      }
      for (std::uint32_t h = 0; h < kHashSize; ++h) {
        sum += start_[h];
        start_[h] = static_cast<std::uint16_t>(sum);
      }
    } else {
      std::uint32_t used = 0;
      for (std::uint32_t x = 0; x < positions; ++x) {
        const std::uint32_t h = hashes[x];
        if (start_[h]++ == 0) sorted_[used++] = static_cast<std::uint16_t>(h);
      }
      for (std::uint32_t u = 0; u < used; ++u) {
        const std::uint32_t h = sorted_[u];
        sum += start_[h];
        start_[h] = static_cast<std::uint16_t>(sum);
      }
    }
    // Fill each run from its end, last position first, so that it ends up in
    // increasing order and each hash's entry at the start of its run.
    const auto place = [&](std::uint32_t x) __attribute__((always_inline)) SFX_PARSE_TARGET {
      const std::uint32_t k = --start_[hashes[x]];
      sorted_[k] = static_cast<std::uint16_t>(x);
      rank_[x] = static_cast<std::uint16_t>(k);
    };
    std::uint32_t x = positions;
    if (x & 1) place(--x);
    while (x > 0) {  // two per pass
      place(x - 1);
      place(x - 2);
      x -= 2;
    }
  }

  SFX_PARSE_INLINE ~Matcher() {
    const std::uint32_t positions = length_ - 2;
    if (positions < kHashSize / 4) {
      for (std::uint32_t x = 0; x < positions; ++x) start_[Hash3(data_ + x)] = 0;
    } else {
      std::memset(start_, 0, kHashSize * sizeof(std::uint16_t));
    }
  }

  Matcher(const Matcher&) = delete;
  Matcher& operator=(const Matcher&) = delete;

  // The longest match at p (p + 3 <= length) among p's candidates, if it is
  // longer than `shorter` (at least 2). When it is, it is the same match a
  // search for any length would find: the longest, and the nearest of those.
  SFX_PARSE_INLINE Match Find(std::uint32_t p, std::uint32_t shorter = kMinMatch - 1) const {
    const std::uint32_t first = start_[hashes_[p]];
    std::uint32_t k = rank_[p];
    if (k == first) return {0, 0};
    const std::uint32_t stop = k - first > kMaxCandidates ? k - kMaxCandidates : first;
    const std::uint32_t remaining = length_ - p;
    const std::uint32_t limit = remaining < kMaxMatch ? remaining : kMaxMatch;
    if (shorter >= limit) return {0, 0};
    const std::uint8_t* s = data_ + p;
    std::uint32_t best = shorter;
    std::uint32_t bestPos = 0;
    // A candidate can beat best only if it also matches bytes best - 1 and
    // best; best < limit, so both lie inside the piece. Most candidates fail
    // that test, so the scanner tests only that, nearest first, and stops at
    // the first that passes.
    std::uint16_t want = Load16(s + best - 1);
    const std::uint8_t* pairs = data_ + best - 1;  // + q: candidate q's bytes best - 1 and best
    const std::uint16_t* next = sorted_ + k;       // candidates are next[-1] (the nearest) down to end[0]
    const std::uint16_t* const end = sorted_ + stop;
    for (;;) {
      const std::uint16_t* const hit = Scanner::Scan(next, end, pairs, want);
      if (hit == nullptr) break;
      next = hit;
      const std::uint32_t q = *hit;
      const std::uint32_t len = CommonLength(s, data_ + q, limit);
      if (len > best) {
        best = len;
        bestPos = q;
        // Nothing can be longer, and an equal one further back would not replace it.
        if (len == limit) break;
        want = Load16(s + best - 1);
        pairs = data_ + best - 1;
      }
    }
    if (best == shorter) return {0, 0};
    return {best, p - bestPos};
  }

 private:
  const std::uint8_t* data_;
  std::uint32_t length_;
  std::uint16_t* start_;                   // per hash: where its run begins in sorted_ (0 between pieces)
  std::uint16_t* sorted_;                  // positions grouped by hash, each group in increasing order
  std::uint16_t* rank_;                    // per position: its index in sorted_
  const std::uint16_t* hashes_ = nullptr;  // per position at or after the one searched: its hash
};

SFX_PARSE_INLINE void CountLiteral(std::uint16_t* counts, std::uint32_t symbol) {
  counts[symbol] = static_cast<std::uint16_t>(counts[symbol] + 1);
}

template <class Scanner>
SFX_PARSE_INLINE std::uint32_t ParsePieceWith(const std::uint8_t* data, std::uint32_t length, const ParseArrays& arrays,
                                              std::uint16_t* literalLengthCounts, std::uint16_t* distanceCounts) {
  std::uint8_t* const literals = arrays.literals;
  std::uint16_t* const distances = arrays.distances;
  std::uint32_t i = 0;
  std::uint32_t j = 0;
  auto emitLiteral = [&](std::uint32_t at) __attribute__((always_inline)) SFX_PARSE_TARGET {
    literals[j] = data[at];
    distances[j] = 0;
    CountLiteral(literalLengthCounts, data[at]);
    ++j;
  };
  if (length >= kMinMatch) {
    const Matcher<Scanner> matcher(data, length, arrays);
    Match pending{0, 0};
    bool havePending = false;
    while (i < length - 2) {
      // A look-ahead at i + 1 already found this step's match.
      const Match m = havePending ? pending : matcher.Find(i);
      havePending = false;
      if (m.length == 0) {
        emitLiteral(i);
        ++i;
        continue;
      }
      if (m.length <= kMaxLazyLength && length - (i + 1) >= kMinMatch) {
        // Only a strictly longer match matters here, which lets the search
        // pass over every candidate that cannot be one.
        const Match next = matcher.Find(i + 1, m.length);
        if (next.length > m.length) {
          emitLiteral(i);
          ++i;
          pending = next;
          havePending = true;
          continue;
        }
      }
      literals[j] = static_cast<std::uint8_t>(m.length - kMinMatch);
      distances[j] = static_cast<std::uint16_t>(m.distance);
      CountLiteral(literalLengthCounts, kFirstLengthSymbol + kLengthCodeTable[m.length - kMinMatch]);
      CountLiteral(distanceCounts, DistanceCodeOf(m.distance));
      ++j;
      i += m.length;
    }
  }
  while (i < length) {
    emitLiteral(i);
    ++i;
  }
  CountLiteral(literalLengthCounts, kEndOfBlock);
  return j;
}

}  // namespace
}  // namespace sfx::deflate
