// Streams over one contiguous MemoryService block, and the service that makes them.
#pragma once

#include <cstdint>

#include "services/core/service.h"
#include "services/core/stream.h"

namespace sfx {

// The largest capacity a memory stream may reach.
inline constexpr std::uint32_t kMemoryStreamMaxCapacity = 2000000000u;

// CreateMemoryStream options.
inline constexpr std::uint32_t kMemoryStreamWritable = 1u << 0;    // writable and growable
inline constexpr std::uint32_t kMemoryStreamCallerOwns = 1u << 1;  // close does not free the data

class MemoryStream : public Stream {
 public:
  enum Flags : std::uint32_t { kWritable = 1u << 0, kGrowable = 1u << 1, kOwnsData = 1u << 2 };

  Result Close() override;
  Result Seek(std::int32_t offset, std::uint32_t origin, std::uint32_t* newPosition) override;
  // A short read is never a failure for a memory stream, even with done null.
  Result Read(void* buffer, std::uint32_t count, std::uint32_t* done) override;
  Result Write(const void* buffer, std::uint32_t count, std::uint32_t* done) override;
  Result GetSize(std::uint32_t* size) override;
  Result SetSize(std::uint32_t newSize) override;
  Result Reserve(std::uint32_t capacity) override;
  Result SetParameter(std::uint32_t value) override;

  MemoryStream() = default;
  ~MemoryStream() = default;

  unsigned char* data() const { return data_; }
  std::uint32_t size() const { return size_; }
  std::uint32_t capacity() const { return capacity_; }
  std::uint32_t flags() const { return flags_; }
  std::uint32_t position() const { return position_; }

 protected:
  friend class MemoryStreamService;

  unsigned char* data_ = nullptr;
  std::uint32_t size_ = 0;
  std::uint32_t capacity_ = 0;
  std::uint32_t flags_ = 0;
  std::uint32_t position_ = 0;
};

class MemoryStreamService : public ServiceObject {
 public:
  // 1. buffer non-null wraps it; otherwise a writable stream gets capacity
  //    zeroed bytes, and a read-only one reads as `length` zero bytes.
  virtual Result CreateMemoryStream(void* buffer, std::uint32_t length, std::uint32_t capacity, std::uint32_t options,
                                    Stream** stream);
  // 2. Each output optional.
  virtual Result GetMemoryBlock(Stream* stream, void** data, std::uint32_t* size, std::uint32_t* capacity);
  virtual Result ReservedLast() { return kFail; }

  MemoryStreamService() = default;
};

inline MemoryStreamService* MemoryStreams() { return Service<MemoryStreamService>(Slot::kMemoryStream); }

}  // namespace sfx
