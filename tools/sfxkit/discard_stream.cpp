#include "tools/sfxkit/discard_stream.h"

#include "services/core/memory_service.h"

namespace sfx::cli {

Result DiscardStream::Create(DiscardStream** out) {
  if (out == nullptr) return kNullOutput;
  return NewInstance(out);
}

Result DiscardStream::Close() { return DeleteInstance(this); }

Result DiscardStream::Seek(std::int32_t offset, std::uint32_t origin, std::uint32_t* newPosition) {
  std::uint32_t base = 0;
  switch (origin) {
    case kSeekStart: base = 0; break;
    case kSeekCurrent: base = position_; break;
    case kSeekEnd: base = size_; break;
    default: return kOriginOutOfRange;
  }
  position_ = base + static_cast<std::uint32_t>(offset);
  if (newPosition) *newPosition = position_;
  return kOk;
}

Result DiscardStream::Read(void*, std::uint32_t count, std::uint32_t* done) {
  if (done) *done = 0;
  return count == 0 || done ? kOk : kStreamShortRead;
}

Result DiscardStream::Write(const void*, std::uint32_t count, std::uint32_t* done) {
  // Positions are 32-bit like every stream's; past 4 GiB the count would wrap.
  if (count > 0xFFFFFFFFu - position_) return kStreamShortWrite;
  position_ += count;
  if (position_ > size_) size_ = position_;
  if (done) *done = count;
  return kOk;
}

Result DiscardStream::GetSize(std::uint32_t* size) {
  if (size == nullptr) return kNullOutput;
  *size = size_;
  return kOk;
}

Result DiscardStream::SetSize(std::uint32_t newSize) {
  size_ = newSize;
  return kOk;
}

Result DiscardStream::Reserve(std::uint32_t) { return kOk; }
Result DiscardStream::SetParameter(std::uint32_t) { return kOk; }

}  // namespace sfx::cli
