// A scratch table of named records, named anchors inside records and links
// from the record being built to a record name and, optionally, an anchor
// name; a final pass resolves every link to the value of its target anchor or
// record. Everything lives in a block store on a temporary file.
//
// Inner streams: the record tree (4-byte name offsets -> 32-byte records,
// ordered by name), the name stream (u16 length + bytes per name), the link
// stream (28-byte link records, link i at 28 * i) and one anchor tree per
// record that has anchors (name offsets -> 4-byte values).
//
//   record word  0 anchor stream (0 none)  1 anchors  2 first outgoing link (-1)
//                3 outgoing links  4 first incoming link (-1), newest first
//                5 incoming links  6 caller's value  7 target value (-1 until built)
//   link word    0 target record name  1 target anchor name (-1 none)
//                2 next incoming link of the same target (-1 end)  3, 4 caller's
//                5 caller's; its low byte receives the status bits  6 resolved value (-1)
#pragma once

#include <cstdint>

#include "services/core/service.h"

namespace sfx {

inline constexpr Result kCrossReferenceEnumerationDone = 5;
inline constexpr Result kCrossReferenceNameExists = FailureCode(facility::kCrossReference, 0x0001);
inline constexpr Result kCrossReferenceRecordOpen = FailureCode(facility::kCrossReference, 0x0002);
inline constexpr Result kCrossReferenceStopped = FailureCode(facility::kGeneral, 0x0001);  // 0x80000001

// Status bits ORed into a link's word 5.
inline constexpr std::uint32_t kLinkResolved = 1;
inline constexpr std::uint32_t kLinkFellBack = 2;  // took the record's target value

inline constexpr std::uint32_t kCrossReferenceProgressCode = 0x150001;
inline constexpr std::uint32_t kCrossReferenceMaxName = 32000;
inline constexpr std::uint32_t kRecordWords = 8;
inline constexpr std::uint32_t kLinkWords = 7;

// Receives ResolveLinks' progress through its operation 2; returning
// kCrossReferenceStopped ends the pass.
class CrossReferenceProgress : public ServiceObject {
 public:
  virtual Result Notify(std::uint32_t /*code*/, void* /*data*/) { return kOk; }                         // 1
  virtual Result Step(std::uint32_t code, const std::uint32_t* index, const std::uint32_t* count) = 0;  // 2
  virtual Result ReservedLast() { return kFail; }

 protected:
  CrossReferenceProgress() = default;
  ~CrossReferenceProgress() = default;
};

class BlockStore;
class BlockStream;
class StreamTree;
class CrossReferenceTable;

// The service and its tables share one table: slot 1 is called on the
// service, the others on a table.
class CrossReferenceService : public ServiceObject {
 public:
  // 1.
  virtual Result CreateCrossReferenceTable(CrossReferenceTable** table);
  // 2. Closes everything, the temporary file last.
  virtual Result Close() { return kFail; }
  // 3. kCrossReferenceNameExists (the existing node in *node) for a name
  //    that is already a record or a placeholder.
  virtual Result AddRecord(const void* /*name*/, std::uint32_t /*length*/, std::uint32_t /*value*/,
                           std::uint32_t* /*node*/) {
    return kFail;
  }
  // 4. Enumerates node indexes (records and placeholders) from *cursor;
  //    kCrossReferenceEnumerationDone at the end.
  virtual Result GetRecordAt(std::uint32_t* /*cursor*/, void* /*name*/, std::uint32_t* /*length*/,
                             std::uint32_t* /*value*/) {
    return kFail;
  }
  // 5. The same with the table's own cursor.
  virtual Result NextRecord(void* /*name*/, std::uint32_t* /*length*/, std::uint32_t* /*value*/) { return kFail; }
  // 6.
  virtual Result BeginRecord(std::uint32_t /*node*/, std::uint32_t /*target*/) { return kFail; }
  // 7.
  virtual Result EndRecord() { return kFail; }
  // 8.
  virtual Result AddAnchor(const void* /*name*/, std::uint32_t /*length*/, std::uint32_t /*value*/,
                           std::uint32_t* /*node*/) {
    return kFail;
  }
  // 9. A target name that is no record yet gets a placeholder record.
  virtual Result AddLink(const void* /*target*/, std::uint32_t /*targetLength*/, const void* /*anchor*/,
                         std::uint32_t /*anchorLength*/, std::uint32_t /*value3*/, std::uint32_t /*value4*/,
                         std::uint32_t /*value5*/) {
    return kFail;
  }
  // 10. progress may be null.
  virtual Result ResolveLinks(CrossReferenceProgress* /*progress*/) { return kFail; }
  // 11. The seven words of link `index` (kFail beyond the last link): how
  //     callers read the resolved values and status bits.
  virtual Result ReadLink(std::uint32_t /*index*/, std::uint32_t* /*words*/) { return kFail; }
  virtual Result ReservedLast() { return kFail; }

