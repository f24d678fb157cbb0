// Ordering of 8-bit texts for people: case ignored, under the machine's own
// collation where the system offers one.
#pragma once

#include <cstdint>

namespace sfx::platform {

// Negative when a orders before b, 0 when they are equal with case ignored,
// positive when after; a proper prefix orders first. Windows uses the system
// default locale's comparison; elsewhere the order is fixed: ASCII letters
// fold to lower case and all other bytes compare by their unsigned value, so
// the result never depends on the environment.
int CompareTextIgnoringCase(const char* a, std::uint32_t aLength, const char* b, std::uint32_t bLength);

// The fixed order used where the system has no comparison (and as the
// fallback when the system's comparison refuses its input).
int CompareAsciiIgnoringCase(const char* a, std::uint32_t aLength, const char* b, std::uint32_t bLength);

}  // namespace sfx::platform
