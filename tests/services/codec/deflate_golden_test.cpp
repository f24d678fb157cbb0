// Known-answer streams worked out by hand from the compressor's rules: the
// parse decisions, the heap order of the Huffman construction with its
// tie-breaks, the canonical codes and the run-length form of the code
// lengths. Each expected stream is written field by field: numbers least
// significant bit first, Huffman codes as strings in the order they are sent.
#include <gtest/gtest.h>

#include <string>

#include "services/codec/deflater.h"
#include "services/codec/huffman_build_p.h"
#include "tests/services/codec/deflate_test_support.h"

namespace sfx {
namespace {

using test::Bytes;

class BitString {
 public:
  BitString& Num(std::uint32_t value, std::uint32_t bits) {
    for (std::uint32_t i = 0; i < bits; ++i) Push((value >> i) & 1u);
    return *this;
  }
  BitString& Code(const char* sent) {
    for (const char* c = sent; *c; ++c) Push(*c == '1');
    return *this;
  }
  // The dynamic block header: BFINAL 1, BTYPE 2, HLIT, HDIST, HCLEN, then the
  // code-length code's lengths in the sending order.
  BitString& DynamicHeader(std::uint32_t hlit, std::uint32_t hdist, std::initializer_list<std::uint32_t> ordered) {
    Num(1, 1).Num(2, 2).Num(hlit, 5).Num(hdist, 5).Num(static_cast<std::uint32_t>(ordered.size()) - 4, 4);
    for (std::uint32_t len : ordered) Num(len, 3);
    return *this;
  }
  Bytes bytes() const { return bytes_; }

 private:
  void Push(bool bit) {
    if (used_ == 0) bytes_.push_back(0);
    if (bit) bytes_.back() = static_cast<std::uint8_t>(bytes_.back() | (1u << used_));
    used_ = (used_ + 1) & 7;
  }
  Bytes bytes_;
  std::uint32_t used_ = 0;
};

Bytes Compressed(const std::string& text) {
  Result r = kFail;
  Bytes out = test::CompressBytes(Bytes(text.begin(), text.end()), 32768, &r);
  EXPECT_EQ(r, kOk);
  return out;
}

// "a": literal 97 and end-of-block, one bit each (97 -> 0, 256 -> 1). No
// distances: symbols 0 and 1 get one bit each. The lengths 0..256 are sent as
// 18 (97 zeros), 1, 18 (138 zeros), 18 (20 zeros), 1, and the distance
// lengths as 1, 1: code-length symbols 1 (4 times) and 18 (3 times), one bit
// each, 1 -> 0 and 18 -> 1; 1 sits last but one in the sending order.
TEST(DeflateGoldenTest, OneByte) {
  BitString s;
  s.DynamicHeader(0, 1, {0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1});
  s.Code("1").Num(86, 7).Code("0").Code("1").Num(127, 7).Code("1").Num(9, 7).Code("0");
  s.Code("0").Code("0");
  s.Code("0").Code("1");
  EXPECT_EQ(Compressed("a"), s.bytes());
}

// Literals 0x10 and 0x9D with 140 unused symbols between them. Heap order
// gives 0x9D one bit and 0x10 and end-of-block two (0x10 -> 10, 0x9D -> 0,
// 256 -> 11). Lengths: 18 (16 zeros), 2, 18 (138 zeros), 0, 0, 1, 18 (98
// zeros), 2; distances 1, 1. The code-length code gives 0, 1, 2 and 18 two
// bits each: 00, 01, 10, 11.
TEST(DeflateGoldenTest, ARunOf140ZerosIsOneLongRepeatAndTwoPlainZeros) {
  BitString s;
  s.DynamicHeader(0, 1, {0, 0, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2});
  s.Code("11").Num(5, 7).Code("10").Code("11").Num(127, 7).Code("00").Code("00").Code("01");
  s.Code("11").Num(87, 7).Code("10");
  s.Code("01").Code("01");
  s.Code("10").Code("0").Code("11");
  EXPECT_EQ(Compressed(std::string("\x10\x9D", 2)), s.bytes());
}

// Seven literals and end-of-block, all three bits long: the seven equal
// lengths go as 3 and one 16 repeating six. Code-length symbols 1, 3, 16, 18
// get two bits each: 00, 01, 10, 11.
TEST(DeflateGoldenTest, ARunOfSevenEqualLengthsIsOneLengthAndOneRepeat) {
  BitString s;
  s.DynamicHeader(0, 1, {2, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 2});
  s.Code("11").Num(86, 7).Code("01").Code("10").Num(3, 2).Code("11").Num(127, 7).Code("11").Num(3, 7).Code("01");
  s.Code("00").Code("00");
  for (const char* c : {"000", "001", "010", "011", "100", "101", "110", "111"}) s.Code(c);
  EXPECT_EQ(Compressed("abcdefg"), s.bytes());
}

// Fifteen literals and end-of-block, all four bits long; a..i are nine in a
// row: 4, 16 (six), 4, 4. Code-length code: 4 -> 0, 0 -> 10, 18 -> 110,
// 1 -> 1110, 16 -> 1111.
TEST(DeflateGoldenTest, ARunOfNineEqualLengthsLeavesTwoPlainLengths) {
  BitString s;
  s.DynamicHeader(0, 1, {4, 0, 3, 2, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 4});
  s.Code("110").Num(54, 7);
  for (int k = 0; k < 5; ++k) s.Code("0").Code("10");  // A, C, E, G, I with a zero after each
  s.Code("0");                                         // K
  s.Code("110").Num(10, 7);
  s.Code("0").Code("1111").Num(3, 2).Code("0").Code("0");  // a..i
  s.Code("110").Num(127, 7).Code("110").Num(1, 7).Code("0");
  s.Code("1110").Code("1110");
  for (std::uint32_t c = 0; c < 16; ++c) s.Num((c >> 3 & 1) | (c >> 1 & 2) | (c << 1 & 4) | (c << 3 & 8), 4);
  EXPECT_EQ(Compressed("ACEGIKabcdefghi"), s.bytes());
}

// "abcQbcdeRabcde": at 9 "abc" matches 3 bytes back at 0, but at 10 "bcde"
// matches 4 at 4, so 'a' goes out as a literal and the match (4, 6) follows;
// at 11 "cde" gives only 3, so the match is kept. The one distance code (4,
// distances 5..6) is paired with code 0, one bit each. The construction's
// tie-breaks (a right child only when strictly shallower, a node stopping
// above an equal child unless deeper) give a 2 bits, b c d e 3, Q R 256 258 4.
TEST(DeflateGoldenTest, LazyMatchAndASingleDistanceCode) {
  Deflater* d = nullptr;
  ASSERT_EQ(Deflaters()->CreateDeflater(32768, &d), kOk);
  std::uint32_t count = 0;
  const std::uint8_t* lits = nullptr;
  const std::uint16_t* dists = nullptr;
  ASSERT_EQ(d->ParseBlock("abcQbcdeRabcde", 14, &count, &lits, &dists), kOk);
  ASSERT_EQ(count, 11u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(lits), 10), "abcQbcdeRa");
  EXPECT_EQ(lits[10], 1);
  EXPECT_EQ(dists[9], 0);
  EXPECT_EQ(dists[10], 6);
  EXPECT_EQ(d->DestroyDeflater(), kOk);

