// Variable-length byte strings kept in one inner stream of a block store and
// named by their offset there, so that fixed-size records can refer to texts
// of any length. Strings are only appended; the last one can be taken back
// and the heap cut back to an earlier offset. Closing deletes the stream.
//
// Stream layout: entries of a little-endian u16 length L (at most 32000)
// followed by L bytes, no terminator, no alignment. The first string is 0.
#pragma once

#include <cstdint>

#include "services/core/service.h"

namespace sfx {

class BlockStore;
class BlockStream;

inline constexpr std::uint32_t kStringHeapMaxLength = 32000;
inline constexpr Result kStringHeapNotLast = FailureCode(facility::kStringHeap, 0x0001);

class StringHeap;

// The service and its heaps share one table: slot 1 is called on the
// service, slots 2 to 9 on a heap.
class StringHeapService : public ServiceObject {
 public:
  // 1. The store is borrowed and must outlive the heap.
  virtual Result CreateStringHeap(BlockStore* store, StringHeap** heap);
  // 2. Closes the inner stream and deletes it from the store.
  virtual Result Close() { return kFail; }
  // 3. kFail for a length above 32000 or a failed write.
  virtual Result AppendString(const void* /*text*/, std::uint32_t /*length*/, std::uint32_t* /*identifier*/) {
    return kFail;
  }
  // 4. Reports the full length; copies at most capacity bytes.
  virtual Result ReadString(std::uint32_t /*identifier*/, std::uint32_t* /*length*/, void* /*buffer*/,
                            std::uint32_t /*capacity*/) {
    return kFail;
  }
  // 5. Takes back the string appended last, if it is still in the heap.
  virtual Result UndoLastAppend() { return kFail; }
  // 6. Three-way; a non-zero case flag compares ASCII letters without case.
  virtual Result CompareStrings(std::uint32_t /*caseFlag*/, std::uint32_t /*a*/, std::uint32_t /*b*/) { return kFail; }
  // 7. The stored string is the first operand.
  virtual Result CompareStringWithText(std::uint32_t /*caseFlag*/, std::uint32_t /*identifier*/, const void* /*text*/,
                                       std::uint32_t /*length*/) {
    return kFail;
  }
  // 8. Only the last string can go (kStringHeapNotLast otherwise); an
  //    identifier at or past the end does nothing.
  virtual Result RemoveString(std::uint32_t /*identifier*/) { return kFail; }
  // 9. Cuts the heap at an offset below its end.
  virtual Result TruncateHeap(std::uint32_t /*offset*/) { return kFail; }
  virtual Result ReservedLast() { return kFail; }

  StringHeapService() = default;
};

class StringHeap : public StringHeapService {
 public:
  // Both sides of a comparison are consumed in pieces of this size.
  static constexpr std::uint32_t kPieceBytes = 512;

  Result Close() override;
  Result AppendString(const void* text, std::uint32_t length, std::uint32_t* identifier) override;
  Result ReadString(std::uint32_t identifier, std::uint32_t* length, void* buffer, std::uint32_t capacity) override;
  Result UndoLastAppend() override;
  Result CompareStrings(std::uint32_t caseFlag, std::uint32_t a, std::uint32_t b) override;
  Result CompareStringWithText(std::uint32_t caseFlag, std::uint32_t identifier, const void* text,
                               std::uint32_t length) override;
  Result RemoveString(std::uint32_t identifier) override;
  Result TruncateHeap(std::uint32_t offset) override;

  std::uint32_t endOffset() const { return end_; }
  std::uint32_t streamIdentifier() const { return identifier_; }

  // Made only by StringHeapService.
  StringHeap() = default;
  ~StringHeap() = default;

 private:
  friend class StringHeapService;

  Result StoredLength(std::uint32_t identifier, std::uint32_t* length);
  Result Cut(std::uint32_t offset);

  BlockStore* store_ = nullptr;
  BlockStream* stream_ = nullptr;
  std::uint32_t identifier_ = 0;
  std::uint32_t end_ = 0;
  std::uint32_t last_ = 0;
  unsigned char pieces_[2][kPieceBytes] = {};
};

inline StringHeapService* StringHeaps() { return Service<StringHeapService>(Slot::kStringHeap); }

}  // namespace sfx
