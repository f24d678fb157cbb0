// Hand-built DEFLATE streams for tests: fields are written LSB first as the
// format packs them, Huffman codes most significant bit first.
#pragma once

#include <cstdint>
#include <vector>

namespace sfx::test {

class DeflateBuilder {
 public:
  DeflateBuilder& Bits(std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i) Bit((value >> i) & 1);
    return *this;
  }
  // A Huffman code of `length` bits, sent from its most significant bit.
  DeflateBuilder& Code(std::uint32_t code, int length) {
    for (int i = length - 1; i >= 0; --i) Bit((code >> i) & 1);
    return *this;
  }
  DeflateBuilder& Header(bool final, int type) {
    return Bits(final ? 1 : 0, 1).Bits(static_cast<std::uint32_t>(type), 2);
  }
  DeflateBuilder& Align() {
    while (bits_ != 0) Bit(0);
    return *this;
  }
  DeflateBuilder& Byte(std::uint8_t b) { return Bits(b, 8); }
  // A stored block: header, alignment, LEN, NLEN (complemented unless given), data.
  DeflateBuilder& Stored(bool final, const std::vector<std::uint8_t>& data, int nlen = -1) {
    Header(final, 0).Align();
    const std::uint32_t len = static_cast<std::uint32_t>(data.size());
    Bits(len, 16).Bits(nlen < 0 ? (~len & 0xFFFF) : static_cast<std::uint32_t>(nlen), 16);
    for (std::uint8_t b : data) Byte(b);
    return *this;
  }
  // Fixed-code literal/length symbol and distance symbol.
  DeflateBuilder& FixedSymbol(int s) {
    if (s < 144) return Code(0x30 + s, 8);
    if (s < 256) return Code(0x190 + (s - 144), 9);
    if (s < 280) return Code(s - 256, 7);
    return Code(0xC0 + (s - 280), 8);
  }
  DeflateBuilder& FixedDistance(int d) { return Code(static_cast<std::uint32_t>(d), 5); }

  std::vector<std::uint8_t> Take() {
    std::vector<std::uint8_t> out = bytes_;
    if (bits_ != 0) out.push_back(current_);
    return out;
  }

 private:
  void Bit(std::uint32_t b) {
    current_ = static_cast<std::uint8_t>(current_ | (b << bits_));
    if (++bits_ == 8) {
      bytes_.push_back(current_);
      current_ = 0;
      bits_ = 0;
    }
  }

  std::vector<std::uint8_t> bytes_;
  std::uint8_t current_ = 0;
  int bits_ = 0;
};

}  // namespace sfx::test
