// Byte-sequence search of the string service.
//
// Both directions use the two-way string matching of Crochemore and Perrin:
// linear time in the data length whatever the pattern, and constant space, so
// no pattern length forces a table on the stack or an allocation, and no input
// makes the search quadratic. The last occurrence is the first occurrence of
// the reversed pattern in the reversed data.
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

// Skips start positions whose byte at `at` cannot match `wanted`: returns the
// first start from `start` on where it does, or `last` + 1 when none remains.
template <bool kReverse>
std::int64_t NextCandidate(const View<kReverse>& data, std::int64_t start, std::int64_t last, std::int64_t at,
                           unsigned char wanted) {
  if (start > last) return start;
  if constexpr (!kReverse) {
    const void* hit = std::memchr(data.bytes + start + at, wanted, static_cast<std::size_t>(last - start + 1));
    return hit == nullptr ? last + 1 : static_cast<const unsigned char*>(hit) - data.bytes - at;
  } else {
    while (start <= last && data[start + at] != wanted) ++start;
    return start;
  }
}

// The first start position of the pattern in the data, or -1.
template <bool kReverse>
std::int64_t TwoWaySearch(const View<kReverse>& data, const View<kReverse>& pattern) {
  const std::int64_t n = pattern.length;
  const std::int64_t last = data.length - n;  // the last possible start
  std::int64_t period = 0;
  const std::int64_t suffix = CriticalFactorization(pattern, &period);

  bool periodic = true;
  for (std::int64_t i = 0; i < suffix && periodic; ++i) periodic = pattern[i] == pattern[i + period];

  std::int64_t j = 0;
  if (periodic) {
    // After a shift by the period, the pattern's first n - period bytes are
    // known to match already; `memory` remembers that.
    std::int64_t memory = 0;
    while (j <= last) {
      if (memory == 0) {
        j = NextCandidate(data, j, last, suffix, pattern[suffix]);
        if (j > last) break;
      }
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
      j = NextCandidate(data, j, last, suffix, pattern[suffix]);
      if (j > last) break;
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

}  // namespace

Result StringService::FindBytes(const void* data, std::uint32_t dataLength, const void* pattern,
                                std::uint32_t patternLength, std::uint32_t* offset) {
  if (patternLength > dataLength) return kStringNotFound;
  std::int64_t at = 0;
  if (patternLength > 0) {
    at = TwoWaySearch(View<false>{static_cast<const unsigned char*>(data), dataLength},
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
    at = TwoWaySearch(View<true>{static_cast<const unsigned char*>(data), dataLength},
                      View<true>{static_cast<const unsigned char*>(pattern), patternLength});
    if (at < 0) return kStringNotFound;
  }
  // A start in the reversed data is where the occurrence ends in the original.
  if (offset != nullptr) *offset = static_cast<std::uint32_t>(dataLength - patternLength - at);
  return kStringFound;
}

}  // namespace sfx
