// Byte-sequence search of the string service.
//
// Both directions use the two-way string matching of Crochemore and Perrin:
// linear time whatever the pattern, and constant space (at most a 1 KiB table
// on the stack), so no pattern length needs an allocation and no input
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

// Patterns from this length on skip windows by a bad-character table; shorter
// ones jump between candidates with the C library's byte scan.
constexpr std::int64_t kShiftTableFrom = 16;

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
//
// Skipping happens only where the plain two-way search holds nothing in
// memory (no known-matching prefix): there it could as well start afresh at
// any later position that might match, so its linear bound is kept. The
// window's last byte picks the jump.
template <bool kReverse>
std::int64_t TwoWaySearch(const View<kReverse>& data, const View<kReverse>& pattern) {
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

  std::int64_t j = 0;
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

// One byte: the C library's scan forwards, a plain loop backwards.
template <bool kReverse>
std::int64_t FindByte(const View<kReverse>& data, unsigned char byte) {
  if constexpr (!kReverse) {
    const void* hit = std::memchr(data.bytes, byte, static_cast<std::size_t>(data.length));
    return hit == nullptr ? -1 : static_cast<const unsigned char*>(hit) - data.bytes;
  } else {
    for (std::int64_t i = 0; i < data.length; ++i)
      if (data[i] == byte) return i;
    return -1;
  }
}

template <bool kReverse>
std::int64_t Search(const View<kReverse>& data, const View<kReverse>& pattern) {
  return pattern.length == 1 ? FindByte(data, pattern[0]) : TwoWaySearch(data, pattern);
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
