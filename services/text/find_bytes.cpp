// Byte-sequence search of the string service.
//
// Both directions use the two-way string matching of Crochemore and Perrin:
// linear time whatever the pattern, and constant space (at most a 1 KiB table
// on the stack), so no pattern length needs an allocation and no input
// makes the search quadratic. The last occurrence is the first occurrence of
// the reversed pattern in the reversed data.
//
// Short patterns first try a cheaper route: jump with a byte scan between the
// places where the pattern's rarest-looking byte occurs and compare there.
// That route keeps a running cost and hands over to the two-way search as
// soon as the candidates turn out too frequent, so it never costs more than a
// constant factor over reading the data once.
#include <cstdint>
#include <cstring>

#include "services/text/string_service.h"

namespace sfx {
namespace {

// Views a byte block forwards, or backwards from its last byte.
template <bool kReverse>
struct View {
  const unsigned char* bytes;
  std::int64_t length;
  unsigned char operator[](std::int64_t i) const { return kReverse ? bytes[length - 1 - i] : bytes[i]; }
};

// The critical factorisation of the pattern: the position of the larger of the
// two maximal suffixes (under the byte order and its reverse), and the period
// of that suffix.
template <bool kReverse>
std::int64_t CriticalFactorization(const View<kReverse>& pattern, std::int64_t* period) {
  const std::int64_t n = pattern.length;
  std::int64_t suffixes[2];
  std::int64_t periods[2];
  for (int order = 0; order < 2; ++order) {
    std::int64_t maxSuffix = -1;
    std::int64_t j = 0;
    std::int64_t k = 1;
    std::int64_t p = 1;
    while (j + k < n) {
      const unsigned char a = pattern[j + k];
      const unsigned char b = pattern[maxSuffix + k];
      if (order == 0 ? a < b : a > b) {
        j += k;
        k = 1;
        p = j - maxSuffix;
      } else if (a == b) {
        if (k != p) {
          ++k;
        } else {
          j += p;
          k = 1;
        }
      } else {
        maxSuffix = j++;
        k = p = 1;
      }
    }
    suffixes[order] = maxSuffix;
    periods[order] = p;
  }
  const int larger = suffixes[1] > suffixes[0] ? 1 : 0;
  *period = periods[larger];
  return suffixes[larger] + 1;
}

// Patterns from this length on skip windows by a bad-character table; shorter
// ones jump between candidates with a byte scan.
constexpr std::int64_t kShiftTableFrom = 16;

// The last byte equal to `wanted` in [begin, end), or nullptr: a word at a
// time, since the C library offers no portable backward scan.
const unsigned char* FindLastByte(const unsigned char* begin, const unsigned char* end, unsigned char wanted) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
  const std::uint64_t spread = kOnes * wanted;
  while (end - begin >= 8) {
    std::uint64_t word;
    std::memcpy(&word, end - 8, 8);
    word ^= spread;  // a zero byte where `wanted` is
    if (((word - kOnes) & ~word & kHighs) != 0) break;
    end -= 8;
  }
  while (end > begin)
    if (*--end == wanted) return end;
  return nullptr;
}

// The first position from `from` to `to` (inclusive) that holds `wanted`, or
// `to` + 1 when none does.
template <bool kReverse>
std::int64_t ScanFor(const View<kReverse>& data, std::int64_t from, std::int64_t to, unsigned char wanted) {
  if (from > to) return from;
  if constexpr (!kReverse) {
    const void* hit = std::memchr(data.bytes + from, wanted, static_cast<std::size_t>(to - from + 1));
    return hit == nullptr ? to + 1 : static_cast<const unsigned char*>(hit) - data.bytes;
  } else {
    // View positions from..to are the original bytes length-1-to .. length-1-from.
    const unsigned char* hit =
        FindLastByte(data.bytes + (data.length - 1 - to), data.bytes + (data.length - from), wanted);
    return hit == nullptr ? to + 1 : data.length - 1 - (hit - data.bytes);
  }
}

// Skips start positions whose byte at `at` cannot match `wanted`: returns the
// first start from `start` on where it does, or `last` + 1 when none remains.
template <bool kReverse>
std::int64_t NextCandidate(const View<kReverse>& data, std::int64_t start, std::int64_t last, std::int64_t at,
                           unsigned char wanted) {
  return ScanFor(data, start + at, last + at, wanted) - at;
}

// The first start position of the pattern in the data, or -1.
//
// Skipping happens only where the plain two-way search holds nothing in
// memory (no known-matching prefix): there it could as well start afresh at
// any later position that might match, so its linear bound is kept. The
// window's last byte picks the jump.
//
// The search may begin at any `from` that no earlier occurrence precedes: it
// starts with nothing remembered, as after a mismatch.
template <bool kReverse>
std::int64_t TwoWaySearch(const View<kReverse>& data, const View<kReverse>& pattern, std::int64_t from) {
  const std::int64_t n = pattern.length;
  const std::int64_t last = data.length - n;  // the last possible start
  std::int64_t period = 0;
  const std::int64_t suffix = CriticalFactorization(pattern, &period);

  // Each byte's distance from its last place in the pattern to the pattern's
  // end (0 for the final byte), or n for a byte the pattern lacks: the
  // shortest jump that can line that byte up again.
  const bool useTable = n >= kShiftTableFrom;
  std::uint32_t shift[256];
  if (useTable) {
    const auto absent = static_cast<std::uint32_t>(n < 0xFFFFFFFF ? n : 0xFFFFFFFF);
    for (auto& s : shift) s = absent;
    for (std::int64_t i = 0; i < n; ++i) shift[pattern[i]] = static_cast<std::uint32_t>(n - 1 - i);
  }
  // Moves j to the next position that may match; false when none is left.
  auto skip = [&](std::int64_t* j) {
    if (!useTable) {
      *j = NextCandidate(data, *j, last, suffix, pattern[suffix]);
      return *j <= last;
    }
    while (*j <= last) {
      const std::uint32_t s = shift[data[*j + n - 1]];
      if (s == 0) return true;
      *j += s;
    }
    return false;
  };

  bool periodic = true;
  for (std::int64_t i = 0; i < suffix && periodic; ++i) periodic = pattern[i] == pattern[i + period];

  std::int64_t j = from;
  if (periodic) {
    // After a shift by the period, the pattern's first n - period bytes are
    // known to match already; `memory` remembers that.
    std::int64_t memory = 0;
    while (j <= last) {
      if (memory == 0 && !skip(&j)) break;
      std::int64_t i = suffix > memory ? suffix : memory;
      while (i < n && pattern[i] == data[i + j]) ++i;
      if (i >= n) {
        i = suffix - 1;
        while (i >= memory && pattern[i] == data[i + j]) --i;
        if (i < memory) return j;
        j += period;
        memory = n - period;
      } else {
        j += i - suffix + 1;
        memory = 0;
      }
    }
  } else {
    period = (suffix > n - suffix ? suffix : n - suffix) + 1;
    while (j <= last) {
      if (!skip(&j)) break;
      std::int64_t i = suffix;
      while (i < n && pattern[i] == data[i + j]) ++i;
      if (i >= n) {
        i = suffix - 1;
        while (i >= 0 && pattern[i] == data[i + j]) --i;
        if (i < 0) return j;
        j += period;
      } else {
        j += i - suffix + 1;
      }
    }
  }
  return -1;
}

// One byte: a plain scan either way.
template <bool kReverse>
std::int64_t FindByte(const View<kReverse>& data, unsigned char byte) {
  const std::int64_t at = ScanFor(data, 0, data.length - 1, byte);
  return at < data.length ? at : -1;
}

// A guess at how common each byte is in the data callers search (text,
// markup, executables and archives): higher is more common. Only the order
// matters; a wrong guess costs speed, never a result.
constexpr unsigned char GuessedFrequency(unsigned char c) {
  if (c == 0 || c == ' ' || c == 0xFF) return 255;
  if (c == 'e' || c == 't' || c == 'a' || c == 'o' || c == 'i' || c == 'n' || c == 's' || c == 'r') return 240;
  if (c == '\n' || c == '\t' || c == '\r' || c == '.' || c == ',' || c == '/' || c == '_' || c == '-' || c == '=' ||
      c == '"' || c == '<' || c == '>' || c == '(' || c == ')' || c == ';' || c == ':' || c == '\'' || c == '#')
    return 200;
  if (c == 'q' || c == 'x' || c == 'z' || c == 'j' || c == 'k' || c == 'v') return 150;
  if (c >= 'a' && c <= 'z') return 220;
  if (c >= '0' && c <= '9') return 190;
  if (c == 'Q' || c == 'X' || c == 'Z' || c == 'J' || c == 'K' || c == 'V') return 90;
  if (c >= 'A' && c <= 'Z') return 160;
  if (c < 0x09) return 140;  // small counts and flags in binary formats
  if (c < 0x80) return 100;
  return 60 + (c >= 0xC0 ? 20 : 0);  // high bytes: rare in text, common in code and compressed data
}

// The pattern's two rarest-looking bytes at two different positions: the
// scan jumps on the first, the second is checked before a full comparison.
template <bool kReverse>
struct RareBytes {
  std::int64_t at[2];
  unsigned char byte[2];

