#include "services/codec/crc.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "services/codec/crc_dispatch_p.h"
#include "tests/reference/inflate_ref.h"

namespace sfx {
namespace {

std::uint32_t Crc32Of(const void* data, std::uint32_t length, std::uint32_t start = 0xFFFFFFFFu) {
  std::uint32_t crc = start;
  EXPECT_EQ(Crc()->UpdateCrc32(data, length, &crc), kOk);
  return crc;
}

std::vector<unsigned char> RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<unsigned char> v(n);
  for (auto& b : v) b = static_cast<unsigned char>(rng());
  return v;
}

// Every CPU variant the machine offers is run through the same checks by
// turning features off one at a time (and all together).
class CrcVariants : public ::testing::TestWithParam<std::uint32_t> {
 protected:
  void SetUp() override { detail::SetDisabledCpuFeatures(GetParam()); }
  void TearDown() override { detail::SetDisabledCpuFeatures(0); }
};

TEST_P(CrcVariants, KnownAnswers) {
  EXPECT_EQ(~Crc32Of("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(Crc32Of("abc", 3), 0xCADBBE3Du);
  EXPECT_EQ(Crc32Of("", 0, 0x12345678u), 0x12345678u);  // length 0 leaves the register alone
  std::uint32_t adler = 1;
  EXPECT_EQ(Crc()->UpdateAdler32("abc", 3, &adler), kOk);
  EXPECT_EQ(adler, 0x024D0127u);
}

TEST_P(CrcVariants, MatchesPeersAtEveryLengthAndAlignment) {
  const std::vector<unsigned char> data = RandomBytes(70000, 5);
  // Short lengths at every alignment, where the wide paths hand over to the tails.
  for (std::uint32_t offset = 0; offset < 16; ++offset) {
    for (std::uint32_t length = 0; length < 300; ++length) {
      const unsigned char* p = data.data() + offset;
      ASSERT_EQ(~Crc32Of(p, length), static_cast<std::uint32_t>(crc32(0, p, length))) << offset << "+" << length;
      std::uint32_t adler = 1;
      (void)Crc()->UpdateAdler32(p, length, &adler);
      ASSERT_EQ(adler, static_cast<std::uint32_t>(adler32(1, p, length))) << offset << "+" << length;
    }
  }
  // Long blocks, with registers that do not start at the standard values.
  for (std::uint32_t length : {5551u, 5552u, 5553u, 11104u, 65536u, 69999u}) {
    EXPECT_EQ(Crc32Of(data.data() + 1, length, 0x0BADF00Du), ref::ReferenceCrc32(0x0BADF00Du, data.data() + 1, length));
    std::uint32_t adler = 0xFFF0FFF0u;  // both sums near the modulus
    (void)Crc()->UpdateAdler32(data.data() + 1, length, &adler);
    EXPECT_EQ(adler, ref::ReferenceAdler32(0xFFF0FFF0u, data.data() + 1, length));
  }
}

TEST_P(CrcVariants, AdlerTakesUnreducedRegistersAsThePortableUpdateDoes) {
  // Registers a caller may hold whose sums are at or above the modulus.
  const std::vector<unsigned char> data = RandomBytes(12000, 11);
  for (const std::uint32_t start : {0xFFFFFFFFu, 0xFFF1FFF1u, 0x0000FFFFu, 0xFFFF0000u, 0xFFF10000u}) {
    for (const std::uint32_t length : {0u, 1u, 15u, 16u, 31u, 32u, 33u, 64u, 5552u, 11111u}) {
      std::uint32_t adler = start;
      ASSERT_EQ(Crc()->UpdateAdler32(data.data(), length, &adler), kOk);
      std::uint32_t expected = start;  // length 0 leaves the register as it is
      if (length > 0) expected = ref::ReferenceAdler32(start, data.data(), length);
      EXPECT_EQ(adler, expected) << std::hex << start << std::dec << "+" << length;
    }
  }
  // 0xFF bytes make the sums grow fastest: the deferred reduction must not overflow.
  const std::vector<unsigned char> ones(200000, 0xFF);
  std::uint32_t adler = 0xFFF0FFF0u;
  (void)Crc()->UpdateAdler32(ones.data(), static_cast<std::uint32_t>(ones.size()), &adler);
  EXPECT_EQ(adler, ref::ReferenceAdler32(0xFFF0FFF0u, ones.data(), ones.size()));
}

TEST_P(CrcVariants, SplitsGiveTheSameRegister) {
  const std::vector<unsigned char> data = RandomBytes(20000, 9);
  const std::uint32_t whole = Crc32Of(data.data(), 20000);
  std::uint32_t adlerWhole = 1;
  (void)Crc()->UpdateAdler32(data.data(), 20000, &adlerWhole);
  std::mt19937 rng(3);
  for (int trial = 0; trial < 20; ++trial) {
    std::uint32_t crc = 0xFFFFFFFFu, adler = 1, at = 0;
    while (at < 20000) {
      const std::uint32_t n = std::min<std::uint32_t>(20000 - at, rng() % 7000);
      (void)Crc()->UpdateCrc32(data.data() + at, n, &crc);
      (void)Crc()->UpdateAdler32(data.data() + at, n, &adler);
      at += n;
    }
    EXPECT_EQ(crc, whole);
    EXPECT_EQ(adler, adlerWhole);
  }
}

TEST_P(CrcVariants, NoCaseFoldsOnlyAsciiCapitals) {
  std::string all;
  for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
  std::string folded = all;
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c | 0x20);
  std::uint32_t a = 0xFFFFFFFFu;
  (void)Crc()->UpdateCrc32NoCase(all.data(), 256, &a);
  EXPECT_EQ(a, Crc32Of(folded.data(), 256));
  std::uint32_t upper = 0xFFFFFFFFu;
  (void)Crc()->UpdateCrc32NoCase("ABC\xC4", 4, &upper);
  EXPECT_EQ(upper, Crc32Of("abc\xC4", 4));
}

INSTANTIATE_TEST_SUITE_P(Features, CrcVariants, ::testing::ValuesIn(detail::CpuFeatureSwitches()));

// The variants above run once per switch: each feature the machine has must
// have a switch of its own, or the variant that needs it turned off is never run.
TEST(CrcFeatureSwitches, OnePerDetectedFeature) {
  detail::SetDisabledCpuFeatures(0);
  std::uint32_t covered = 0;
  for (const std::uint32_t mask : detail::CpuFeatureSwitches()) {
    if (mask == 0 || mask == ~0u) continue;
    EXPECT_EQ(mask & (mask - 1), 0u) << "one feature per switch: " << mask;
    covered |= mask;
  }
  EXPECT_EQ(covered, detail::CpuFeatures());
}

TEST(CrcTable, IsTheStandardTable) {
  EXPECT_EQ(kCrc32Table[1], 0x77073096u);
  EXPECT_EQ(kCrc32Table[255], 0x2D02EF8Du);
  for (std::uint32_t i = 0; i < 256; ++i) {
    const unsigned char b = static_cast<unsigned char>(i);
    EXPECT_EQ(kCrc32Table[i], ref::ReferenceCrc32(0, &b, 1)) << i;
  }
}

}  // namespace
}  // namespace sfx
