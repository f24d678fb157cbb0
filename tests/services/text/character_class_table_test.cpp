#include <gtest/gtest.h>

#include <cstring>

#include "services/text/string_service.h"

namespace sfx {
namespace {

// Re-derives every entry from the class definitions, independently of the
// script that generated the table.
std::uint16_t Expected(int b) {
  if (b >= 0x80) return 0;
  std::uint16_t v = 0;
  const bool upper = b >= 'A' && b <= 'Z', lower = b >= 'a' && b <= 'z', digit = b >= '0' && b <= '9';
  if (upper) v |= kClassUpper;
  if (lower) v |= kClassLower;
  if (digit) v |= kClassDigit;
  if (digit || (b >= 'A' && b <= 'F') || (b >= 'a' && b <= 'f')) v |= kClassHexDigit;
  if ((b >= 0x09 && b <= 0x0D) || b == ' ') v |= kClassSpace;
  if (b < 0x20 || b == 0x7F) v |= kClassControl;
  if (b > 0x20 && b < 0x7F && !upper && !lower && !digit) v |= kClassPunctuation;
  if (b != 0 && std::strchr("()<>@,;:\\\"/[]?={} \t", b) != nullptr) v |= kClassSeparator;
  if (upper || lower || digit || (b != 0 && std::strchr("!#$%&'*+-.^_`|~", b) != nullptr)) v |= kClassTokenChar;
  return v;
}

TEST(CharacterClasses, EveryEntryMatchesItsDefinition) {
  for (int b = 0; b < 256; ++b) EXPECT_EQ(kCharacterClassTable[b], Expected(b)) << "byte " << b;
}

}  // namespace
}  // namespace sfx