  explicit RareBytes(const View<kReverse>& pattern) {
    at[0] = 0;
    for (std::int64_t i = 1; i < pattern.length; ++i)
      if (GuessedFrequency(pattern[i]) < GuessedFrequency(pattern[at[0]])) at[0] = i;
    // A different byte value tells more than the same one elsewhere.
    at[1] = at[0] == 0 ? 1 : 0;
    auto rank = [&](std::int64_t i) { return GuessedFrequency(pattern[i]) + (pattern[i] == pattern[at[0]] ? 256 : 0); };
    for (std::int64_t i = 0; i < pattern.length; ++i)
      if (i != at[0] && rank(i) < rank(at[1])) at[1] = i;
    byte[0] = pattern[at[0]];
    byte[1] = pattern[at[1]];
  }
};

// Patterns shorter than this try the rare-byte scan first; longer ones go
// straight to the table-driven two-way search, whose skips grow with the
// pattern. The C library's forward scan outruns those skips up to long
// patterns, the word-at-a-time backward scan only for short ones.
template <bool kReverse>
constexpr std::int64_t kRareByteScanBelow = kReverse ? 64 : 2048;

// Returned by RareByteSearch when it handed over to the two-way search.
constexpr std::int64_t kGaveUp = -2;

// The first start position of the pattern (of two bytes or more) in the data,
// -1, or kGaveUp with `*resume` set to the first start not yet ruled out.
//
// Each candidate costs a scan call and a byte check, each full comparison up
// to the pattern's length; once that cost outgrows twice the distance covered
// (plus a start-up allowance), the candidates are too dense for this to pay.
template <bool kReverse>
std::int64_t RareByteSearch(const View<kReverse>& data, const View<kReverse>& pattern, std::int64_t* resume) {
  constexpr std::int64_t kCandidateCost = 8;
  const std::int64_t n = pattern.length;
  const std::int64_t last = data.length - n;
  const std::int64_t allowance = 1024 + 4 * n;
  const RareBytes<kReverse> rare(pattern);
  std::int64_t cost = 0;
  std::int64_t j = 0;
  for (;;) {
    j = NextCandidate(data, j, last, rare.at[0], rare.byte[0]);
    if (j > last) return -1;
    cost += kCandidateCost;
    if (data[j + rare.at[1]] == rare.byte[1]) {
      // Both directions compare the window in the original byte order.
      const unsigned char* window = kReverse ? data.bytes + (data.length - n - j) : data.bytes + j;
      if (std::memcmp(window, pattern.bytes, static_cast<std::size_t>(n)) == 0) return j;
      cost += n;
    }
    ++j;
    if (cost > 2 * j + allowance) {
      *resume = j;
      return kGaveUp;
    }
  }
}

template <bool kReverse>
std::int64_t Search(const View<kReverse>& data, const View<kReverse>& pattern) {
  if (pattern.length == 1) return FindByte(data, pattern[0]);
  std::int64_t from = 0;
  if (pattern.length < kRareByteScanBelow<kReverse>) {
    const std::int64_t at = RareByteSearch(data, pattern, &from);
    if (at != kGaveUp) return at;
  }
  return TwoWaySearch(data, pattern, from);
}

}  // namespace

