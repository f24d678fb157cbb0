#include "services/data/block_stream.h"

#include "services/core/memory_service.h"
#include "services/data/block_store.h"
#include "services/data/block_store_p.h"

namespace sfx {
namespace {

// The block list grows by this many entries at a time.
constexpr std::uint32_t kListGrowth = 16;
constexpr std::uint32_t kZeroChunk = 512;
const unsigned char kZeros[kZeroChunk] = {};

}  // namespace

Result BlockStream::AppendBlock(std::uint32_t block) {
  if (count_ == room_) {
    const std::uint64_t room = std::uint64_t{room_} + kListGrowth;
    if (room * sizeof(std::uint32_t) > 0xFFFFFFFFu) return kOutOfMemory;
    void* list = blocks_;
    const auto bytes = static_cast<std::uint32_t>(room * sizeof(std::uint32_t));
    SFX_TRY(list ? Memory()->Reallocate(bytes, &list) : Memory()->Allocate(bytes, &list));
    blocks_ = static_cast<std::uint32_t*>(list);
    room_ = static_cast<std::uint32_t>(room);
  }
  blocks_[count_++] = block;
  return kOk;
}

// Adds blocks from the free list until the capacity reaches the request. The
// chain runs on from the last block into the free list until Close writes the
// end marker, so the stream counts as modified from here on.
Result BlockStream::AddBlocks(std::uint32_t capacity) {
  if (capacity <= capacity_) return kOk;
  BlockStore* s = store_;
  const std::uint32_t need = ((capacity - capacity_) + (s->blockSize_ - 1)) >> s->blockShift_;
  // No store holds more blocks than its links address: such a request could
  // only fail after growing the backing stream to its limit.
  if (need > block_layout::kMaxBlocks ||
      std::uint64_t{capacity_} + (std::uint64_t{need} << s->blockShift_) > block_layout::kMaxBackingBytes)
    return kFail;
  flags_ |= kModified;
  for (std::uint32_t i = 0; i < need; ++i) {
    // Room in the list first, so that a block taken is never lost.
    if (count_ == room_) {
      SFX_TRY(AppendBlock(0));
      --count_;
    }
    std::uint32_t b = 0;
    SFX_TRY(s->TakeFreeBlock(&b));
    const std::uint32_t last = blocks_[count_ - 1];
    std::uint32_t entry = 0;
    SFX_TRY(s->ReadEntry(last, &entry));
    if (entry != b) SFX_TRY(s->WriteEntry(last, b));
    blocks_[count_++] = b;
    capacity_ += s->blockSize_;
  }
  return kOk;
}

// The buffer holding block `index` of the stream, reading it in when neither
// buffer has it (the least recently used one is written back first).
Result BlockStream::Access(std::uint32_t index, bool writing, unsigned char** data) {
  if (index >= count_) return kFail;
  const std::uint32_t block = blocks_[index];
  int use = buffers_[0].block == block ? 0 : buffers_[1].block == block ? 1 : -1;
  if (use < 0) {
    use = buffers_[0].recent ? 1 : 0;
    Buffer& b = buffers_[use];
    if (b.dirty) {
      SFX_TRY(store_->WriteBlock(b.block, b.data));
      b.dirty = false;
    }
    b.block = block_layout::kNoBlock;
    SFX_TRY(store_->ReadBlock(block, b.data));
    b.block = block;
  }
  buffers_[use].recent = true;
  buffers_[1 - use].recent = false;
  if (writing) buffers_[use].dirty = true;
  *data = buffers_[use].data;
  return kOk;
}

Result BlockStream::Flush() {
  for (Buffer& b : buffers_) {
    if (b.dirty) {
      SFX_TRY(store_->WriteBlock(b.block, b.data));
      b.dirty = false;
    }
  }
  return kOk;
}

// Copies between the caller's bytes and the stream, block by block. Exactly
// one of read and write is given.
Result BlockStream::Transfer(std::uint32_t position, unsigned char* read, const unsigned char* write,
                             std::uint32_t count) {
  const std::uint32_t shift = store_->blockShift_;
  const std::uint32_t mask = store_->blockSize_ - 1;
  while (count > 0) {
    const std::uint32_t offset = position & mask;
    const std::uint32_t n = count < store_->blockSize_ - offset ? count : store_->blockSize_ - offset;
    unsigned char* data = nullptr;
    if (Failed(Access(position >> shift, write != nullptr, &data))) return kFail;
    if (write) {
      (void)Memory()->Copy(data + offset, write, n);
      write += n;
    } else {
      (void)Memory()->Copy(read, data + offset, n);
      read += n;
    }
    position += n;
    count -= n;
  }
  return kOk;
}

Result BlockStream::Seek(std::int32_t offset, std::uint32_t origin, std::uint32_t* newPosition) {
  std::int64_t target;
  switch (origin) {
    case kSeekStart: target = static_cast<std::uint32_t>(offset); break;
    case kSeekCurrent: target = std::int64_t{position_} + offset; break;
    case kSeekEnd: target = std::int64_t{length_} + offset; break;
    default: return kOriginOutOfRange;
  }
  if (target < 0) target = 0;
  if (target > length_) target = length_;
  position_ = static_cast<std::uint32_t>(target);
  if (newPosition) {
    *newPosition = position_;
  } else if (origin == kSeekStart && position_ != static_cast<std::uint32_t>(offset)) {
    return kStreamSeekMismatch;
  }
  return kOk;
}

Result BlockStream::Read(void* buffer, std::uint32_t count, std::uint32_t* done) {
  if (done) *done = 0;
  const std::uint32_t left = position_ < length_ ? length_ - position_ : 0;
  if (count > left) {
    if (!done) return kStreamShortRead;
    count = left;
  }
  if (count == 0) return kOk;
  BlockStore::Guard guard(store_);
  SFX_TRY(Transfer(position_, static_cast<unsigned char*>(buffer), nullptr, count));
  position_ += count;
  if (done) *done = count;
  return kOk;
}

Result BlockStream::Write(const void* buffer, std::uint32_t count, std::uint32_t* done) {
  if (done) *done = 0;
  const std::uint64_t end = std::uint64_t{position_} + count;
  if (end > block_layout::kMaxBackingBytes) return kFail;
  if (count == 0) return kOk;
  BlockStore::Guard guard(store_);
  if (end > capacity_) {
    // Reservations go in whole growth units; one that passes 4 GiB is refused.
    const std::uint64_t rounded = (end + growth_ - 1) / growth_ * growth_;
    if (rounded > block_layout::kMaxBackingBytes) return kFail;
    if (Failed(AddBlocks(static_cast<std::uint32_t>(rounded)))) return kFail;
  }
  flags_ |= kModified;
  SFX_TRY(Transfer(position_, nullptr, static_cast<const unsigned char*>(buffer), count));
  position_ = static_cast<std::uint32_t>(end);
  if (position_ > length_) length_ = position_;
  if (done) *done = count;
  return kOk;
}

Result BlockStream::GetSize(std::uint32_t* size) {
  if (!size) return kNullOutput;
  *size = length_;
  return kOk;
}

Result BlockStream::SetSize(std::uint32_t newSize) {
  BlockStore::Guard guard(store_);
  if (newSize > capacity_ && Failed(AddBlocks(newSize))) return kFail;
  flags_ |= kModified;
  // Blocks taken from the free list still hold what an earlier stream left
  // there; a stream that grows shows zero bytes instead.
  for (std::uint32_t at = length_; at < newSize;) {
    const std::uint32_t n = newSize - at < kZeroChunk ? newSize - at : kZeroChunk;
    SFX_TRY(Transfer(at, nullptr, kZeros, n));
    at += n;
  }
  if (newSize < length_) position_ = 0;
  length_ = newSize;
  return kOk;
}

Result BlockStream::Reserve(std::uint32_t capacity) {
  BlockStore::Guard guard(store_);
  return Failed(AddBlocks(capacity)) ? kFail : kOk;
}

Result BlockStream::SetParameter(std::uint32_t value) {
  if (value != 0) growth_ = value;
  return kOk;
}

void BlockStream::Release() {
  (void)Memory()->Free(buffers_[0].data);
  if (blocks_) (void)Memory()->Free(blocks_);
  for (BlockStream** link = &store_->openList_; *link != nullptr; link = &(*link)->nextOpen_) {
    if (*link == this) {
      *link = nextOpen_;
      break;
    }
  }
  --store_->openStreams_;
  (void)DeleteInstance(this);
}

Result BlockStream::Close() {
  using namespace block_layout;
  BlockStore* s = store_;
  Result result = kOk;
  {
    BlockStore::Guard guard(s);
    if (flags_ & kTemporary) {
      // The whole chain goes back to the free list; nothing else is written.
      std::uint32_t entry = 0;
      if (count_ > 1 && Succeeded(s->ReadEntry(first_, &entry)) && entry >= kFirstLinkFlag && entry < kEndMarker)
        result = s->WriteEntry(first_, entry - kFirstLinkFlag);
      if (Succeeded(result)) result = s->WriteEntry(blocks_[count_ - 1], s->freeHead_);
      if (Succeeded(result)) s->freeHead_ = first_;
    } else if (flags_ & kModified) {
      result = Flush();
      const std::uint32_t keep = length_ == 0 ? 1 : ((length_ - 1) >> s->blockShift_) + 1;
      if (Succeeded(result) && count_ > keep) {
        result = s->WriteEntry(blocks_[count_ - 1], s->freeHead_);
        if (Succeeded(result)) {
          s->freeHead_ = blocks_[keep];
          count_ = keep;
        }
      }
      const std::uint32_t bytesInLast = length_ - ((keep - 1) << s->blockShift_);
      if (Succeeded(result)) result = s->WriteEntry(blocks_[keep - 1], kEndMarker + bytesInLast);
      if (Succeeded(result) && keep > 1) result = s->WriteEntry(first_, kFirstLinkFlag + blocks_[1]);
    }
    Release();
  }
  return Failed(result) ? kFail : kOk;
}

}  // namespace sfx
