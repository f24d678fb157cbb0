#include "services/data/block_store.h"

#include <new>

#include "services/core/file_system.h"
#include "services/core/memory_service.h"
#include "services/core/registry_p.h"
#include "services/core/sync_service.h"
#include "services/data/block_store_p.h"
#include "services/data/block_stream.h"

namespace sfx {
namespace {

BlockStoreService g_blockStoreService;

std::uint32_t LoadU32(const unsigned char* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}
void StoreU32(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

Result BlockSizeCode(std::uint32_t blockSize, std::uint32_t* code) {
  for (std::uint32_t c = 0; c <= block_layout::kMaxSizeCode; ++c) {
    if (block_layout::kMinBlockSize << c == blockSize) {
      *code = c;
      return kOk;
    }
  }
  return kBlockStoreBadBlockSize;
}

}  // namespace

ServiceObject* detail::TheBlockStoreService() { return &g_blockStoreService; }

// ---- opening a store -------------------------------------------------------------

Result BlockStoreService::OpenBlockStore(Stream* backing, std::uint32_t blockSize, BlockStore** store) {
  using namespace block_layout;
  std::uint32_t size = 0;
  SFX_TRY(backing->GetSize(&size));
  std::uint32_t code = 0;
  std::uint32_t freeHead = 0;
  if (size == 0) {
    SFX_TRY(BlockSizeCode(blockSize ? blockSize : kBlockStoreDefaultBlockSize, &code));
  } else {
    if (size < kHeaderWordBytes) return kBlockStoreTooShort;
    if (Failed(backing->Seek(0, kSeekStart, nullptr))) return kBlockStoreSeekFailed;
    unsigned char word[kHeaderWordBytes];
    std::uint32_t done = 0;
    if (Failed(backing->Read(word, kHeaderWordBytes, &done)) || done != kHeaderWordBytes)
      return kBlockStoreHeaderReadFailed;
    const std::uint32_t header = LoadU32(word);
    code = header & kSizeCodeMask;
    const std::uint32_t b = kMinBlockSize << code;
    const std::uint32_t e = b / kEntryBytes;
    if (size % (e * b) != 0) return kBlockStoreNotWholeGroups;
    freeHead = header >> kFreeHeadShift;
    // The free list must start at a data block: never at a table block.
    if (freeHead >= size / b || (freeHead != 0 && (freeHead & (e - 1)) == 0)) return kBlockStoreBadFreeHead;
  }
  BlockStore* s = nullptr;
  SFX_TRY(NewInstance(&s));
  s->blockShift_ = kMinBlockShift + code;
  s->blockSize_ = 1u << s->blockShift_;
  s->entries_ = s->blockSize_ / kEntryBytes;
  s->entryMask_ = s->entries_ - 1;
  s->groupBytes_ = s->entries_ * s->blockSize_;
  s->backingSize_ = size;
  s->blockCount_ = size >> s->blockShift_;
  s->freeHead_ = freeHead;
  void* table = nullptr;
  if (Failed(Memory()->Allocate(s->blockSize_, &table))) {
    (void)DeleteInstance(s);
    return kBlockStoreNoTableMemory;
  }
  s->table_ = static_cast<unsigned char*>(table);
  s->backing_ = backing;
  if (size == 0) {
    const Result r = s->AddGroup();
    if (Failed(r)) {
      (void)Memory()->Free(s->table_);
      (void)DeleteInstance(s);
      return r;
    }
  }
  *store = s;
  return kOk;
}

Result BlockStoreService::OpenBlockStoreFile(char* name, std::uint32_t capacity, std::uint32_t openType,
                                             std::uint32_t blockSize, BlockStore** store) {
  Stream* file = nullptr;
  SFX_TRY(FileSystem()->Open(name, capacity, openType, &file));
  const Result r = OpenBlockStore(file, blockSize, store);
  if (Failed(r)) (void)file->Close();  // the open failure is the one worth reporting
  return r;
}

// ---- the lock ---------------------------------------------------------------------

BlockStore::Guard::Guard(BlockStore* store) : lock_(store->lock_) {
  // An infinite wait ends only with the count taken; a platform failure here
  // would leave nothing sensible to do but go on.
  if (lock_) (void)lock_->WaitSemaphore(kInfiniteWait);
}

BlockStore::Guard::~Guard() {
  if (lock_) (void)lock_->PostSemaphore();
}

Result BlockStore::EnableLocking() {
  if (lock_ != nullptr) return kOk;
  return Sync()->MakeSemaphore(1, 1, &lock_);
}

// ---- blocks and the table -----------------------------------------------------------

Result BlockStore::ReadBlock(std::uint32_t block, unsigned char* buffer) {
  if (block >= blockCount_) return kFail;
  std::uint32_t done = 0;
  if (Failed(backing_->ReadAt(block << blockShift_, buffer, blockSize_, &done)) || done != blockSize_) return kFail;
  return kOk;
}

Result BlockStore::WriteBlock(std::uint32_t block, const unsigned char* buffer) {
  if (block >= blockCount_) return kFail;
  std::uint32_t done = 0;
  if (Failed(backing_->WriteAt(block << blockShift_, buffer, blockSize_, &done)) || done != blockSize_) return kFail;
  return kOk;
}

Result BlockStore::LoadTable(std::uint32_t tableBlock) {
  if (cachedTable_ == tableBlock) return kOk;
  cachedTable_ = block_layout::kNoBlock;
  SFX_TRY(ReadBlock(tableBlock, table_));
  cachedTable_ = tableBlock;
  return kOk;
}

Result BlockStore::ReadEntry(std::uint32_t block, std::uint32_t* entry) {
  if (block >= blockCount_) return kFail;
  SFX_TRY(LoadTable(block & ~entryMask_));
  *entry = LoadU32(table_ + (block & entryMask_) * block_layout::kEntryBytes);
  return kOk;
}

// Written straight through, so the table is never dirty in memory.
Result BlockStore::WriteEntry(std::uint32_t block, std::uint32_t entry) {
  if (block >= blockCount_) return kFail;
  const std::uint32_t tableBlock = block & ~entryMask_;
  const std::uint32_t at = (block & entryMask_) * block_layout::kEntryBytes;
  unsigned char bytes[block_layout::kEntryBytes];
  StoreU32(bytes, entry);
  std::uint32_t done = 0;
  if (Failed(backing_->WriteAt((tableBlock << blockShift_) + at, bytes, sizeof bytes, &done)) || done != sizeof bytes)
    return kFail;
  if (cachedTable_ == tableBlock) StoreU32(table_ + at, entry);
  return kOk;
}

// Appends one group; its blocks after the table block form the new free list.
Result BlockStore::AddGroup() {
  using namespace block_layout;
  const std::uint64_t newSize = std::uint64_t{backingSize_} + groupBytes_;
  const std::uint64_t newCount = std::uint64_t{blockCount_} + entries_;
  // Links are 20 bits wide and sizes 32: a store never grows past either.
  if (newSize > kMaxBackingBytes || newCount > kMaxBlocks) return kFail;
  SFX_TRY(backing_->SetSize(static_cast<std::uint32_t>(newSize)));
  const std::uint32_t t = blockCount_;
  StoreU32(table_, 0);
  for (std::uint32_t i = 1; i + 1 < entries_; ++i) StoreU32(table_ + i * kEntryBytes, t + i + 1);
  StoreU32(table_ + (entries_ - 1) * kEntryBytes, 0);
  cachedTable_ = kNoBlock;
  backingSize_ = static_cast<std::uint32_t>(newSize);
  blockCount_ = static_cast<std::uint32_t>(newCount);
  const Result r = WriteBlock(t, table_);
  if (Failed(r)) {
    backingSize_ -= groupBytes_;
    blockCount_ -= entries_;
    return r;
  }
  cachedTable_ = t;
  freeHead_ = t + 1;
  return kOk;
}

Result BlockStore::TakeFreeBlock(std::uint32_t* block) {
  if (freeHead_ == 0) SFX_TRY(AddGroup());
  const std::uint32_t b = freeHead_;
  std::uint32_t next = 0;
  if (!IsDataBlock(b)) return kFail;
  SFX_TRY(ReadEntry(b, &next));
  // The free list is stored data: its next link must be the end or a data block.
  if (next != 0 && !IsDataBlock(next)) return kFail;
  freeHead_ = next;
  *block = b;
  return kOk;
}

Result BlockStore::FirstLink(std::uint32_t identifier, std::uint32_t* link) {
  using namespace block_layout;
  if (!IsDataBlock(identifier)) return kBlockStoreBadIdentifier;
  std::uint32_t entry = 0;
  SFX_TRY(ReadEntry(identifier, &entry));
  if (entry >= kFirstLinkFlag && entry < 2 * kFirstLinkFlag) {
    *link = entry - kFirstLinkFlag;
  } else if (entry >= kEndMarker) {
    *link = entry;
  } else {
    return kBlockStoreBadIdentifier;
  }
  return kOk;
}

// Follows an inner stream's chain from its first block, bounded by the block
// count; every link must name a data block and the chain must end in an end
// marker of at most B bytes.
Result BlockStore::FollowChain(std::uint32_t identifier, BlockStream* collect, std::uint32_t* last,
                               std::uint32_t* links, std::uint32_t* bytesInLast) {
  using namespace block_layout;
  std::uint32_t entry = 0;
  SFX_TRY(FirstLink(identifier, &entry));
  std::uint32_t current = identifier;
  std::uint32_t steps = 0;
  if (collect) SFX_TRY(collect->AppendBlock(current));
  while (entry < kEndMarker) {
    if (entry > kMaxLink || !IsDataBlock(entry) || ++steps >= blockCount_) return kBlockStoreBadIdentifier;
    current = entry;
    if (collect) SFX_TRY(collect->AppendBlock(current));
    SFX_TRY(ReadEntry(current, &entry));
  }
  if (entry - kEndMarker > blockSize_) return kBlockStoreBadIdentifier;
  *last = current;
  *links = steps;
  *bytesInLast = entry - kEndMarker;
  return kOk;
}

// ---- inner streams -----------------------------------------------------------------

Result BlockStore::NewStream(std::uint32_t first, std::uint32_t flags, BlockStream** stream) {
  BlockStream* s = nullptr;
  SFX_TRY(NewInstance(&s));
  void* buffers = nullptr;
  const Result r = Memory()->Allocate(2 * blockSize_, &buffers);
  if (Failed(r)) {
    (void)DeleteInstance(s);
    return r;
  }
  s->buffers_[0].data = static_cast<unsigned char*>(buffers);
  s->buffers_[1].data = s->buffers_[0].data + blockSize_;
  s->store_ = this;
  s->first_ = first;
  s->flags_ = flags;
  s->growth_ = blockSize_;
  s->nextOpen_ = openList_;
  openList_ = s;
  ++openStreams_;
  *stream = s;
  return kOk;
}

Result BlockStore::OpenBlockStream(std::uint32_t identifier, BlockStream** stream) {
  Guard guard(this);
  BlockStream* s = nullptr;
  SFX_TRY(NewStream(identifier, 0, &s));
  std::uint32_t last = 0, links = 0, k = 0;
  const Result r = FollowChain(identifier, s, &last, &links, &k);
  if (Failed(r)) {
    s->Release();
    return r;
  }
  s->length_ = (links << blockShift_) + k;
  s->capacity_ = s->count_ << blockShift_;
  *stream = s;
  return kOk;
}

Result BlockStore::CreateBlockStream(std::uint32_t* identifier, BlockStream** stream) {
  Guard guard(this);
  std::uint32_t b = 0;
  SFX_TRY(TakeFreeBlock(&b));
  BlockStream* s = nullptr;
  Result r = NewStream(b, BlockStream::kModified | (identifier ? 0u : std::uint32_t{BlockStream::kTemporary}), &s);
  if (Succeeded(r)) r = s->AppendBlock(b);
  if (Failed(r)) {
    if (s) s->Release();
    // Give the block back to the free list it came from.
    if (Succeeded(WriteEntry(b, freeHead_))) freeHead_ = b;
    return r;
  }
  s->capacity_ = blockSize_;
  if (identifier) *identifier = b;
  *stream = s;
  return kOk;
}

Result BlockStore::DeleteBlockStream(std::uint32_t identifier) {
  Guard guard(this);
  for (const BlockStream* s = openList_; s != nullptr; s = s->nextOpen_)
    if (s->first_ == identifier) return kFail;
  std::uint32_t last = 0, links = 0, k = 0;
  SFX_TRY(FollowChain(identifier, nullptr, &last, &links, &k));
  if (last != identifier) {
    std::uint32_t entry = 0;
    SFX_TRY(ReadEntry(identifier, &entry));
    if (entry >= block_layout::kFirstLinkFlag && entry < block_layout::kEndMarker)
      SFX_TRY(WriteEntry(identifier, entry - block_layout::kFirstLinkFlag));
  }
  if (Failed(WriteEntry(last, freeHead_))) return kFail;
  freeHead_ = identifier;
  return kOk;
}

// ---- closing ------------------------------------------------------------------------

Result BlockStore::Close() {
  // Inner streams point at this store: closing under them would leave them
  // pointing at freed memory, so the store stays open until they are closed.
  if (openStreams_ != 0) return kBlockStoreStreamsOpen;
  Result result = kOk;
  const std::uint32_t header =
      (freeHead_ << block_layout::kFreeHeadShift) | (blockShift_ - block_layout::kMinBlockShift);
  std::uint32_t old = 0;
  if (Failed(ReadEntry(0, &old)) || (old != header && Failed(WriteEntry(0, header)))) result = kFail;
  const Result closed = backing_->Close();
  if (Succeeded(result)) result = closed;
  (void)Memory()->Free(table_);
  if (lock_) (void)lock_->Close();
  (void)DeleteInstance(this);
  return result;
}

}  // namespace sfx
