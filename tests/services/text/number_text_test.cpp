#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "services/text/string_service.h"

namespace sfx {
namespace {

using Formatter = Result (StringService::*)(std::uint32_t, std::uint32_t, char*, std::uint32_t*);

std::string Format(Formatter f, std::uint32_t value, std::uint32_t argument) {
  char out[32];
  std::uint32_t length = 0;
  EXPECT_EQ((Strings()->*f)(value, argument, out, &length), kOk);
  return std::string(out, length);
}

// Digit counts come from comparisons with powers of ten: test each boundary.
TEST(NumberFormatting, DecimalAtEveryPowerOfTen) {
  char out[16];
  std::uint32_t length = 0;
  for (std::uint64_t p = 1; p <= 10000000000ull; p *= 10) {
    for (const std::uint64_t v : {p - 1, p}) {
      if (v > 0xFFFFFFFFu) continue;
      ASSERT_EQ(Strings()->FormatUnsigned(static_cast<std::uint32_t>(v), out, &length), kOk);
      EXPECT_EQ(std::string(out, length), std::to_string(v));
    }
  }
  ASSERT_EQ(Strings()->FormatUnsigned(4294967295u, out, &length), kOk);
  EXPECT_EQ(std::string(out, length), "4294967295");
}

TEST(NumberFormatting, PaddedDecimal) {
  const auto f = &StringService::FormatUnsignedPadded;
  EXPECT_EQ(Format(f, 0, 0), "0");
  EXPECT_EQ(Format(f, 0, 2), "00");
  EXPECT_EQ(Format(f, 5, 2), "05");
  EXPECT_EQ(Format(f, 123, 2), "123");
  EXPECT_EQ(Format(f, 4294967295u, 12), "004294967295");
  char out[4] = {'x', 'x', 'x', 'x'};
  ASSERT_EQ(Strings()->FormatUnsignedPadded(7, 3, out, nullptr), kOk);  // length out is optional
  EXPECT_EQ(std::string(out, 4), "007x");
}

TEST(NumberFormatting, Hexadecimal) {
  const auto f = &StringService::FormatHex;
  EXPECT_EQ(Format(f, 0, 0), "0");
  EXPECT_EQ(Format(f, 0, 4), "0000");
  EXPECT_EQ(Format(f, 0xABC, 0), "ABC");
  EXPECT_EQ(Format(f, 0xABC, 6), "000ABC");
  EXPECT_EQ(Format(f, 0xFFFFFFFFu, 2), "FFFFFFFF");
  EXPECT_EQ(Format(f, 0x10000000u, 0), "10000000");
}

TEST(NumberFormatting, LettersAreBijectiveBase26) {
  const auto f = &StringService::FormatLetters;
  EXPECT_EQ(Format(f, 0, 0), "a");
  EXPECT_EQ(Format(f, 1, 0), "a");
  EXPECT_EQ(Format(f, 26, 0), "z");
  EXPECT_EQ(Format(f, 27, 0), "aa");
  EXPECT_EQ(Format(f, 52, 1), "AZ");
  EXPECT_EQ(Format(f, 702, 0), "zz");
  EXPECT_EQ(Format(f, 703, 0), "aaa");
  EXPECT_EQ(Format(f, 4294967295u, 1), "MWLQKWU");
}

TEST(NumberFormatting, RomanOutsideTheReferencesRange) {
  const auto f = &StringService::FormatRoman;
  EXPECT_EQ(Format(f, 0, 1), "0");
  EXPECT_EQ(Format(f, 3999, 0), "mmmcmxcix");
  EXPECT_EQ(Format(f, 4000, 1), "MMMM");
  EXPECT_EQ(Format(f, 5000, 0), "mmmm");
}

// Every value below 4000 against a table-free reference of the same numerals.
TEST(NumberFormatting, RomanAgreesWithSubtractiveReference) {
  static const std::pair<int, const char*> kValues[] = {{1000, "M"}, {900, "CM"}, {500, "D"}, {400, "CD"}, {100, "C"},
                                                        {90, "XC"},  {50, "L"},   {40, "XL"}, {10, "X"},   {9, "IX"},
                                                        {5, "V"},    {4, "IV"},   {1, "I"}};
  for (std::uint32_t v = 1; v < 4000; ++v) {
    std::string expected;
    int rest = static_cast<int>(v);
    for (const auto& [amount, letters] : kValues)
      while (rest >= amount) {
        expected += letters;
        rest -= amount;
      }
    ASSERT_EQ(Format(&StringService::FormatRoman, v, 1), expected) << v;
  }
}

}  // namespace
}  // namespace sfx
