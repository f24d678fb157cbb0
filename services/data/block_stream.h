// The third stream kind: an inner stream of a block store, a chain of blocks
// read and written through two block buffers.
#pragma once

#include <cstdint>

#include "services/core/stream.h"

namespace sfx {

class BlockStore;

class BlockStream : public Stream {
 public:
  enum Flags : std::uint32_t { kModified = 1u << 0, kTemporary = 1u << 1 };

  // Writes the chain's end marker and returns unused blocks (or, for a
  // temporary stream, all of them) to the free list; the instance is freed
  // even when a transfer fails (kFail).
  Result Close() override;
  // The position is clamped to 0 .. length: a stream never has a position
  // beyond its end. An origin-0 offset is taken as an unsigned position.
  Result Seek(std::int32_t offset, std::uint32_t origin, std::uint32_t* newPosition) override;
  // Short reads without done are kStreamShortRead.
  Result Read(void* buffer, std::uint32_t count, std::uint32_t* done) override;
  Result Write(const void* buffer, std::uint32_t count, std::uint32_t* done) override;
  Result GetSize(std::uint32_t* size) override;
  // Growing exposes zero bytes; shrinking moves the position to 0.
  Result SetSize(std::uint32_t newSize) override;
  Result Reserve(std::uint32_t capacity) override;
  // A non-zero value is the growth unit writes round their reservations to.
  Result SetParameter(std::uint32_t value) override;

  std::uint32_t identifier() const { return first_; }
  std::uint32_t streamFlags() const { return flags_; }
  std::uint32_t capacity() const { return capacity_; }
  std::uint32_t blockCount() const { return count_; }

  // Made only by BlockStore.
  BlockStream() = default;
  ~BlockStream() = default;

 private:
  friend class BlockStore;

  struct Buffer {
    unsigned char* data = nullptr;
    std::uint32_t block = 0xFFFFFFFFu;
    bool recent = false;
    bool dirty = false;
  };

  Result AppendBlock(std::uint32_t block);
  Result AddBlocks(std::uint32_t capacity);  // table access: the caller holds the lock
  Result Access(std::uint32_t index, bool writing, unsigned char** data);
  Result Flush();
  Result Transfer(std::uint32_t position, unsigned char* read, const unsigned char* write, std::uint32_t count);
  void Release();

  BlockStore* store_ = nullptr;
  BlockStream* nextOpen_ = nullptr;  // the store's list of open streams
  std::uint32_t first_ = 0;
  std::uint32_t flags_ = 0;
  std::uint32_t length_ = 0;
  std::uint32_t capacity_ = 0;
  std::uint32_t growth_ = 0;
  std::uint32_t position_ = 0;
  std::uint32_t* blocks_ = nullptr;  // the chain in order
  std::uint32_t count_ = 0;
  std::uint32_t room_ = 0;
  Buffer buffers_[2];
};

}  // namespace sfx
