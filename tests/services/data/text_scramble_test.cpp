#include "services/data/text_scramble.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "services/core/memory_service.h"
#include "services/data/text_scramble_p.h"
#include "tests/support/fault_memory.h"

namespace sfx {
namespace {

// Runs an operation and returns its output as a string, freeing the block.
Result RunOperation(Result (TextScrambleService::*operation)(const char*, char**), const std::string& in,
                    std::string* out) {
  char* block = nullptr;
  const Result r = (TextScrambler()->*operation)(in.c_str(), &block);
  if (r == kOk) {
    *out = block;
    EXPECT_EQ(Memory()->Free(block), kOk);
  } else {
    EXPECT_EQ(block, nullptr);
  }
  return r;
}

std::string Scramble(const std::string& text) {
  std::string out;
  EXPECT_EQ(RunOperation(&TextScrambleService::ScrambleText, text, &out), kOk);
  return out;
}

std::string Unscramble(const std::string& text) {
  std::string out;
  EXPECT_EQ(RunOperation(&TextScrambleService::UnscrambleText, text, &out), kOk);
  return out;
}

// Every one- and two-byte string, under every start value, and longer random
// strings: unscrambling gives the input back.
TEST(TextScrambleTest, RoundTripsUnderEveryStartValue) {
  char digits[4];
  unsigned char back[2];
  for (std::uint32_t start = 0; start < 16; ++start) {
    for (int a = 1; a < 256; ++a) {
      for (int b = 0; b < 256; ++b) {
        const unsigned char in[2] = {static_cast<unsigned char>(a), static_cast<unsigned char>(b)};
        const std::uint32_t n = b == 0 ? 1 : 2;
        detail::ScrambleDigits(in, n, start, digits);
        detail::UnscrambleDigits(digits, 2 * n, start, back);
        ASSERT_EQ(std::memcmp(in, back, n), 0) << "start " << start << " bytes " << a << "," << b;
      }
    }
  }
  std::mt19937 random(7);
  for (int trial = 0; trial < 200; ++trial) {
    std::string text(1 + random() % 300, '\0');
    for (char& c : text) c = static_cast<char>(1 + random() % 255);
    const std::string s = Scramble(text);
    ASSERT_EQ(s.size(), 2 * text.size() + 2);
    ASSERT_EQ(s.find_first_not_of("0123456789ABCDEF", 1), s.size() - 1) << s;  // bracketed upper-case hex
    ASSERT_EQ(s.front(), '[');
    ASSERT_EQ(Unscramble(s), text);
  }
}

TEST(TextScrambleTest, UnscrambleFramingRules) {
  const std::string repeated = Scramble("aaaaaaaa");
  EXPECT_NE(repeated.substr(1, 2), repeated.substr(3, 2)) << "the chaining value does not carry over";
  EXPECT_EQ(Unscramble("[]"), "");
  EXPECT_EQ(Unscramble("key=" + Scramble("secret") + " trailing"), "secret");
  EXPECT_EQ(Unscramble("AB]" + Scramble("q") + Scramble("z")), "q");  // only the first bracket counts
  const char* bad[] = {"", "no bracket", "[A]", "[ab]", "[0G]", "[00", "[000]", "[0 0]", "]00["};
  for (const char* text : bad) {
    std::string out;
    EXPECT_EQ(RunOperation(&TextScrambleService::UnscrambleText, text, &out), kFail) << text;
  }
}

TEST(TextScrambleTest, EmptyInputNullArgumentsAndMemoryFailures) {
  std::string out;
  EXPECT_EQ(RunOperation(&TextScrambleService::ScrambleText, "", &out), kFail);
  char* block = nullptr;
  EXPECT_EQ(TextScrambler()->ScrambleText(nullptr, &block), kFail);
  EXPECT_EQ(TextScrambler()->ScrambleText("a", nullptr), kNullOutput);
  EXPECT_EQ(TextScrambler()->UnscrambleText(nullptr, &block), kFail);
  EXPECT_EQ(TextScrambler()->UnscrambleText("[]", nullptr), kNullOutput);
  test::ScopedFaultMemory memory;
  memory->FailAll();
  EXPECT_EQ(TextScrambler()->ScrambleText("abc", &block), kOutOfMemory);
  EXPECT_EQ(TextScrambler()->UnscrambleText("[]", &block), kOutOfMemory);
  EXPECT_EQ(block, nullptr);
}

}  // namespace
}  // namespace sfx
