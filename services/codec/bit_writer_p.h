// Packs a bit stream least significant bit first into a caller's memory block
// or onto a Stream. A byte leaves the writer as soon as its eighth bit is in:
// in memory mode it goes straight into the block (the first byte that does
// not fit fails with kDeflateOutputFull); in stream mode it is staged in a
// 512-byte buffer that is written with WriteAt at an explicit position each
// time it fills, so the output can be placed anywhere in a stream.
#pragma once

#include <cstdint>

#include "services/core/service.h"
#include "services/core/stream.h"

namespace sfx::deflate {

class BitWriter {
 public:
  static constexpr std::uint32_t kStagingBytes = 512;

  void InitMemory(void* buffer, std::uint32_t capacity);
  void InitStream(Stream* stream, std::uint32_t position);

  // Appends the low `count` bits of value (count at most 32).
  Result Write(std::uint32_t value, std::uint32_t count) {
    if (count == 0) return kOk;
    bits_ |= static_cast<std::uint64_t>(value & (0xFFFFFFFFu >> (32 - count))) << bitCount_;
    bitCount_ += count;
    return bitCount_ >= 8 ? Drain() : kOk;
  }

  // Appends without draining: after a Drain at most 7 bits are pending, so up
  // to 57 bits may be put before the next Drain. value holds no bits above count.
  void Put(std::uint64_t value, std::uint32_t count) {
    bits_ |= value << bitCount_;
    bitCount_ += count;
  }
  // Moves every complete byte out.
  Result Drain() {
    if (capacity_ - count_ > 7) {
      // Room for every complete byte, and (in stream mode) the staging buffer
      // cannot fill: no per-byte checks.
      while (bitCount_ >= 8) {
        output_[count_++] = static_cast<std::uint8_t>(bits_);
        bits_ >>= 8;
        bitCount_ -= 8;
        ++total_;
      }
      return kOk;
    }
    return DrainChecked();
  }

  // Pads the last byte with zero bits, writes what is staged and reports the
  // output size (total optional).
  Result Finish(std::uint32_t* total);

 private:
  Result DrainChecked();

  std::uint8_t buffer_[kStagingBytes];
  std::uint8_t* output_ = nullptr;  // the caller's block, or buffer_
  std::uint32_t capacity_ = 0;
  std::uint32_t count_ = 0;  // bytes in output_ (in stream mode: not yet written)
  std::uint64_t bits_ = 0;   // pending bits, the oldest in bit 0
  std::uint32_t bitCount_ = 0;
  Stream* stream_ = nullptr;
  std::uint32_t position_ = 0;  // where the next staged bytes go
  std::uint32_t total_ = 0;     // bytes completed since Init
};

}  // namespace sfx::deflate
