// Many independent streams inside one backing stream, chained through a table
// of block links in the manner of a small allocation table.
//
// The backing stream is a whole number of groups of E = B / 4 blocks of B
// bytes (B = 512 << c, c = 0..7). Block 0 of every group (0, E, 2E, ...) is a
// table block: E little-endian u32 entries, entry i for block kE + i.
//
//   entry value             meaning (data and free blocks)
//   1 .. 0xFFFFF            next block of the same chain (inner stream or free list)
//   0                       end of the free list
//   0x1000000 + next        first block of an inner stream of several blocks
//   0xFFF00000 + k          last block of an inner stream, holding k bytes (0..B)
//
// Entry 0 of block 0 is the store header word: bits 0-2 c, bits 3-7 zero,
// bits 8-31 freeHead (0 = free list empty); it is written when the store
// closes. An inner stream is named by its first block.
#pragma once

#include <cstdint>

#include "services/core/service.h"
#include "services/core/stream.h"

namespace sfx {

inline constexpr Result kBlockStoreStreamsOpen = FailureCode(facility::kBlockStore, 0x0001);
inline constexpr Result kBlockStoreTooShort = FailureCode(facility::kBlockStore, 0x0002);
inline constexpr Result kBlockStoreSeekFailed = FailureCode(facility::kBlockStore, 0x0003);
inline constexpr Result kBlockStoreHeaderReadFailed = FailureCode(facility::kBlockStore, 0x0004);
inline constexpr Result kBlockStoreNotWholeGroups = FailureCode(facility::kBlockStore, 0x0005);
inline constexpr Result kBlockStoreBadFreeHead = FailureCode(facility::kBlockStore, 0x0006);
inline constexpr Result kBlockStoreBadBlockSize = FailureCode(facility::kBlockStore, 0x0007);
inline constexpr Result kBlockStoreNoTableMemory = FailureCode(facility::kBlockStore, 0x0008);
inline constexpr Result kBlockStoreBadIdentifier = FailureCode(facility::kBlockStore, 0x0009);  // or a broken chain

inline constexpr std::uint32_t kBlockStoreDefaultBlockSize = 4096;

class BlockStore;
class BlockStream;
class Semaphore;

// The service and its stores share one table: slots 1 and 3 are called on
// the service, the others on a store.
class BlockStoreService : public ServiceObject {
 public:
  // 1. An empty backing stream starts a new store (block size 0 = 4096); a
  //    non-empty one is opened from its header word. The store owns the
  //    backing stream from success on; on failure the caller keeps it.
  virtual Result OpenBlockStore(Stream* backing, std::uint32_t blockSize, BlockStore** store);
  // 2. Refused with kBlockStoreStreamsOpen while inner streams are open (the
  //    store stays open and usable: close them first). Otherwise writes the
  //    header word, closes the backing stream and frees the store.
  virtual Result Close() { return kFail; }
  // 3. Opens the backing file with the file system's Open (mode 3 with a null
  //    name makes a temporary file deleted when the store closes).
  virtual Result OpenBlockStoreFile(char* name, std::uint32_t capacity, std::uint32_t openType, std::uint32_t blockSize,
                                    BlockStore** store);
  // 4.
  virtual Result OpenBlockStream(std::uint32_t /*identifier*/, BlockStream** /*stream*/) { return kFail; }
  // 5. With identifier null the stream is temporary: deleted when closed.
  virtual Result CreateBlockStream(std::uint32_t* /*identifier*/, BlockStream** /*stream*/) { return kFail; }
  // 6. kFail while the stream is open (its close would write into blocks
  //    that are free by then).
  virtual Result DeleteBlockStream(std::uint32_t /*identifier*/) { return kFail; }
  // 7. Creates the store's lock once.
  virtual Result EnableLocking() { return kFail; }
  virtual Result ReservedLast() { return kFail; }

  BlockStoreService() = default;
};

class BlockStore : public BlockStoreService {
 public:
  Result Close() override;
  Result OpenBlockStream(std::uint32_t identifier, BlockStream** stream) override;
  Result CreateBlockStream(std::uint32_t* identifier, BlockStream** stream) override;
  Result DeleteBlockStream(std::uint32_t identifier) override;
  Result EnableLocking() override;

  std::uint32_t blockSize() const { return blockSize_; }
  std::uint32_t blockCount() const { return blockCount_; }
  std::uint32_t freeHead() const { return freeHead_; }
  std::uint32_t openStreams() const { return openStreams_; }
  // One table entry, for callers that inspect the layout.
  Result ReadEntry(std::uint32_t block, std::uint32_t* entry);

  // Made only by BlockStoreService.
  BlockStore() = default;
  ~BlockStore() = default;

 private:
  friend class BlockStoreService;
  friend class BlockStream;

  // Serialises table and backing-stream access when locking is enabled.
  class Guard {
   public:
    explicit Guard(BlockStore* store);
    ~Guard();
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

   private:
    Semaphore* lock_;
  };

  bool IsDataBlock(std::uint32_t block) const { return block != 0 && block < blockCount_ && (block & entryMask_) != 0; }
  Result WriteEntry(std::uint32_t block, std::uint32_t entry);
  Result LoadTable(std::uint32_t tableBlock);
  Result AddGroup();
  Result TakeFreeBlock(std::uint32_t* block);
  Result FirstLink(std::uint32_t identifier, std::uint32_t* link);
  Result FollowChain(std::uint32_t identifier, BlockStream* collect, std::uint32_t* last, std::uint32_t* links,
                     std::uint32_t* bytesInLast);
  Result ReadBlock(std::uint32_t block, unsigned char* buffer);
  Result WriteBlock(std::uint32_t block, const unsigned char* buffer);
  Result NewStream(std::uint32_t first, std::uint32_t flags, BlockStream** stream);

  Stream* backing_ = nullptr;
  Semaphore* lock_ = nullptr;
  std::uint32_t openStreams_ = 0;
  BlockStream* openList_ = nullptr;
  std::uint32_t blockSize_ = 0;   // B
  std::uint32_t entries_ = 0;     // E = B / 4
  std::uint32_t groupBytes_ = 0;  // E * B
  std::uint32_t blockShift_ = 0;  // log2 B
  std::uint32_t entryMask_ = 0;   // E - 1
  std::uint32_t backingSize_ = 0;
  std::uint32_t blockCount_ = 0;
  std::uint32_t freeHead_ = 0;
  std::uint32_t cachedTable_ = 0xFFFFFFFFu;
  unsigned char* table_ = nullptr;  // one table block
};

inline BlockStoreService* BlockStores() { return Service<BlockStoreService>(Slot::kBlockStore); }

}  // namespace sfx
