// Shared by the Huffman coder tests: owned memory streams, symbol streams and
// bit strings built by hand.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "services/codec/huffman_decoder.h"
#include "services/codec/huffman_encoder.h"
#include "services/core/memory_stream.h"

namespace sfx::test {

using Bytes = std::vector<std::uint8_t>;

// A writable memory stream holding a copy of `data`, closed at scope end.
class OwnedStream {
 public:
  explicit OwnedStream(const Bytes& data = {}) {
    EXPECT_EQ(MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, kMemoryStreamWritable, &stream_), kOk);
    if (!data.empty()) {
      EXPECT_EQ(stream_->WriteAt(0, data.data(), static_cast<std::uint32_t>(data.size()), nullptr), kOk);
    }
  }
  ~OwnedStream() { (void)stream_->Close(); }
  OwnedStream(const OwnedStream&) = delete;
  OwnedStream& operator=(const OwnedStream&) = delete;

  Stream* get() const { return stream_; }
  Bytes Contents() const {
    void* data = nullptr;
    std::uint32_t size = 0;
    EXPECT_EQ(MemoryStreams()->GetMemoryBlock(stream_, &data, &size, nullptr), kOk);
    const auto* p = static_cast<const std::uint8_t*>(data);
    return Bytes(p, p + size);
  }

 private:
  Stream* stream_ = nullptr;
};

// Symbols as a stream lays them out: width bytes each, little-endian, then
// the extra value in 1, 2 or 4 bytes when extraBits gives k > 0.
inline void AppendValue(Bytes& out, std::uint32_t value, std::uint32_t bytes) {
  for (std::uint32_t i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}
inline std::uint32_t ExtraBytes(std::uint32_t k) { return k == 0 ? 0 : k <= 8 ? 1 : k <= 16 ? 2 : 4; }

// Bits appended least significant first, as the coders pack them.
class BitString {
 public:
  BitString& Put(std::uint32_t value, std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; ++i) {
      if (bit_ % 8 == 0) bytes_.push_back(0);
      if ((value >> i) & 1) bytes_.back() = static_cast<std::uint8_t>(bytes_.back() | (1u << (bit_ % 8)));
      ++bit_;
    }
    return *this;
  }
  // A Huffman code as it travels: most significant bit first.
  BitString& PutCode(std::uint32_t code, std::uint32_t length) {
    for (std::uint32_t i = length; i-- > 0;) Put((code >> i) & 1, 1);
    return *this;
  }
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
  std::uint32_t bit_ = 0;
};

// A decoder or encoder destroyed at scope end.
struct DecoderHolder {
  HuffmanDecoder* d = nullptr;
  explicit DecoderHolder(std::uint32_t n) { EXPECT_EQ(HuffmanDecoders()->CreateHuffmanDecoder(n, &d), kOk); }
  ~DecoderHolder() {
    if (d != nullptr) {
      EXPECT_EQ(d->DestroyHuffmanDecoder(), kOk);
    }
  }
  HuffmanDecoder* operator->() const { return d; }
};
struct EncoderHolder {
  HuffmanEncoder* e = nullptr;
  explicit EncoderHolder(std::uint32_t n) { EXPECT_EQ(HuffmanEncoders()->CreateHuffmanEncoder(n, &e), kOk); }
  ~EncoderHolder() {
    if (e != nullptr) {
      EXPECT_EQ(e->DestroyHuffmanEncoder(), kOk);
    }
  }
  HuffmanEncoder* operator->() const { return e; }
};

}  // namespace sfx::test
