// Text keys to fixed-size values: a stream tree in an inner stream of a
// block store whose 4-byte keys are identifiers of strings in a string heap,
// so a key of any length costs four bytes per node. Lookups take a key text or
// a string identifier; comparison is byte-wise or ASCII case-insensitive.
#pragma once

#include <cstdint>

#include "services/core/service.h"

namespace sfx {

class BlockStore;
class BlockStream;
class StringHeap;
class StreamTree;

inline constexpr Result kKeyedIndexKeyExists = FailureCode(facility::kKeyedIndex, 0x0001);

class KeyedIndex;

// The service and its indexes share one table: slots 1 and 3 are called on
// the service, the others on an index.
class KeyedIndexService : public ServiceObject {
 public:
  // 1. The store and the heap are borrowed; the heap must stay open as long as
  //    the index. The tree's stream identifier (to reopen) goes to identifier.
  virtual Result CreateIndex(std::uint32_t caseFlag, BlockStore* store, std::uint32_t valueSize, StringHeap* heap,
                             std::uint32_t* identifier, KeyedIndex** index);
  // 2. Writes the tree header; the inner stream stays in the store.
  virtual Result Close() { return kFail; }
  // 3. kFail when the stored value size is not the caller's.
  virtual Result OpenIndex(std::uint32_t caseFlag, BlockStore* store, std::uint32_t valueSize, StringHeap* heap,
                           std::uint32_t identifier, KeyedIndex** index);
  // 4. kKeyedIndexKeyExists (the heap unchanged) when the key is present.
  virtual Result InsertEntry(const void* /*text*/, std::uint32_t /*length*/, const void* /*value*/,
                             std::uint32_t* /*node*/) {
    return kFail;
  }
  // 5. With text null, lengthOrIdentifier is a string identifier. 0 or 1.
  virtual Result FindEntry(const void* /*text*/, std::uint32_t /*lengthOrIdentifier*/, void* /*value*/,
                           std::uint32_t* /*node*/) {
    return kFail;
  }
  // 6. A free slot reads as key identifier 0 and a zero value.
  virtual Result ReadEntry(std::uint32_t /*node*/, void* /*key*/, void* /*value*/) { return kFail; }
  // 7.
  virtual Result WriteEntryValue(std::uint32_t /*node*/, const void* /*value*/) { return kFail; }
  // 8. Only the entry whose key is the heap's last string can go
  //    (kStringHeapNotLast otherwise, nothing changed); 1 for an index that
  //    names no entry.
  virtual Result RemoveEntry(std::uint32_t /*node*/) { return kFail; }
  virtual Result ReservedLast() { return kFail; }

  KeyedIndexService() = default;
};

class KeyedIndex : public KeyedIndexService {
 public:
  Result Close() override;
  Result InsertEntry(const void* text, std::uint32_t length, const void* value, std::uint32_t* node) override;
  Result FindEntry(const void* text, std::uint32_t lengthOrIdentifier, void* value, std::uint32_t* node) override;
  Result ReadEntry(std::uint32_t node, void* key, void* value) override;
  Result WriteEntryValue(std::uint32_t node, const void* value) override;
  Result RemoveEntry(std::uint32_t node) override;

  StreamTree* tree() const { return tree_; }

  // Made only by KeyedIndexService.
  KeyedIndex() = default;
  ~KeyedIndex() = default;

 private:
  friend class KeyedIndexService;
  static Result CompareKeys(void* context, const void* searchKey, const void* storedKey);

  std::uint32_t caseFlag_ = 0;
  BlockStore* store_ = nullptr;
  BlockStream* stream_ = nullptr;
  std::uint32_t identifier_ = 0;
  StreamTree* tree_ = nullptr;
  StringHeap* heap_ = nullptr;
};

inline KeyedIndexService* KeyedIndexes() { return Service<KeyedIndexService>(Slot::kKeyedIndex); }

}  // namespace sfx
