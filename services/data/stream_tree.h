// An ordered map of fixed-size keys to fixed-size values kept inside any
// stream as a red-black tree of fixed-size node records. Only the header
// fields and one scratch buffer stay in memory; every node visit is a
// positioned transfer on the stream, so the stream always holds current
// nodes (the header is written back only by Close).
//
// Stream layout, little-endian, no padding:
//
//   header (32 bytes at offset 0)
//   +0  u32 headerSize   offset of node 0 (32 here)
//   +4  u16 formatVersion (1)   +6 u16 reserved (0)
//   +8  u32 keySize      +12 u32 valueSize    +16 u32 nodeSize = 9 + key + value
//   +20 u32 root         +24 u32 freeHead     +28 u32 nodeCount (slots, used and free)
//
//   node i at headerSize + i * nodeSize
//   +0 u8 colour (0 red, 1 black, 255 free)   +1 u32 left   +5 u32 right
//   +9 key (keySize bytes)   +9+keySize value (valueSize bytes)
//
// A free slot chains to the next free slot through `left`; its key and value
// are zero. kTreeNone (0xFFFFFFFF) means "no node" everywhere.
#pragma once

#include <cstdint>

#include "services/core/service.h"
#include "services/core/stream.h"

namespace sfx {

inline constexpr std::uint32_t kTreeNone = 0xFFFFFFFFu;

inline constexpr Result kTreeNotFound = 1;  // also: node index out of range
inline constexpr Result kTreeKeyExists = FailureCode(facility::kStreamData, 0x0001);
inline constexpr Result kTreeBadComparison = FailureCode(facility::kStreamData, 0x0002);
inline constexpr Result kTreeHeaderWriteFailed = FailureCode(facility::kStreamData, 0x0003);
inline constexpr Result kTreeHeaderReadFailed = FailureCode(facility::kStreamData, 0x0004);  // also: header invalid
inline constexpr Result kTreeHeaderTooLarge = FailureCode(facility::kStreamData, 0x0005);

inline constexpr std::uint8_t kTreeRed = 0;
inline constexpr std::uint8_t kTreeBlack = 1;
inline constexpr std::uint8_t kTreeFreeSlot = 255;

// (context, search key, stored key) -> 0 equal, 2 search key first, 3 after.
// Any other value fails the running operation with kTreeBadComparison.
using TreeCompareFunction = Result (*)(void* context, const void* searchKey, const void* storedKey);

class StreamTree;

// The service and its trees share one table: slots 1 and 2 are called on the
// service, slots 3 to 8 on a tree.
class StreamTreeService : public ServiceObject {
 public:
  // 1. Writes nothing to the stream until Close. The stream is borrowed.
  //    kFail when key and value sizes leave no room for a node in 32 bits.
  virtual Result CreateTree(Stream* stream, std::uint32_t keySize, std::uint32_t valueSize, TreeCompareFunction compare,
                            void* context, StreamTree** tree);
  // 2. Reads and checks the header: kTreeHeaderReadFailed when it cannot be
  //    read or does not describe a tree that fits the stream,
  //    kTreeHeaderTooLarge for a headerSize above 0xFFFF.
  virtual Result OpenTree(Stream* stream, TreeCompareFunction compare, void* context, StreamTree** tree);
  // 3. Writes the header back (kTreeHeaderWriteFailed) and frees the tree.
  virtual Result Close() { return kFail; }
  // 4. kTreeKeyExists (the existing node's index in *node) when present.
  virtual Result Insert(const void* /*key*/, const void* /*value*/, std::uint32_t* /*node*/) { return kFail; }
  // 5. 0 and the value when found, kTreeNotFound when not.
  virtual Result Find(const void* /*key*/, void* /*value*/, std::uint32_t* /*node*/) { return kFail; }
  // 6. 0 when removed, kTreeNotFound when not present.
  virtual Result Remove(const void* /*key*/) { return kFail; }
  // 7. Any slot by index, free slots included; kTreeNotFound beyond nodeCount.
  virtual Result ReadNode(std::uint32_t /*index*/, std::uint8_t* /*colour*/, std::uint32_t* /*left*/,
                          std::uint32_t* /*right*/, void* /*key*/, void* /*value*/) {
    return kFail;
  }
  // 8. With a key the node is found by key, otherwise by index.
  virtual Result WriteValue(const void* /*key*/, std::uint32_t /*index*/, const void* /*value*/) { return kFail; }
  virtual Result ReservedLast() { return kFail; }

