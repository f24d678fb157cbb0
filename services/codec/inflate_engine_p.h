// The DEFLATE decoding engine behind an Inflater: input, codes, blocks and the
// output window. Private to the codec.
#pragma once

#include <cstdint>

#include "services/codec/inflater.h"
#include "services/core/stream.h"

namespace sfx::detail {

class InflateEngine {
 public:
  Result AllocateWindow(std::uint32_t windowSize);
  Result ReleaseWindow();

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

  std::uint32_t windowSize_ = 0;
  std::uint8_t* window_ = nullptr;

  Tree literal_{};
  Tree distance_{};
  std::uint32_t literalBase_ = 286;
  std::uint32_t distanceBase_ = 30;

  std::uint8_t buffer_[512] = {};
  const std::uint8_t* next_ = nullptr;
  std::uint32_t available_ = 0;
  std::uint8_t bitMask_ = 0;
  std::uint8_t currentByte_ = 0;
  Stream* source_ = nullptr;
  std::uint32_t sourcePosition_ = 0;
  std::uint32_t sourceRemaining_ = 0;

  std::uint8_t* out_ = nullptr;
  std::uint32_t capacity_ = 0;
  std::uint32_t pos_ = 0;
  std::uint32_t total_ = 0;
  Stream* output_ = nullptr;
  std::uint32_t* crc_ = nullptr;
  std::uint32_t* adler_ = nullptr;
};

}  // namespace sfx::detail
