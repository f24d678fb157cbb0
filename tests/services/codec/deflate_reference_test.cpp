// The compressor against the literal reference: the parse symbol by symbol,
// the Huffman construction length by length, and whole streams byte by byte.
#include <gtest/gtest.h>

#include <algorithm>

#include "services/codec/deflater.h"
#include "services/codec/huffman_build_p.h"
#include "tests/reference/deflate_ref.h"
#include "tests/services/codec/deflate_test_support.h"

namespace sfx {
namespace {

using test::Bytes;

TEST(DeflateReferenceTest, StreamsAreIdenticalToTheReference) {
  for (const auto& input : test::VariedInputs()) {
    for (std::uint32_t blockSize : {7u, 4096u, 32768u}) {
      if (blockSize < 100 && input.bytes.size() > 3000) continue;
      SCOPED_TRACE(input.name + " / " + std::to_string(blockSize));
      Result r = kFail;
      const Bytes packed = test::CompressBytes(input.bytes, blockSize, &r);
      ASSERT_EQ(r, kOk);
      const Bytes expected = reference::ReferenceDeflate(input.bytes.data(), input.bytes.size(), blockSize);
      ASSERT_EQ(packed.size(), expected.size());
      EXPECT_TRUE(packed == expected);
    }
  }
}

TEST(DeflateReferenceTest, ParseSymbolsAndInvariants) {
  Deflater* d = nullptr;
  ASSERT_EQ(Deflaters()->CreateDeflater(32768, &d), kOk);
  for (const auto& input : test::VariedInputs()) {
    SCOPED_TRACE(input.name);
    const std::uint32_t n = static_cast<std::uint32_t>(std::min<std::size_t>(input.bytes.size(), 32768));
    std::uint32_t count = 0;
    const std::uint8_t* lits = nullptr;
    const std::uint16_t* dists = nullptr;
    ASSERT_EQ(d->ParseBlock(input.bytes.data(), n, &count, &lits, &dists), kOk);
    std::uint16_t litCounts[286] = {}, distCounts[30] = {};
    const auto ref = reference::ReferenceParse(input.bytes.data(), n, litCounts, distCounts);
    ASSERT_EQ(count, ref.literals.size());
    EXPECT_TRUE(std::equal(lits, lits + count, ref.literals.begin()));
    EXPECT_TRUE(std::equal(dists, dists + count, ref.distances.begin()));
    // Every match lies inside the piece and reproduces the bytes it covers.
    std::uint32_t pos = 0;
    for (std::uint32_t j = 0; j < count; ++j) {
      if (dists[j] == 0) {
        ASSERT_EQ(lits[j], input.bytes[pos]);
        ++pos;
        continue;
      }
      const std::uint32_t len = lits[j] + 3u;
      ASSERT_GE(dists[j], 1u);
      ASSERT_LE(dists[j], pos);
      ASSERT_LE(pos + len, n);
      for (std::uint32_t k = 0; k < len; ++k) ASSERT_EQ(input.bytes[pos + k], input.bytes[pos + k - dists[j]]);
      pos += len;
    }
    EXPECT_EQ(pos, n);
  }
  EXPECT_EQ(d->DestroyDeflater(), kOk);
}

// Counts with many symbols, few symbols and deep trees; every code is
// compared with the reference and must be complete.
TEST(DeflateReferenceTest, HuffmanConstructionMatchesTheReferenceAndIsComplete) {
  test::Lcg rng(99);
  deflate::HuffmanWork work{};
  for (int trial = 0; trial < 3000; ++trial) {
    const std::uint32_t n = trial % 3 == 0 ? 286 : trial % 3 == 1 ? 30 : 19;
    const std::uint32_t maxBits = n == 19 ? 7 : 15;
    std::uint16_t counts[286] = {};
    const std::uint32_t used = rng.Next() % (n + 1);
    const int shape = trial % 4;
    std::uint32_t fa = 1, fb = 1;
    for (std::uint32_t k = 0; k < used; ++k) {
      const std::uint32_t s = rng.Next() % n;
      std::uint32_t c;
      if (shape == 0) {
        c = 1 + rng.Next() % 5;  // many ties
      } else if (shape == 1) {
        c = fa;  // Fibonacci: as deep as a tree gets
        const std::uint32_t next = fa + fb;
        fa = fb;
        fb = next > 20000 ? 20000 : next;
      } else if (shape == 2) {
        c = 1u << (rng.Next() % 15);
      } else {
        c = 1 + rng.Next() % 60000;
      }
      counts[s] = static_cast<std::uint16_t>(std::min<std::uint32_t>(c, 65535));
    }
    std::uint8_t lengths[286];
    std::uint16_t codes[286];
    std::uint32_t maxCode = 0;
    deflate::BuildHuffmanCode(counts, n, maxBits, work, lengths, codes, &maxCode);
    const auto ref = reference::ReferenceHuffman(counts, n, maxBits);
    ASSERT_EQ(maxCode, ref.maxCode) << trial;
    ASSERT_TRUE(std::equal(lengths, lengths + n, ref.lengths.begin())) << trial;
    for (std::uint32_t s = 0; s < n; ++s) {
      if (lengths[s] != 0) {
        ASSERT_EQ(codes[s], ref.codes[s]) << trial;
      }
      ASSERT_LE(lengths[s], maxBits);
    }
    ASSERT_TRUE(reference::IsCompletePrefixCode(std::vector<std::uint8_t>(lengths, lengths + n))) << trial;
  }
}

}  // namespace
}  // namespace sfx