  CrossReferenceService() = default;
};

class CrossReferenceTable : public CrossReferenceService {
 public:
  Result Close() override;
  Result AddRecord(const void* name, std::uint32_t length, std::uint32_t value, std::uint32_t* node) override;
  Result GetRecordAt(std::uint32_t* cursor, void* name, std::uint32_t* length, std::uint32_t* value) override;
  Result NextRecord(void* name, std::uint32_t* length, std::uint32_t* value) override;
  Result BeginRecord(std::uint32_t node, std::uint32_t target) override;
  Result EndRecord() override;
  Result AddAnchor(const void* name, std::uint32_t length, std::uint32_t value, std::uint32_t* node) override;
  Result AddLink(const void* target, std::uint32_t targetLength, const void* anchor, std::uint32_t anchorLength,
                 std::uint32_t value3, std::uint32_t value4, std::uint32_t value5) override;
  Result ResolveLinks(CrossReferenceProgress* progress) override;
  Result ReadLink(std::uint32_t index, std::uint32_t* words) override;

  std::uint32_t recordCount() const { return records_; }
  std::uint32_t linkCount() const { return links_; }
  std::uint32_t nameEnd() const { return nameEnd_; }

  // Made only by CrossReferenceService.
  CrossReferenceTable() = default;
  ~CrossReferenceTable() = default;

 private:
  friend class CrossReferenceService;
  static Result CompareNames(void* context, const void* searchKey, const void* storedKey);
  Result AppendName(const void* name, std::uint32_t length, std::uint32_t* offset);
  Result ReadRecord(std::uint32_t node, std::uint32_t* words);
  Result WriteRecord(std::uint32_t node, const std::uint32_t* words);
  Result CloseAnchors();
  Result ResolveIncoming(const std::uint32_t* record);

  BlockStore* store_ = nullptr;
  std::uint32_t cursor_ = 0;
  BlockStream* recordStream_ = nullptr;
  std::uint32_t recordStreamId_ = 0;
  StreamTree* recordTree_ = nullptr;
  std::uint32_t records_ = 0;  // node indexes in use: records and placeholders
  BlockStream* names_ = nullptr;
  std::uint32_t namesId_ = 0;
  std::uint32_t nameEnd_ = 0;
  BlockStream* linkStream_ = nullptr;
  std::uint32_t linkStreamId_ = 0;
  std::uint32_t links_ = 0;
  // The record being built.
  std::uint32_t openNode_ = 0xFFFFFFFFu;
  std::uint32_t openTarget_ = 0;
  std::uint32_t openValue_ = 0;
  BlockStream* anchorStream_ = nullptr;
  std::uint32_t anchorStreamId_ = 0;
  StreamTree* anchorTree_ = nullptr;
  std::uint32_t anchors_ = 0;
  std::uint32_t firstLink_ = 0;
  std::uint32_t linksAdded_ = 0;
  unsigned char pieces_[2][512] = {};
};

inline CrossReferenceService* CrossReferences() { return Service<CrossReferenceService>(Slot::kCrossReference); }

}  // namespace sfx
