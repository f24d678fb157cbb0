// The general Huffman encoder: its code construction against the DEFLATE
// compressor's, length limits up to 32 bits, the compressed length header
// symbol by symbol, round trips through the decoder over many alphabets and
// limits, the three size figures, and every rejected input.
#include "services/codec/huffman_encoder.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "services/codec/huffman_build_p.h"
#include "services/core/memory_service.h"
#include "tests/services/codec/deflate_test_support.h"
#include "tests/services/codec/huffman_test_support.h"
#include "tests/support/fault_memory.h"

namespace sfx {
namespace {

using test::AppendValue;
using test::Bytes;
using test::DecoderHolder;
using test::EncoderHolder;
using test::ExtraBytes;
using test::OwnedStream;

// Extra bits for about one symbol in five, 1..32 of them.
std::uint32_t SomeExtraBits(std::uint32_t s) { return ((s * 2654435761u) >> 28) % 5 == 0 ? 1 + s % 32 : 0; }
std::uint32_t TwelveForSymbolOne(std::uint32_t s) { return s == 1 ? 12 : 0; }
std::uint32_t ThirtyThree(std::uint32_t) { return 33; }
std::uint32_t ThirtyTwo(std::uint32_t) { return 32; }

bool IsComplete(const std::uint8_t* lengths, std::uint32_t n) {
  std::uint64_t kraft = 0;
  for (std::uint32_t s = 0; s < n; ++s) {
    if (lengths[s] != 0) kraft += std::uint64_t{1} << (32 - lengths[s]);
  }
  return kraft == (std::uint64_t{1} << 32);
}

// A symbol stream over n symbols, skewed towards small values.
Bytes SymbolStream(test::Lcg& rng, std::uint32_t n, std::uint32_t count, std::uint32_t width, ExtraBitsFunction extra,
                   std::vector<std::uint32_t>* symbols) {
  Bytes out;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t s = rng.Next() % (1 + rng.Next() % n);
    symbols->push_back(s);
    AppendValue(out, s, width);
    const std::uint32_t k = extra != nullptr ? extra(s) : 0;
    if (k > 0) {
      const std::uint32_t value = rng.Next() ^ (rng.Next() << 16);
      AppendValue(out, k < 32 ? value & ((1u << k) - 1) : value, ExtraBytes(k));
    }
  }
  return out;
}

// Count, build, write the lengths, encode; read the lengths back, decode; the
// output must begin with the input and the rest come from the fill bits.
void RoundTrip(const Bytes& input, std::uint32_t n, std::uint32_t width, ExtraBitsFunction extra, std::uint32_t maxBits,
               std::uint32_t used) {
  EncoderHolder e(n);
  OwnedStream in(input);
  ASSERT_EQ(e->CountSymbols(kHuffmanResetCounts, in.get(), 0, kHuffmanToEndOfStream, width, extra), kOk);
  const Result built = e->BuildCode(maxBits);
  std::uint8_t* lengths = nullptr;
  ASSERT_EQ(e->GetCodeLengths(&lengths), kOk);
  if (maxBits < 32 && used > (1u << maxBits)) {
    // More symbols than codes of maxBits bits.
    ASSERT_EQ(built, kFail);
    for (std::uint32_t s = 0; s < n; ++s) ASSERT_EQ(lengths[s], 0);
    return;
  }
  ASSERT_EQ(built, kOk);
  bool has32 = false;
  for (std::uint32_t s = 0; s < n; ++s) {
    ASSERT_LE(lengths[s], maxBits);
    has32 = has32 || lengths[s] == 32;
  }
  ASSERT_TRUE(n < 2 || IsComplete(lengths, n));

  for (std::uint32_t format : {kHuffmanRawLengths, kHuffmanCompressedLengths}) {
    SCOPED_TRACE(format);
    OwnedStream header, body, out;
    std::uint32_t headerBytes = 0, written = 0, measured = 0, estimated = 0, decoded = 0;
    const Result wrote = e->WriteCodeLengths(format, header.get(), 0, &headerBytes);
    if (format == kHuffmanCompressedLengths && has32) {
      ASSERT_EQ(wrote, kFail);
      continue;
    }
    ASSERT_EQ(wrote, kOk);
    ASSERT_EQ(headerBytes, header.Contents().size());
    ASSERT_EQ(e->EncodeSymbols(0, in.get(), 0, kHuffmanToEndOfStream, width, extra, body.get(), 0, &written), kOk);
    ASSERT_EQ(written, body.Contents().size());
    ASSERT_EQ(e->MeasureSymbols(in.get(), 0, kHuffmanToEndOfStream, width, extra, &measured), kOk);
    ASSERT_EQ(e->EstimateEncodedSize(extra, &estimated), kOk);
    ASSERT_EQ(measured, written);
    ASSERT_EQ(estimated, written);

    DecoderHolder d(n);
    ASSERT_EQ(d->LoadCodeLengths(format, header.get(), 0, kHuffmanToEndOfStream), kOk);
    std::uint8_t* read = nullptr;
    ASSERT_EQ(d->GetCodeLengths(&read), kOk);
    ASSERT_TRUE(std::equal(lengths, lengths + n, read));
    ASSERT_EQ(d->DecodeSymbols(0, body.get(), 0, kHuffmanToEndOfStream, width, extra, out.get(), 0, &decoded), kOk);
    const Bytes result = out.Contents();
    ASSERT_EQ(decoded, result.size());
    ASSERT_GE(result.size(), input.size());
    ASSERT_TRUE(std::equal(input.begin(), input.end(), result.begin()));
    // Fewer than eight fill bits: at most seven further symbols.
    ASSERT_LE(result.size() - input.size(), 7u * (width + 4));
  }
}

TEST(HuffmanEncoderTest, EveryAlphabetAndLimitRoundTrips) {
  test::Lcg rng(2024);
  for (std::uint32_t n : {2u, 3u, 19u, 256u, 1000u, 100000u}) {
    const std::uint32_t width = n <= 256 ? 1 : n <= 65536 ? 2 : 4;
    const std::uint32_t count = n >= 100000 ? 5000 : 2000;
    for (ExtraBitsFunction extra : {static_cast<ExtraBitsFunction>(nullptr), &SomeExtraBits}) {
      std::vector<std::uint32_t> symbols;
      const Bytes input = SymbolStream(rng, n, count, width, extra, &symbols);
      std::map<std::uint32_t, int> distinct;
      for (std::uint32_t s : symbols) distinct[s] = 1;
      const auto used = static_cast<std::uint32_t>(std::max<std::size_t>(distinct.size(), 2));
      for (std::uint32_t maxBits = 1; maxBits <= 32; ++maxBits) {
        SCOPED_TRACE("n " + std::to_string(n) + " limit " + std::to_string(maxBits) +
                     (extra != nullptr ? " with extra bits" : ""));
        RoundTrip(input, n, width, extra, maxBits, used);
        if (HasFatalFailure()) return;
      }
    }
  }
}

// Fibonacci counts make the deepest trees counts allow; every limit folds them.
TEST(HuffmanEncoderTest, DeepTreesAreFoldedToEachLimitUpTo32Bits) {
  constexpr std::uint32_t n = 45;  // the counts sum to just under 2^32
  EncoderHolder e(n);
  std::uint32_t* counts = nullptr;
  ASSERT_EQ(e->GetSymbolCounts(&counts), kOk);
  Bytes input;
  for (std::uint32_t s = 0, a = 1, b = 1; s < n; ++s) {
    counts[s] = a;
    const std::uint32_t next = a + b;
    a = b;
    b = next;
    AppendValue(input, s, 1);
  }
  std::uint8_t* lengths = nullptr;
  ASSERT_EQ(e->GetCodeLengths(&lengths), kOk);
  for (std::uint32_t maxBits = 6; maxBits <= 32; ++maxBits) {
    SCOPED_TRACE(maxBits);
    ASSERT_EQ(e->BuildCode(maxBits), kOk);
    EXPECT_EQ(*std::max_element(lengths, lengths + n), maxBits);
    EXPECT_TRUE(IsComplete(lengths, n));
  }
  // Codes of 32 bits travel raw; each symbol once, with 32 extra bits each.
  OwnedStream header, in(input), body, out;
  EXPECT_EQ(e->WriteCodeLengths(kHuffmanCompressedLengths, header.get(), 0, nullptr), kFail);
  ASSERT_EQ(e->WriteCodeLengths(kHuffmanRawLengths, header.get(), 0, nullptr), kOk);
  Bytes withExtra;
  for (std::uint32_t s = 0; s < n; ++s) {
    AppendValue(withExtra, s, 1);
    AppendValue(withExtra, 0x80000001u * s, 4);
  }
  OwnedStream in2(withExtra);
  std::uint32_t written = 0, decoded = 0;
  ASSERT_EQ(e->EncodeSymbols(0, in2.get(), 0, kHuffmanToEndOfStream, 1, ThirtyTwo, body.get(), 0, &written), kOk);
  DecoderHolder d(n);
  ASSERT_EQ(d->LoadCodeLengths(kHuffmanRawLengths, header.get(), 0, kHuffmanToEndOfStream), kOk);
  ASSERT_EQ(d->DecodeSymbols(0, body.get(), 0, kHuffmanToEndOfStream, 1, ThirtyTwo, out.get(), 0, &decoded), kOk);
  const Bytes result = out.Contents();
  ASSERT_GE(result.size(), withExtra.size());
  EXPECT_TRUE(std::equal(withExtra.begin(), withExtra.end(), result.begin()));
  // One more Fibonacci count and the root's count passes 32 bits.
  EncoderHolder big(n + 1);
  ASSERT_EQ(big->GetSymbolCounts(&counts), kOk);
  for (std::uint64_t s = 0, a = 1, b = 1; s <= n; ++s, b = a + b, a = b - a) counts[s] = static_cast<std::uint32_t>(a);
  EXPECT_EQ(big->BuildCode(32), kFail);
}

TEST(HuffmanEncoderTest, TheConstructionIsTheDeflateCompressors) {
  test::Lcg rng(7);
  deflate::HuffmanWork work{};
  std::vector<std::uint32_t> nodes(32 * 286 / 4 + 4), countWords(15 + 2 * 286 + 2);
  for (int trial = 0; trial < 2000; ++trial) {
    const std::uint32_t n = trial % 3 == 0 ? 286 : trial % 3 == 1 ? 30 : 19;
    // Limits that hold every symbol, as the Deflater's always do.
    const std::uint32_t maxBits = n == 19 ? 7 : n == 30 ? 5 + trial % 11 : 9 + trial % 7;
    std::uint16_t counts16[286] = {};
    std::uint32_t counts32[286] = {};
    const std::uint32_t used = rng.Next() % (n + 1);
    for (std::uint32_t k = 0; k < used; ++k) {
      const std::uint32_t s = rng.Next() % n;
      counts16[s] = static_cast<std::uint16_t>(trial % 2 ? 1 + rng.Next() % 4 : 1u << (rng.Next() % 7));
      counts32[s] = counts16[s];
    }
    std::uint8_t lengths16[286], lengths32[286];
    std::uint16_t codes16[286];
    std::uint32_t codes32[286], maxCode = 0;
    deflate::BuildHuffmanCode(counts16, n, maxBits, work, lengths16, codes16, &maxCode);
    ASSERT_EQ(deflate::BuildWideHuffmanCode(counts32, n, maxBits, nodes.data(), countWords.data(), lengths32, codes32),
              kOk);
    ASSERT_TRUE(std::equal(lengths16, lengths16 + n, lengths32)) << trial;
    for (std::uint32_t s = 0; s < n; ++s) {
      if (lengths32[s] != 0) {
        ASSERT_EQ(codes16[s], codes32[s]) << trial;
      }
    }
  }
}

TEST(HuffmanEncoderTest, FewSymbolsAndTooManySymbols) {
  struct Case {
    const char* name;
    std::vector<std::uint32_t> counts;
    std::uint32_t maxBits;
    Result expected;
    Bytes lengths;
  } cases[] = {
      {"nothing counted", {0, 0, 0}, 5, kOk, {1, 1, 0}},
      {"only symbol 0", {9, 0, 0}, 5, kOk, {1, 1, 0}},
      {"only symbol 2", {0, 0, 9}, 5, kOk, {1, 0, 1}},
      {"one-symbol alphabet", {4}, 5, kOk, {1}},
      {"four symbols, two bits", {1, 1, 1, 9}, 2, kOk, {2, 2, 2, 2}},
      {"five symbols, two bits", {1, 1, 1, 1, 1}, 2, kFail, {0, 0, 0, 0, 0}},
      {"limit 0", {1, 1}, 0, kFail, {0, 0}},
      {"limit 33", {1, 1}, 33, kFail, {0, 0}},
      {"counts past 32 bits", {0xFFFFFFFFu, 1}, 8, kFail, {0, 0}},
      {"counts just fitting", {0xFFFFFFFEu, 1}, 8, kOk, {1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto n = static_cast<std::uint32_t>(c.counts.size());
    EncoderHolder e(n);
    std::uint32_t* counts = nullptr;
    std::uint8_t* lengths = nullptr;
    ASSERT_EQ(e->GetSymbolCounts(&counts), kOk);
    ASSERT_EQ(e->GetCodeLengths(&lengths), kOk);
    std::copy(c.counts.begin(), c.counts.end(), counts);
    EXPECT_EQ(e->BuildCode(c.maxBits), c.expected);
    EXPECT_EQ(Bytes(lengths, lengths + n), c.lengths);
  }
}

// Reads a compressed length header symbol by symbol, independently of the decoder.
std::vector<std::pair<std::uint32_t, std::uint32_t>> HeaderSymbols(const Bytes& header, std::uint32_t n) {
  std::uint32_t bit = 0;
  auto take = [&](std::uint32_t count) {
    std::uint32_t v = 0;
    for (std::uint32_t i = 0; i < count; ++i, ++bit) v |= ((header.at(bit / 8) >> (bit % 8)) & 1u) << i;
    return v;
  };
  static const std::uint8_t order[35] = {32, 33, 34, 0,  8,  7,  9,  6,  10, 5,  11, 4,  12, 3,  13, 2,  14, 1,
                                         15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31};
  std::uint32_t lengths[35] = {};
  const std::uint32_t count = take(5) + 4;
  for (std::uint32_t i = 0; i < count; ++i) lengths[order[i]] = take(3);
  // Canonical codes by (length, symbol).
  std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t> codes;  // (length, code) -> symbol
  std::uint32_t code = 0;
  for (std::uint32_t len = 1; len <= 7; ++len, code <<= 1) {
    for (std::uint32_t s = 0; s < 35; ++s) {
      if (lengths[s] == len) codes[{len, code++}] = s;
    }
  }
  std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
  for (std::uint32_t filled = 0; filled < n;) {
    std::uint32_t c = 0, len = 0, symbol = 0;
    for (;;) {
      c = (c << 1) | take(1);
      ++len;
      auto it = codes.find({len, c});
      if (it != codes.end()) {
        symbol = it->second;
        break;
      }
      EXPECT_LT(len, 7u);
      if (len >= 7) return out;
    }
    std::uint32_t extra = 0;
    if (symbol == 32)
      extra = take(2), filled += 3 + extra;
    else if (symbol == 33)
      extra = take(3), filled += 3 + extra;
    else if (symbol == 34)
      extra = take(7), filled += 11 + extra;
    else
      ++filled;
    out.push_back({symbol, extra});
  }
  return out;
}

TEST(HuffmanEncoderTest, CompressedLengthsUseTheirRunRules) {
  using Symbols = std::vector<std::pair<std::uint32_t, std::uint32_t>>;
  auto lengthsOf = [](std::initializer_list<std::pair<std::uint8_t, std::uint32_t>> runs) {
    Bytes b;
    for (auto [value, count] : runs) b.insert(b.end(), count, value);
    return b;
  };
  struct Case {
    const char* name;
    Bytes lengths;
    Symbols expected;
  } cases[] = {
      {"seven equal after a different one", lengthsOf({{2, 1}, {3, 7}}), {{2, 0}, {3, 0}, {32, 3}}},
      {"140 zeros", lengthsOf({{0, 140}}), {{34, 127}, {0, 0}, {0, 0}}},
      {"a run of two repeats", lengthsOf({{5, 3}}), {{5, 0}, {5, 0}, {5, 0}}},
      {"nine equal", lengthsOf({{4, 9}}), {{4, 0}, {32, 3}, {4, 0}, {4, 0}}},
      {"zeros of 3, 10 and 11",
       lengthsOf({{1, 1}, {0, 3}, {1, 1}, {0, 10}, {1, 1}, {0, 11}}),
       {{1, 0}, {33, 0}, {1, 0}, {33, 7}, {1, 0}, {34, 0}}},
      {"a repeat never follows zeros", lengthsOf({{0, 4}, {6, 4}}), {{33, 1}, {6, 0}, {32, 0}}},
      {"31 is the longest plain length", lengthsOf({{31, 2}, {1, 2}}), {{31, 0}, {31, 0}, {1, 0}, {1, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto n = static_cast<std::uint32_t>(c.lengths.size());
    EncoderHolder e(n);
    std::uint8_t* lengths = nullptr;
    ASSERT_EQ(e->GetCodeLengths(&lengths), kOk);
    std::copy(c.lengths.begin(), c.lengths.end(), lengths);
    OwnedStream header;
    ASSERT_EQ(e->WriteCodeLengths(kHuffmanCompressedLengths, header.get(), 0, nullptr), kOk);
    EXPECT_EQ(HeaderSymbols(header.Contents(), n), c.expected);
    // The decoder reads them back exactly (it builds no tree from these).
    DecoderHolder d(n);
    const Result loaded = d->LoadCodeLengths(kHuffmanCompressedLengths, header.get(), 0, kHuffmanToEndOfStream);
    std::uint8_t* read = nullptr;
    ASSERT_EQ(d->GetCodeLengths(&read), kOk);
    EXPECT_EQ(Bytes(read, read + n), c.lengths);
    EXPECT_TRUE(loaded == kOk || loaded == kHuffmanBadLengths);
  }
}

TEST(HuffmanEncoderTest, SymbolRangesAreChecked) {
  // Three symbols of an alphabet of 4; symbol 1 carries 12 extra bits in two bytes.
  const Bytes good = {0, 1, 0xFF, 0x0F, 2, 3};
  struct Case {
    const char* name;
    Bytes input;
    std::uint32_t width;
    ExtraBitsFunction extra;
    Result expected;
  } cases[] = {
      {"well-formed", good, 1, TwelveForSymbolOne, kOk},
      {"width 3", good, 3, nullptr, kHuffmanBadWidth},
      {"width 0", good, 0, nullptr, kHuffmanBadWidth},
      {"symbol n", {0, 4}, 1, nullptr, kHuffmanSymbolOutOfRange},
      {"symbol n at width 2", {4, 0}, 2, nullptr, kHuffmanSymbolOutOfRange},
      {"extra value cut off", {0, 1, 0xFF}, 1, TwelveForSymbolOne, kHuffmanBadExtraValue},
      {"33 extra bits", {0}, 1, ThirtyThree, kHuffmanBadExtraValue},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EncoderHolder e(4);
    std::uint32_t* counts = nullptr;
    ASSERT_EQ(e->GetSymbolCounts(&counts), kOk);
    for (std::uint32_t s = 0; s < 4; ++s) counts[s] = 1;
    ASSERT_EQ(e->BuildCode(8), kOk);  // every symbol two bits long
    OwnedStream in(c.input), out;
    std::uint32_t bytes = 0;
    EXPECT_EQ(e->EncodeSymbols(0, in.get(), 0, kHuffmanToEndOfStream, c.width, c.extra, out.get(), 0, &bytes),
              c.expected);
    EXPECT_EQ(e->MeasureSymbols(in.get(), 0, kHuffmanToEndOfStream, c.width, c.extra, &bytes), c.expected);
    if (c.expected == kOk) {
      EXPECT_EQ(bytes, 3u);  // 4 codes of 2 bits and 12 extra bits
    }
    EXPECT_EQ(e->CountSymbols(kHuffmanResetCounts, in.get(), 0, kHuffmanToEndOfStream, c.width, c.extra), c.expected);
    // Nothing counted from a failing symbol on.
    if (c.expected == kHuffmanSymbolOutOfRange) {
      EXPECT_EQ(counts[0], c.width == 1 ? 1u : 0u);
    }
  }
}

TEST(HuffmanEncoderTest, CountingRangesAndTrailingBytes) {
  EncoderHolder e(301);
  std::uint32_t* counts = nullptr;
  ASSERT_EQ(e->GetSymbolCounts(&counts), kOk);
  // Five bytes at width 2: two symbols, the odd byte ignored.
  OwnedStream in(Bytes{0x2C, 0x01, 0x05, 0x00, 0x07});
  ASSERT_EQ(e->CountSymbols(0, in.get(), 0, kHuffmanToEndOfStream, 2, nullptr), kOk);
  EXPECT_EQ(counts[300], 1u);
  EXPECT_EQ(counts[5], 1u);
  // Counts add up until reset; a position past the end is an empty range.
  ASSERT_EQ(e->CountSymbols(0, in.get(), 2, 2, 2, nullptr), kOk);
  EXPECT_EQ(counts[5], 2u);
  ASSERT_EQ(e->CountSymbols(kHuffmanResetCounts, in.get(), 9, kHuffmanToEndOfStream, 2, nullptr), kOk);
  EXPECT_EQ(counts[5], 0u);
  // A count that would wrap.
  counts[5] = 0xFFFFFFFFu;
  EXPECT_EQ(e->CountSymbols(0, in.get(), 2, 2, 2, nullptr), kFail);
  // A range that claims more than the stream holds is a short read.
  EXPECT_EQ(e->CountSymbols(kHuffmanResetCounts, in.get(), 0, 10, 1, nullptr), kStreamShortRead);
}

TEST(HuffmanEncoderTest, SizesFailRatherThanWrap) {
  // A symbol with no code writes nothing: that is a failure, not a shorter stream.
  EncoderHolder e(3);
  std::uint32_t* counts = nullptr;
  ASSERT_EQ(e->GetSymbolCounts(&counts), kOk);
  counts[0] = counts[1] = 1;
  ASSERT_EQ(e->BuildCode(4), kOk);
  OwnedStream in(Bytes{0, 2}), out;
  std::uint32_t bytes = 0;
  EXPECT_EQ(e->EncodeSymbols(0, in.get(), 0, kHuffmanToEndOfStream, 1, nullptr, out.get(), 0, &bytes), kFail);
  EXPECT_EQ(e->MeasureSymbols(in.get(), 0, kHuffmanToEndOfStream, 1, nullptr, &bytes), kFail);
  counts[2] = 1;
  EXPECT_EQ(e->EstimateEncodedSize(nullptr, &bytes), kFail);
  // Counts near 2^32 with 32 extra bits each: more than 2^32 bytes.
  counts[0] = 0x80000000u;
  counts[1] = 0x7FFFFFFFu;
  counts[2] = 0;
  ASSERT_EQ(e->BuildCode(4), kOk);
  ASSERT_EQ(e->EstimateEncodedSize(nullptr, &bytes), kOk);
  EXPECT_EQ(bytes, 0x20000000u);
  EXPECT_EQ(e->EstimateEncodedSize(ThirtyTwo, &bytes), kFail);

  HuffmanEncoder* big = nullptr;
  EXPECT_EQ(HuffmanEncoders()->CreateHuffmanEncoder(0x1C71C71Du, &big), kOutOfMemory);  // 9n wraps
  std::uint32_t size = 0;
  EXPECT_TRUE(deflate::WideNodeBytes(0x07FFFFFEu, &size));
  EXPECT_EQ(size, 0xFFFFFFD0u);
  EXPECT_FALSE(deflate::WideNodeBytes(0x08000000u, &size));
  EXPECT_TRUE(deflate::WideCountBytes(0x1FFFFFE0u, 32, &size));
  EXPECT_FALSE(deflate::WideCountBytes(0x7FFFFFF0u, 32, &size));
}

TEST(HuffmanEncoderTest, ANewEncoderHasCountedNothing) {
  constexpr std::uint32_t n = 50;
  void* dirty = nullptr;
  ASSERT_EQ(Memory()->Allocate(9 * n, &dirty), kOk);
  ASSERT_EQ(Memory()->Fill(dirty, 0x5A, 9 * n), kOk);
  ASSERT_EQ(Memory()->Free(dirty), kOk);
  EncoderHolder e(n);
  std::uint32_t* counts = nullptr;
  std::uint8_t* lengths = nullptr;
  ASSERT_EQ(e->GetSymbolCounts(&counts), kOk);
  ASSERT_EQ(e->GetCodeLengths(&lengths), kOk);
  for (std::uint32_t s = 0; s < n; ++s) {
    ASSERT_EQ(counts[s], 0u);
    ASSERT_EQ(lengths[s], 0u);
  }
  // All lengths 0 still make a header the decoder reads back.
  OwnedStream header;
  ASSERT_EQ(e->WriteCodeLengths(kHuffmanCompressedLengths, header.get(), 0, nullptr), kOk);
  EXPECT_EQ(e->WriteCodeLengths(2, header.get(), 0, nullptr), kFail);
  DecoderHolder d(n);
  EXPECT_EQ(d->LoadCodeLengths(kHuffmanCompressedLengths, header.get(), 0, kHuffmanToEndOfStream), kOk);
}

TEST(HuffmanEncoderTest, FailedAllocationsAndWritesArePassedOn) {
  EncoderHolder e(64);
  std::uint32_t* counts = nullptr;
  ASSERT_EQ(e->GetSymbolCounts(&counts), kOk);
  for (std::uint32_t s = 0; s < 64; ++s) counts[s] = s + 1;
  {
    test::ScopedFaultMemory memory;
    for (std::uint32_t nth : {1u, 2u}) {
      memory->FailNth(nth);
      EXPECT_EQ(e->BuildCode(12), kOutOfMemory) << nth;
    }
    std::uint32_t current = 1;
    ASSERT_EQ(Memory()->GetStatistics(nullptr, &current, nullptr, nullptr), kOk);
    EXPECT_EQ(current, 0u);  // both scratch blocks freed
    memory->Heal();
    ASSERT_EQ(e->BuildCode(12), kOk);
  }
  // A stream that takes no bytes.
  std::uint8_t fixed[4] = {};
  Stream* readOnly = nullptr;
  ASSERT_EQ(MemoryStreams()->CreateMemoryStream(fixed, 4, 4, kMemoryStreamCallerOwns, &readOnly), kOk);
  OwnedStream in(Bytes(600, 7));
  EXPECT_EQ(e->WriteCodeLengths(kHuffmanRawLengths, readOnly, 0, nullptr), kStreamShortWrite);
  EXPECT_LT(e->WriteCodeLengths(kHuffmanCompressedLengths, readOnly, 0, nullptr), 0);
  EXPECT_LT(e->EncodeSymbols(0, in.get(), 0, kHuffmanToEndOfStream, 1, nullptr, readOnly, 0, nullptr), 0);
  DecoderHolder d(64);
  std::uint8_t* lengths = nullptr;
  ASSERT_EQ(d->GetCodeLengths(&lengths), kOk);
  lengths[0] = lengths[1] = 1;
  ASSERT_EQ(d->BuildDecodingTree(), kOk);
  EXPECT_EQ(d->DecodeSymbols(0, in.get(), 0, kHuffmanToEndOfStream, 1, nullptr, readOnly, 0, nullptr),
            kStreamShortWrite);
  (void)readOnly->Close();
}

}  // namespace
}  // namespace sfx
