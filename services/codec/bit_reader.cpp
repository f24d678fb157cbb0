#include "services/codec/bit_reader_p.h"

#include "services/core/memory_service.h"

namespace sfx::detail {

void BitReader::InitMemory(const void* data, std::uint32_t length) {
  next_ = static_cast<const std::uint8_t*>(data);
  end_ = next_ + (next_ != nullptr ? length : 0);
  source_ = nullptr;
  sourcePosition_ = 0;
  sourceRemaining_ = 0;
  bits_ = 0;
  count_ = 0;
}

void BitReader::InitStream(Stream* stream, std::uint32_t position, std::uint32_t length) {
  next_ = end_ = buffer_;
  source_ = stream;
  sourcePosition_ = position;
  sourceRemaining_ = length;
  bits_ = 0;
  count_ = 0;
}

Result BitReader::Refill() {
  if (sourceRemaining_ == 0 || source_ == nullptr) return kInflateInputExhausted;
  const std::uint32_t ask = sourceRemaining_ < kStreamChunk ? sourceRemaining_ : kStreamChunk;
  std::uint32_t done = 0;
  SFX_TRY(source_->ReadAt(sourcePosition_, buffer_, ask, &done));
  // The stream is not trusted to keep to the request.
  if (done == 0 || done > ask) return kInflateInputExhausted;
  next_ = buffer_;
  end_ = buffer_ + done;
  sourcePosition_ += done;
  sourceRemaining_ -= done;
  return kOk;
}

Result BitReader::ReadRaw(std::uint8_t* destination, std::uint32_t count) {
  while (count > 0 && count_ >= 8) {
    *destination++ = static_cast<std::uint8_t>(bits_);
    Drop(8);
    --count;
  }
  const std::size_t buffered = BufferedBytes();
  const std::uint32_t fromBuffer = count < buffered ? count : static_cast<std::uint32_t>(buffered);
  if (fromBuffer > 0) {
    (void)Memory()->Copy(destination, next_, fromBuffer);
    next_ += fromBuffer;
    destination += fromBuffer;
    count -= fromBuffer;
  }
  if (count == 0) return kOk;
  if (source_ == nullptr || count > sourceRemaining_) return kInflateInputExhausted;
  std::uint32_t done = 0;
  SFX_TRY(source_->ReadAt(sourcePosition_, destination, count, &done));
  if (done != count) return kStreamShortRead;
  sourcePosition_ += count;
  sourceRemaining_ -= count;
  return kOk;
}

}  // namespace sfx::detail
