// Private to the string service's source files: the byte-level helpers every
// part of the service shares.
#pragma once

#include <cstdint>

#include "services/text/string_service.h"

namespace sfx::text {

// Only 'A'..'Z' fold; every other byte, 0x80 and up included, stays.
inline unsigned char Fold(unsigned char byte) {
  return HasClass(byte, kClassUpper) ? static_cast<unsigned char>(byte + 0x20) : byte;
}

// The value of a byte with kClassHexDigit: digits by their offset from '0',
// letters by their low four bits plus 9, so 'A' and 'a' are both 10.
inline std::uint32_t HexDigitValue(unsigned char byte) {
  return HasClass(byte, kClassDigit) ? static_cast<std::uint32_t>(byte - '0') : (byte & 0x0Fu) + 9u;
}

}  // namespace sfx::text