  StreamTreeService() = default;
};

class StreamTree : public StreamTreeService {
 public:
  // The deepest walk any operation makes; a deeper path means the stored
  // links are corrupt (a balanced tree of 2^32 nodes is 64 deep).
  static constexpr std::uint32_t kMaxDepth = 4096;

  Result Close() override;
  Result Insert(const void* key, const void* value, std::uint32_t* node) override;
  Result Find(const void* key, void* value, std::uint32_t* node) override;
  Result Remove(const void* key) override;
  Result ReadNode(std::uint32_t index, std::uint8_t* colour, std::uint32_t* left, std::uint32_t* right, void* key,
                  void* value) override;
  Result WriteValue(const void* key, std::uint32_t index, const void* value) override;

  std::uint32_t root() const { return root_; }
  std::uint32_t freeHead() const { return freeHead_; }
  std::uint32_t nodeCount() const { return nodeCount_; }
  std::uint32_t keySize() const { return keySize_; }
  std::uint32_t valueSize() const { return valueSize_; }

  // Made only by StreamTreeService.
  StreamTree() = default;
  ~StreamTree() = default;

 private:
  friend class StreamTreeService;
  struct NodeHeader {
    std::uint8_t colour;
    std::uint32_t left;
    std::uint32_t right;
  };
  struct SearchResult {
    std::uint32_t node = kTreeNone;
    std::uint32_t parent = kTreeNone;
    int side = 0;  // 2 left of parent, 3 right
  };

  std::uint32_t NodeOffset(std::uint32_t index) const { return headerSize_ + index * nodeSize_; }
  Result ReadHeader(std::uint32_t index, NodeHeader* h);
  Result WriteHeader(std::uint32_t index, const NodeHeader& h);
  Result ReadLinkedHeader(std::uint32_t index, NodeHeader* h);
  Result SetColour(std::uint32_t index, std::uint8_t colour);
  Result SetChild(std::uint32_t parent, int side, std::uint32_t child);
  Result CompareWith(const void* key, std::uint32_t index);
  Result Search(const void* key, SearchResult* found);
  Result AllocateNode(const void* key, const void* value, std::uint32_t* index);
  Result Grow();
  Result WriteFreeSlot(std::uint32_t index, std::uint32_t next);
  Result Rotate(const void* key, std::uint32_t y, std::uint32_t* lifted);
  Result Split(const void* key, std::uint32_t x, std::uint32_t depth, std::uint32_t* result, std::uint32_t* newDepth);
  Result EnsureScratch();

  Stream* stream_ = nullptr;
  std::uint32_t created_ = 0;
  std::uint32_t headerSize_ = 0;
  std::uint32_t keySize_ = 0;
  std::uint32_t valueSize_ = 0;
  std::uint32_t nodeSize_ = 0;
  std::uint32_t root_ = kTreeNone;
  std::uint32_t freeHead_ = kTreeNone;
  std::uint32_t nodeCount_ = 0;
  TreeCompareFunction compare_ = nullptr;
  void* context_ = nullptr;
  unsigned char* scratch_ = nullptr;  // one stored key, for comparisons
  // The insertion path from the root, so that every rotation works on the
  // true ancestors of the node being split.
  std::uint32_t path_[kMaxDepth + 1] = {};
};

inline StreamTreeService* StreamTrees() { return Service<StreamTreeService>(Slot::kStreamTree); }

}  // namespace sfx
