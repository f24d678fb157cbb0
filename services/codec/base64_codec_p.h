// The Base64 conversion loops, shared by the memory and stream operations.
#pragma once

#include <cstdint>

namespace sfx::detail {

// Writes ((length + 2) / 3) * 4 characters.
void Base64Encode(const std::uint8_t* data, std::uint32_t length, char* text);

// Decodes up to the first character outside the alphabet (consumed); returns
// the number of bytes written to out, at most ((length + 3) / 4) * 3.
std::uint32_t Base64Decode(const char* text, std::uint32_t length, std::uint8_t* out);

}  // namespace sfx::detail
