#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "services/text/string_service.h"

namespace sfx {
namespace {

// Returns the offset, or -1 when not found.
std::int64_t First(const std::string& data, const std::string& pattern) {
  std::uint32_t at = 0xDEADBEEF;
  const Result r = Strings()->FindBytes(data.data(), static_cast<std::uint32_t>(data.size()), pattern.data(),
                                        static_cast<std::uint32_t>(pattern.size()), &at);
  EXPECT_TRUE(r == kStringFound || r == kStringNotFound);
  return r == kStringFound ? std::int64_t{at} : -1;
}

std::int64_t Last(const std::string& data, const std::string& pattern) {
  std::uint32_t at = 0xDEADBEEF;
  const Result r = Strings()->FindBytesLast(data.data(), static_cast<std::uint32_t>(data.size()), pattern.data(),
                                            static_cast<std::uint32_t>(pattern.size()), &at);
  EXPECT_TRUE(r == kStringFound || r == kStringNotFound);
  return r == kStringFound ? std::int64_t{at} : -1;
}

std::int64_t Expected(const std::string& data, const std::string& pattern, bool last) {
  const std::size_t at = last ? data.rfind(pattern) : data.find(pattern);
  return at == std::string::npos ? -1 : static_cast<std::int64_t>(at);
}

TEST(FindBytes, EmptyPatternEmptyDataAndZeroBytes) {
  EXPECT_EQ(First("abc", ""), 0);
  EXPECT_EQ(Last("abc", ""), 3);
  EXPECT_EQ(First("", ""), 0);
  EXPECT_EQ(Last("", ""), 0);
  EXPECT_EQ(First("", "a"), -1);
  EXPECT_EQ(Strings()->FindBytes("abc", 3, "c", 1, nullptr), kStringFound);  // offset out is optional
  EXPECT_EQ(First(std::string("a\0b\0c", 5), std::string("\0c", 2)), 3);     // zero bytes are bytes
  EXPECT_EQ(Last("abc", "abcd"), -1);
}

// Periodic and non-periodic patterns over small alphabets, where the shifts
// and the remembered prefix matter most, against std::string.
TEST(FindBytes, AgreesWithStdStringOnRandomSmallAlphabets) {
  std::mt19937 random(12345);
  for (int round = 0; round < 20000; ++round) {
    const int alphabet = 1 + static_cast<int>(random() % 3);
    const bool longPattern = round % 2 == 0;  // long ones take the table-driven path
    std::string data(random() % (longPattern ? 200 : 64), 'a'), pattern(random() % (longPattern ? 40 : 9), 'a');
    for (auto& c : data) c = static_cast<char>('a' + random() % alphabet);
    for (auto& c : pattern) c = static_cast<char>('a' + random() % alphabet);
    if (round % 3 == 0 && data.size() > pattern.size())
      data.replace(random() % (data.size() - pattern.size() + 1), pattern.size(), pattern);
    ASSERT_EQ(First(data, pattern), Expected(data, pattern, false)) << data << " / " << pattern;
    ASSERT_EQ(Last(data, pattern), Expected(data, pattern, true)) << data << " / " << pattern;
  }
}

// Inputs that make a direct search quadratic finish at once.
TEST(FindBytes, AdversarialInputStaysLinear) {
  const std::string data(4 << 20, 'a');
  const std::string pattern = std::string(1 << 20, 'a') + "b";
  EXPECT_EQ(First(data, pattern), -1);
  EXPECT_EQ(Last(data, "b" + std::string(1 << 20, 'a')), -1);
  const std::string tail = data + pattern;
  EXPECT_EQ(First(tail, pattern), static_cast<std::int64_t>(data.size()));
  EXPECT_EQ(Last(tail, std::string(300, 'a')), static_cast<std::int64_t>(tail.size() - 301));
}

// Every one-byte pattern and short patterns at the very start and end, over
// lengths that cross the word boundaries of the backward scan, with filler
// made of the pattern's own bytes so candidates abound.
TEST(FindBytes, MatchesAtTheEdgesOfTheData) {
  const std::string bytes("\x00\x80\xFFQx", 5);
  for (std::size_t size = 1; size <= 40; ++size) {
    for (std::size_t at = 0; at < size; ++at) {
      for (char b : bytes) {
        std::string data(size, 'e');
        data[at] = b;
        ASSERT_EQ(First(data, std::string(1, b)), static_cast<std::int64_t>(at)) << size << " " << at;
        ASSERT_EQ(Last(data, std::string(1, b)), static_cast<std::int64_t>(at)) << size << " " << at;
      }
    }
    for (std::size_t n = 2; n <= size && n <= 12; ++n) {
      std::string pattern(n, 'x');
      pattern.front() = 'Q';
      pattern.back() = 'z';
      const std::string filler(size - n, 'Q');
      for (const std::string& data : {pattern + filler, filler + pattern}) {
        ASSERT_EQ(First(data, pattern), Expected(data, pattern, false)) << data << " / " << pattern;
        ASSERT_EQ(Last(data, pattern), Expected(data, pattern, true)) << data << " / " << pattern;
      }
    }
  }
  EXPECT_EQ(First("aaaaaaa", "aaaa"), 0);
  EXPECT_EQ(Last("aaaaaaa", "aaaa"), 3);
  EXPECT_EQ(First("xxxxxxxxxxxxxxxxxxxxQ", "xQ"), 19);
  EXPECT_EQ(Last("Qxxxxxxxxxxxxxxxxxxxx", "Qx"), 0);
}

// Data dense with the pattern's bytes, long enough that the candidate scan
// gives up and the two-way search carries on from where it stopped: nothing
// before that point may be found twice or missed.
TEST(FindBytes, AgreesWithStdStringAcrossTheHandOver) {
  std::mt19937 random(777);
  const std::string alphabet = "QxZ";
  for (int round = 0; round < 400; ++round) {
    std::string data(3000 + random() % 3000, 'Q'), pattern(2 + random() % 70, 'Q');
    const std::size_t letters = 1 + random() % 3;
    for (auto& c : data) c = alphabet[random() % letters];
    for (auto& c : pattern) c = alphabet[random() % letters];
    if (round % 2 == 0) data.replace(data.size() - pattern.size() - random() % 2000, pattern.size(), pattern);
    ASSERT_EQ(First(data, pattern), Expected(data, pattern, false)) << pattern;
    ASSERT_EQ(Last(data, pattern), Expected(data, pattern, true)) << pattern;
  }
}

// The candidate scan gives up a few hundred positions into data dense with
// candidates; an occurrence planted at every position, so also right where
// the two-way search takes over, is found exactly once.
TEST(FindBytes, FindsEveryPlantedOccurrenceAroundTheHandOver) {
  for (std::size_t n : {2, 7, 63, 300}) {
    std::string pattern;
    while (pattern.size() < n - 1) pattern += pattern.size() % 2 == 0 ? 'Q' : 'x';
    pattern += 'z';
    std::string filler;
    while (filler.size() < 1200 + n) filler += filler.size() % 2 == 0 ? "Qx" : "xQ";
    for (std::size_t at = 0; at + n <= filler.size(); ++at) {
      std::string data = filler;
      data.replace(at, n, pattern);
      ASSERT_EQ(First(data, pattern), Expected(data, pattern, false)) << n << " at " << at;
      ASSERT_EQ(Last(data, pattern), Expected(data, pattern, true)) << n << " at " << at;
    }
  }
}

}  // namespace
}  // namespace sfx
