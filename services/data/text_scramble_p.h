// Private to the text scrambler: the digit chain, with its start value as a
// parameter so that tests can check the round trip under every start.
#pragma once

#include <cstdint>

namespace sfx::detail {

// Writes 2n digits ("0"-"9", "A"-"F") for n bytes.
void ScrambleDigits(const unsigned char* bytes, std::uint32_t n, std::uint32_t start, char* digits);
// Reads `count` (even) digits, already checked to be upper-case hexadecimal,
// into count / 2 bytes.
void UnscrambleDigits(const char* digits, std::uint32_t count, std::uint32_t start, unsigned char* bytes);

}  // namespace sfx::detail
