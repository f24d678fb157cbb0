// The general Huffman decoder on hand-built inputs: raw and compressed code
// lengths (well-formed, corrupt and cut short), symbol output widths, extra
// bits and input that ends anywhere.
#include "services/codec/huffman_decoder.h"

#include <gtest/gtest.h>

#include "services/core/memory_service.h"
#include "tests/services/codec/huffman_test_support.h"
#include "tests/support/fault_memory.h"

namespace sfx {
namespace {

using test::BitString;
using test::Bytes;
using test::DecoderHolder;
using test::OwnedStream;

Result LoadRaw(HuffmanDecoder* d, const Bytes& lengths, std::uint32_t size = kHuffmanToEndOfStream) {
  OwnedStream s(lengths);
  return d->LoadCodeLengths(kHuffmanRawLengths, s.get(), 0, size);
}

// Decodes `input` whole; returns the output bytes, the result in *r.
Bytes Decode(HuffmanDecoder* d, const Bytes& input, std::uint32_t width, ExtraBitsFunction extra, Result* r) {
  OwnedStream in(input), out;
  std::uint32_t written = 0xDEAD;
  *r = d->DecodeSymbols(0, in.get(), 0, kHuffmanToEndOfStream, width, extra, out.get(), 0, &written);
  const Bytes result = out.Contents();
  if (Succeeded(*r)) {
    EXPECT_EQ(written, result.size());
  }
  return result;
}

std::uint32_t NineExtraBits(std::uint32_t) { return 9; }
std::uint32_t TooManyExtraBits(std::uint32_t) { return 33; }
std::uint32_t ExtraForSymbolOne(std::uint32_t s) { return s == 1 ? 12 : 0; }

TEST(HuffmanDecoderTest, RawLengthsNeedTheWholeAlphabetAndFormATree) {
  Bytes deepest(33, 0);  // 1, 2, ..., 31, 32, 32: 32 inner nodes
  for (std::uint8_t s = 0; s < 32; ++s) deepest[s] = static_cast<std::uint8_t>(s + 1);
  deepest[32] = 32;
  struct Case {
    const char* name;
    std::uint32_t n;
    Bytes lengths;
    std::uint32_t size;
    Result expected;
  } cases[] = {
      {"exactly n bytes", 3, {1, 2, 2}, 3, kOk},
      {"n - 1 bytes", 3, {1, 2, 2}, 2, kHuffmanInputExhausted},
      {"over-subscribed", 3, {1, 1, 2}, 3, kHuffmanBadLengths},
      {"lengths up to 32", 33, deepest, 33, kOk},
      {"deeper than n nodes allow", 3, {1, 32, 32}, 3, kHuffmanBadLengths},
      {"a length above 32", 3, {1, 33, 2}, 3, kHuffmanBadLengths},
      // The range promises n bytes the stream does not have.
      {"short stream", 3, {1, 2}, 3, kStreamShortRead},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DecoderHolder d(c.n);
    EXPECT_EQ(LoadRaw(d.d, c.lengths, c.size), c.expected);
  }
}

TEST(HuffmanDecoderTest, UnknownFormatsAndAPositionPastTheEnd) {
  DecoderHolder d(2);
  OwnedStream s(Bytes{1, 1});
  EXPECT_EQ(d->LoadCodeLengths(2, s.get(), 0, 2), kFail);
  // Past the end, "the rest of the stream" is empty rather than a wrapped size.
  EXPECT_EQ(d->LoadCodeLengths(kHuffmanRawLengths, s.get(), 5, kHuffmanToEndOfStream), kHuffmanInputExhausted);
  ASSERT_EQ(LoadRaw(d.d, {1, 1}), kOk);
  OwnedStream out;
  std::uint32_t written = 99;
  EXPECT_EQ(d->DecodeSymbols(0, s.get(), 7, kHuffmanToEndOfStream, 1, nullptr, out.get(), 0, &written), kOk);
  EXPECT_EQ(written, 0u);
}

TEST(HuffmanDecoderTest, SymbolsComeOutAtEachWidth) {
  // Lengths 1 and 1: one symbol per bit, eight per byte.
  DecoderHolder d(301);
  Bytes lengths(301, 0);
  lengths[0] = lengths[300] = 1;
  ASSERT_EQ(LoadRaw(d.d, lengths), kOk);
  Result r = kFail;
  EXPECT_EQ(Decode(d.d, {0xA5, 0xFF}, 2, nullptr, &r),
            (Bytes{0x2C, 1, 0,    0, 0x2C, 1, 0,    0, 0,    0, 0x2C, 1, 0,    0, 0x2C, 1,
                   0x2C, 1, 0x2C, 1, 0x2C, 1, 0x2C, 1, 0x2C, 1, 0x2C, 1, 0x2C, 1, 0x2C, 1}));
  EXPECT_EQ(r, kOk);
  EXPECT_EQ(Decode(d.d, {0x01}, 4, nullptr, &r),
            (Bytes{0x2C, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Decode(d.d, {0x01}, 3, nullptr, &r), Bytes{});
  EXPECT_EQ(r, kFail);
}

TEST(HuffmanDecoderTest, ExtraBitsFollowTheirSymbol) {
  DecoderHolder d(2);
  ASSERT_EQ(LoadRaw(d.d, {1, 1}), kOk);
  Result r = kFail;
  // Symbol 1, extra 0x1A5 in nine bits; symbol 0, extra 0; then fill bits.
  const Bytes input = BitString().Put(1, 1).Put(0x1A5, 9).Put(0, 1).Put(0, 9).bytes();
  const Bytes out = Decode(d.d, input, 1, NineExtraBits, &r);
  EXPECT_EQ(r, kOk);
  EXPECT_EQ(out, (Bytes{1, 0xA5, 0x01, 0, 0, 0}));
  Decode(d.d, input, 1, TooManyExtraBits, &r);
  EXPECT_EQ(r, kHuffmanBadExtraBits);
}

TEST(HuffmanDecoderTest, InputMayEndInsideACodeOrInsideExtraBits) {
  // Code: symbol 0 "0", symbol 1 "10" (12 extra bits), symbol 2 "11" padded to nine bits.
  DecoderHolder d(10);
  ASSERT_EQ(LoadRaw(d.d, {1, 2, 9, 0, 0, 0, 0, 0, 0, 0}), kOk);
  Result r = kFail;
  struct Case {
    const char* name;
    Bytes input;
    Bytes expected;
  } cases[] = {
      // Three 0s, then symbol 1 whose 12 extra bits run past the input.
      {"inside extra bits",
       BitString().PutCode(0, 1).PutCode(0, 1).PutCode(0, 1).PutCode(2, 2).Put(0xFFF, 3).bytes(),
       {0, 0, 0}},
      // Six 0s, then the first two bits of a nine-bit code.
      {"inside a code", BitString().Put(0, 6).PutCode(3, 2).bytes(), {0, 0, 0, 0, 0, 0}},
      {"no input", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Decode(d.d, c.input, 1, ExtraForSymbolOne, &r), c.expected);
    EXPECT_EQ(r, kOk);
  }
  // More than 512 output bytes buffered when the input ends inside extra bits: all kept.
  BitString many;
  for (int i = 0; i < 300; ++i) many.PutCode(2, 2).Put(static_cast<std::uint32_t>(i), 12);
  many.PutCode(2, 2).Put(1, 1);
  const Bytes out = Decode(d.d, many.bytes(), 1, ExtraForSymbolOne, &r);
  EXPECT_EQ(r, kOk);
  ASSERT_EQ(out.size(), 900u);
  EXPECT_EQ(out[897], 1);
  EXPECT_EQ(out[898] | (out[899] << 8), 299);
}

TEST(HuffmanDecoderTest, A32BitWalkWithoutALeafFails) {
  DecoderHolder d(3);
  // Only the code "0": a run of 1 bits never reaches a leaf.
  ASSERT_EQ(LoadRaw(d.d, {1, 0, 0}), kOk);
  Result r = kOk;
  EXPECT_EQ(Decode(d.d, {0x00}, 1, nullptr, &r), Bytes(8, 0));
  Decode(d.d, {0xFF, 0xFF, 0xFF, 0xFF}, 1, nullptr, &r);
  EXPECT_EQ(r, kHuffmanNoLeaf);
  // A leaf on the 32nd bit still counts; input that ends mid-walk just ends.
  EXPECT_EQ(Decode(d.d, {0xFF, 0xFF, 0xFF, 0x7F}, 1, nullptr, &r), Bytes{0});
  EXPECT_EQ(r, kOk);
  EXPECT_EQ(Decode(d.d, {0xFF, 0xFF, 0xFF}, 1, nullptr, &r), Bytes{});
  EXPECT_EQ(r, kOk);
}

TEST(HuffmanDecoderTest, ANewDecoderAndEachRebuildStartFromAnEmptyTree) {
  // Leave a dirty block of the decoder's size behind for the allocator to reuse.
  constexpr std::uint32_t n = 20;
  void* dirty = nullptr;
  ASSERT_EQ(Memory()->Allocate(9 * n + 16, &dirty), kOk);
  ASSERT_EQ(Memory()->Fill(dirty, 0x07, 9 * n + 16), kOk);
  ASSERT_EQ(Memory()->Free(dirty), kOk);
  DecoderHolder d(n);
  std::uint8_t* lengths = nullptr;
  ASSERT_EQ(d->GetCodeLengths(&lengths), kOk);
  for (std::uint32_t s = 0; s < n; ++s) ASSERT_EQ(lengths[s], 0) << s;
  Result r = kOk;
  Decode(d.d, {0, 0, 0, 0}, 1, nullptr, &r);
  EXPECT_EQ(r, kHuffmanNoLeaf);
  // A deep code whose inner nodes reach node n, then a small one: the second
  // must decode exactly as it does on a fresh decoder.
  Bytes deep(n, 0);
  deep[0] = deep[1] = n + 1;
  ASSERT_EQ(LoadRaw(d.d, deep), kOk);
  Bytes small(n, 0);
  small[5] = 1;
  ASSERT_EQ(LoadRaw(d.d, small), kOk);
  EXPECT_EQ(Decode(d.d, {0x00}, 1, nullptr, &r), Bytes(8, 5));
  Decode(d.d, {0xFF, 0xFF, 0xFF, 0xFF}, 1, nullptr, &r);
  EXPECT_EQ(r, kHuffmanNoLeaf);
  // A failed load leaves a tree that decodes nothing.
  deep[2] = 1;
  deep[3] = 1;
  EXPECT_EQ(LoadRaw(d.d, deep), kHuffmanBadLengths);
  Decode(d.d, {0x00, 0, 0, 0, 0}, 1, nullptr, &r);
  EXPECT_EQ(r, kHuffmanNoLeaf);
}

// A compressed header whose code-length code gives symbols 0..3 and 32..34
// three bits each (the code-length code need not be complete).
BitString CompressedHeader() {
  BitString b;
  b.Put(7 - 4, 5);  // HCLEN: seven lengths: 32, 33, 34, 0, 8, 7, 9
  for (std::uint32_t length : {3, 3, 3, 3, 0, 0, 0}) b.Put(length, 3);
  return b;
}
// Canonical three-bit codes of that header: 0 -> 000, 32 -> 001, 33 -> 010, 34 -> 011.
constexpr std::uint32_t kZero = 0, kRepeat = 1, kZeros = 2, kLongZeros = 3;

TEST(HuffmanDecoderTest, CompressedLengthsAreCheckedAsCorruptData) {
  struct Case {
    const char* name;
    BitString bits;
    std::uint32_t n;
    Result expected;
  } cases[] = {
      {"a repeat first", CompressedHeader().PutCode(kRepeat, 3).Put(0, 2), 4, kHuffmanBadLengths},
      {"zeros past n", CompressedHeader().PutCode(kZeros, 3).Put(2, 3), 4, kHuffmanBadLengths},
      {"zeros up to n", CompressedHeader().PutCode(kZeros, 3).Put(1, 3), 4, kOk},
      {"long zeros past n", CompressedHeader().PutCode(kLongZeros, 3).Put(0, 7), 10, kHuffmanBadLengths},
      {"cut inside the header", BitString().Put(31, 5).Put(0, 3), 4, kHuffmanInputExhausted},
      {"cut inside the lengths", CompressedHeader().PutCode(kZero, 3), 4000, kHuffmanInputExhausted},
      {"a repeat of a zero", CompressedHeader().PutCode(kZero, 3).PutCode(kRepeat, 3).Put(0, 2), 4, kOk},
      {"an over-subscribed code-length code", BitString().Put(0, 5).Put(1, 3).Put(1, 3).Put(2, 3).Put(0, 3), 4,
       kHuffmanBadLengths},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DecoderHolder d(c.n);
    OwnedStream s(c.bits.bytes());
    EXPECT_EQ(d->LoadCodeLengths(kHuffmanCompressedLengths, s.get(), 0, kHuffmanToEndOfStream), c.expected);
    // Any format with bit 0 set reads the same header.
    EXPECT_EQ(d->LoadCodeLengths(3, s.get(), 0, kHuffmanToEndOfStream), c.expected);
  }
}

TEST(HuffmanDecoderTest, CreationChecksItsSizesAndCleansUp) {
  HuffmanDecoder* d = nullptr;
  // 9n + 16 past 32 bits.
  EXPECT_EQ(HuffmanDecoders()->CreateHuffmanDecoder(0x1C71C71Du, &d), kOutOfMemory);
  EXPECT_EQ(HuffmanDecoders()->CreateHuffmanDecoder(5, nullptr), kNullOutput);
  test::ScopedFaultMemory memory;
  std::uint32_t before = 0, after = 0;
  ASSERT_EQ(Memory()->GetStatistics(nullptr, &before, nullptr, nullptr), kOk);
  memory->FailNth(2);
  EXPECT_EQ(HuffmanDecoders()->CreateHuffmanDecoder(5, &d), kOutOfMemory);
  memory->FailNth(1);
  EXPECT_EQ(HuffmanDecoders()->CreateHuffmanDecoder(5, &d), kOutOfMemory);
  ASSERT_EQ(Memory()->GetStatistics(nullptr, &after, nullptr, nullptr), kOk);
  EXPECT_EQ(after, before);
}

}  // namespace
}  // namespace sfx