Result StringService::FindBytes(const void* data, std::uint32_t dataLength, const void* pattern,
                                std::uint32_t patternLength, std::uint32_t* offset) {
  if (patternLength > dataLength) return kStringNotFound;
  std::int64_t at = 0;
  if (patternLength > 0) {
    at = Search(View<false>{static_cast<const unsigned char*>(data), dataLength},
                View<false>{static_cast<const unsigned char*>(pattern), patternLength});
    if (at < 0) return kStringNotFound;
  }
  if (offset != nullptr) *offset = static_cast<std::uint32_t>(at);
  return kStringFound;
}

Result StringService::FindBytesLast(const void* data, std::uint32_t dataLength, const void* pattern,
                                    std::uint32_t patternLength, std::uint32_t* offset) {
  if (patternLength > dataLength) return kStringNotFound;
  std::int64_t at = 0;
  if (patternLength > 0) {
    at = Search(View<true>{static_cast<const unsigned char*>(data), dataLength},
                View<true>{static_cast<const unsigned char*>(pattern), patternLength});
    if (at < 0) return kStringNotFound;
  }
  // A start in the reversed data is where the occurrence ends in the original.
  if (offset != nullptr) *offset = static_cast<std::uint32_t>(dataLength - patternLength - at);
  return kStringFound;
}

}  // namespace sfx
