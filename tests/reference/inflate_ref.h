// The literal reference decoder: one bit at a time, one tree walk per bit, a
// ring window flushed only when a byte must go into it while it is full. It
// is the oracle the production Inflater is compared with, so it is written
// for plainness, never for speed, and shares no code with it.
#pragma once

#include <cstdint>
#include <vector>

#include "services/codec/inflater.h"
#include "services/core/stream.h"

namespace sfx::ref {

class ReferenceInflater {
 public:
  explicit ReferenceInflater(std::uint32_t windowSize);

  void InitInput(const void* data, std::uint32_t length);
  void InitInputStream(Stream* stream, std::uint32_t position, std::uint32_t length);
  Result ReadBlockHeader(std::uint32_t* isFinal, std::uint32_t* isCompressed, std::uint32_t* isDynamic);
  Result ReadDynamicTables();
  Result InflateBlock(std::uint8_t** buffer, std::uint32_t* size);
  Result Extract(Stream* output, std::uint32_t* size, std::uint32_t* crc, std::uint32_t* adler, ProgressSink* progress);

 private:
  struct Tree {
    std::uint16_t zero[289];
    std::uint16_t one[289];
  };

  Result Refill();
  Result ReadBit(std::uint32_t* bit);
  Result ReadBits(int count, std::uint32_t* value);
  Result ReadRaw(std::uint8_t* destination, std::uint32_t count);
  static Result BuildTree(const std::uint8_t* lengths, std::uint32_t n, std::uint32_t leafBase, Tree* tree);
  Result DecodeSymbol(const Tree& tree, std::uint32_t leafBase, std::uint32_t* symbol);
  Result BuildFixedTrees();
  Result StoreByte(std::uint8_t byte);
  Result Flush();
  Result StoredBlock();
  Result CompressedBlock();

  std::uint32_t windowSize_;
  std::vector<std::uint8_t> window_;

  Tree literal_{};
  Tree distance_{};
  std::uint32_t literalBase_ = 286;
  std::uint32_t distanceBase_ = 30;

  // Bit reader.
  std::uint8_t buffer_[512] = {};
  const std::uint8_t* next_ = nullptr;
  std::uint32_t available_ = 0;
  std::uint8_t bitMask_ = 0;
  std::uint8_t currentByte_ = 0;
  Stream* source_ = nullptr;
  std::uint32_t sourcePosition_ = 0;
  std::uint32_t sourceRemaining_ = 0;

  // Output of the running decoding call.
  std::uint8_t* out_ = nullptr;  // the window, or InflateBlock's buffer
  std::uint32_t capacity_ = 0;
  std::uint32_t pos_ = 0;
  std::uint32_t total_ = 0;
  Stream* output_ = nullptr;
  std::uint32_t* crc_ = nullptr;
  std::uint32_t* adler_ = nullptr;
};

// Plain bitwise CRC-32 and Adler-32 register updates, for checking the fast ones.
std::uint32_t ReferenceCrc32(std::uint32_t crc, const void* data, std::size_t length);
std::uint32_t ReferenceAdler32(std::uint32_t adler, const void* data, std::size_t length);

}  // namespace sfx::ref
