#include "services/core/memory_stream.h"

#include "services/core/memory_service.h"
#include "services/core/registry_p.h"

namespace sfx {
namespace {

MemoryStreamService g_memoryStreamService;

}  // namespace

ServiceObject* detail::TheMemoryStreamService() { return &g_memoryStreamService; }

Result MemoryStreamService::CreateMemoryStream(void* buffer, std::uint32_t length, std::uint32_t capacity,
                                               std::uint32_t options, Stream** stream) {
  MemoryStream* s = nullptr;
  SFX_TRY(NewInstance(&s));
  if (buffer != nullptr) {
    s->data_ = static_cast<unsigned char*>(buffer);
    s->size_ = length;
    s->capacity_ = capacity;
    s->flags_ = (options & kMemoryStreamWritable) ? (MemoryStream::kWritable | MemoryStream::kGrowable) : 0;
    if (!(options & kMemoryStreamCallerOwns)) s->flags_ |= MemoryStream::kOwnsData;
  } else if (options & kMemoryStreamWritable) {
    if (capacity != 0) {
      void* block = nullptr;
      const Result r = Memory()->Allocate(capacity, &block);
      if (Failed(r)) {
        (void)DeleteInstance(s);
        return r;
      }
      (void)Memory()->Fill(block, 0, capacity);
      s->data_ = static_cast<unsigned char*>(block);
    }
    s->size_ = length < capacity ? length : capacity;
    s->capacity_ = capacity;
    s->flags_ = MemoryStream::kWritable | MemoryStream::kGrowable;
    if (!(options & kMemoryStreamCallerOwns)) s->flags_ |= MemoryStream::kOwnsData;
  } else {
    s->size_ = length;
  }
  *stream = s;
  return kOk;
}

Result MemoryStreamService::GetMemoryBlock(Stream* stream, void** data, std::uint32_t* size, std::uint32_t* capacity) {
  auto* s = static_cast<MemoryStream*>(stream);
  if (data) *data = s->data();
  if (size) *size = s->size();
  if (capacity) *capacity = s->capacity();
  return kOk;
}

Result MemoryStream::Close() {
  if ((flags_ & kOwnsData) && data_ != nullptr) (void)Memory()->Free(data_);
  return DeleteInstance(this);
}

Result MemoryStream::Seek(std::int32_t offset, std::uint32_t origin, std::uint32_t* newPosition) {
  std::uint32_t base;
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

Result MemoryStream::Read(void* buffer, std::uint32_t count, std::uint32_t* done) {
  if (position_ >= size_) {
    if (done) *done = 0;
    return kOk;
  }
  const std::uint32_t n = count < size_ - position_ ? count : size_ - position_;
  if (data_ != nullptr) {
    (void)Memory()->Copy(buffer, data_ + position_, n);
  } else {
    (void)Memory()->Fill(buffer, 0, n);
  }
  position_ += n;
  if (done) *done = n;
  return kOk;
}

Result MemoryStream::Write(const void* buffer, std::uint32_t count, std::uint32_t* done) {
  if (!(flags_ & kWritable)) {
    if (done) {
      *done = 0;
      return kOk;
    }
    return count == 0 ? kOk : kStreamShortWrite;
  }
  if (!(position_ <= capacity_ && capacity_ - position_ >= count)) {
    if (position_ >= kMemoryStreamMaxCapacity || count >= kMemoryStreamMaxCapacity ||
        position_ + count >= kMemoryStreamMaxCapacity) {
      return kFail;
    }
    SFX_TRY(Reserve(position_ + count));
  }
  if (count != 0) (void)Memory()->Copy(data_ + position_, buffer, count);
  position_ += count;
  if (position_ > size_) size_ = position_;
  if (done) *done = count;
  return kOk;
}

Result MemoryStream::GetSize(std::uint32_t* size) {
  if (size == nullptr) return kNullOutput;
  *size = size_;
  return kOk;
}

Result MemoryStream::SetSize(std::uint32_t newSize) {
  if (newSize > size_ && newSize > capacity_) SFX_TRY(Reserve(newSize));
  size_ = newSize;
  return kOk;
}

Result MemoryStream::Reserve(std::uint32_t capacity) {
  if (!(flags_ & kGrowable)) return kOutOfMemory;
  if (capacity > kMemoryStreamMaxCapacity) return kOutOfMemory;
  if (capacity <= capacity_) return kOk;
  void* block = data_;
  if (block == nullptr) {
    SFX_TRY(Memory()->Allocate(capacity, &block));
  } else {
    SFX_TRY(Memory()->Reallocate(capacity, &block));
  }
  (void)Memory()->Fill(static_cast<unsigned char*>(block) + capacity_, 0, capacity - capacity_);
  data_ = static_cast<unsigned char*>(block);
  capacity_ = capacity;
  return kOk;
}

Result MemoryStream::SetParameter(std::uint32_t) { return kOk; }

}  // namespace sfx
