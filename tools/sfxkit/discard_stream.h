// A stream that keeps nothing: writes are counted and dropped, reads find no
// bytes. Decoding into it checks a payload entry without storing it.
#pragma once

#include <cstdint>

#include "services/core/stream.h"

namespace sfx::cli {

class DiscardStream : public Stream {
 public:
  // Made in a MemoryService block like every instance; Close frees it.
  [[nodiscard]] static Result Create(DiscardStream** out);

  Result Close() override;
  Result Seek(std::int32_t offset, std::uint32_t origin, std::uint32_t* newPosition) override;
  Result Read(void* buffer, std::uint32_t count, std::uint32_t* done) override;
  Result Write(const void* buffer, std::uint32_t count, std::uint32_t* done) override;
  Result GetSize(std::uint32_t* size) override;
  Result SetSize(std::uint32_t newSize) override;
  Result Reserve(std::uint32_t capacity) override;
  Result SetParameter(std::uint32_t value) override;

  DiscardStream() = default;
  ~DiscardStream() = default;

 private:
  std::uint32_t position_ = 0;
  std::uint32_t size_ = 0;
};

}  // namespace sfx::cli