  // Code-length code: 4, 18 -> 00, 01; 1, 16 -> 100, 101; 0, 2, 3, 17 -> 1100..1111.
  BitString s;
  s.DynamicHeader(2, 4, {3, 4, 2, 4, 0, 0, 0, 0, 0, 0, 0, 2, 0, 4, 0, 4, 0, 3});
  s.Code("01").Num(70, 7).Code("00").Code("00").Code("01").Num(3, 7);  // zeros to Q, Q R, zeros to a
  s.Code("1101").Code("1110").Code("101").Num(0, 2);                   // a 2, b..e 3
  s.Code("01").Num(127, 7).Code("01").Num(5, 7).Code("00").Code("1100").Code("00");
  s.Code("100").Code("1111").Num(0, 3).Code("100");  // distances 1, 0, 0, 0, 1
  for (const char* c : {"00", "010", "011", "1100", "010", "011", "100", "101", "1101", "00"}) s.Code(c);
  s.Code("1111").Code("1").Num(1, 1);  // length 4, distance 6
  s.Code("1110");
  EXPECT_EQ(Compressed("abcQbcdeRabcde"), s.bytes());
}

TEST(DeflateGoldenTest, RunsOfEqualBytesGiveOneLiteralThenDistanceOneMatches) {
  Deflater* d = nullptr;
  ASSERT_EQ(Deflaters()->CreateDeflater(32768, &d), kOk);
  const Bytes zeros(1000, 0);
  std::uint32_t count = 0;
  const std::uint8_t* lits = nullptr;
  const std::uint16_t* dists = nullptr;
  ASSERT_EQ(d->ParseBlock(zeros.data(), 258, &count, &lits, &dists), kOk);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(dists[0], 0);
  EXPECT_EQ(lits[1] + 3, 257);
  EXPECT_EQ(dists[1], 1);
  ASSERT_EQ(d->ParseBlock(zeros.data(), 1000, &count, &lits, &dists), kOk);
  // 1 + 258 * 3 = 775, then 225 left: one match of 225.
  ASSERT_EQ(count, 5u);
  for (int j = 1; j <= 3; ++j) EXPECT_EQ(lits[j] + 3, 258);
  EXPECT_EQ(lits[4] + 3, 225);
  for (std::uint32_t len : {0u, 1u, 2u}) {
    ASSERT_EQ(d->ParseBlock(zeros.data(), len, &count, nullptr, nullptr), kOk);
    EXPECT_EQ(count, len);
  }
  EXPECT_EQ(d->DestroyDeflater(), kOk);
}

// Counts 1, 1, 2, 3, 5, 8, 13, 21 under a 3-bit limit: the tree is 7 deep and
// five symbols are cut to 3 bits. Three folding steps leave lengths
// 2, 3 x 7 (Kraft sum 9/8); a fourth makes all eight 3 bits long.
TEST(DeflateGoldenTest, AnOverflowingCodeIsFoldedUntilComplete) {
  deflate::HuffmanWork work{};
  const std::uint16_t counts[8] = {1, 1, 2, 3, 5, 8, 13, 21};
  std::uint8_t lengths[8];
  std::uint16_t codes[8];
  std::uint32_t maxCode = 0;
  deflate::BuildHuffmanCode(counts, 8, 3, work, lengths, codes, &maxCode);
  EXPECT_EQ(maxCode, 7u);
  for (std::uint32_t s = 0; s < 8; ++s) {
    EXPECT_EQ(lengths[s], 3) << s;
    EXPECT_EQ(codes[s], ((s & 1) << 2) | (s & 2) | (s >> 2)) << s;  // s, reversed over 3 bits
  }
  // Under the 15-bit limit the same counts keep their natural depths.
  deflate::BuildHuffmanCode(counts, 8, 15, work, lengths, codes, &maxCode);
  const std::uint8_t natural[8] = {7, 7, 6, 5, 4, 3, 2, 1};
  for (std::uint32_t s = 0; s < 8; ++s) EXPECT_EQ(lengths[s], natural[s]) << s;
}

}  // namespace
}  // namespace sfx
