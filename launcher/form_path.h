// Joining path parts.
#pragma once

#include <cstdint>

namespace sfx::launcher {

// Writes `base`, then for each non-null part a separator and the part, with a
// terminating zero. The needed size (with the zero) goes to `needed` when it
// is given, also on failure. Returns 1, or 0 with the destination untouched
// when the result needs more than `capacity` bytes. Nothing is normalised: an
// empty part still adds its separator, separators already in the parts stay.
int FormPath(char* destination, std::uint32_t capacity, const char* base, const char* part1, const char* part2,
             const char* part3, const char* part4, std::uint32_t* needed);

// The launcher's usual form: one part, a 260-byte destination.
inline int FormPath(char* destination, std::uint32_t capacity, const char* base, const char* part) {
  return FormPath(destination, capacity, base, part, nullptr, nullptr, nullptr, nullptr);
}

}  // namespace sfx::launcher
