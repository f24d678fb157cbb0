#include "services/data/cross_reference.h"

#include "services/core/file_system.h"
#include "services/core/memory_service.h"
#include "services/core/registry_p.h"
#include "services/data/block_store.h"
#include "services/data/block_stream.h"
#include "services/data/stream_tree.h"

namespace sfx {
namespace {

CrossReferenceService g_crossReferenceService;

constexpr std::uint32_t kNone = 0xFFFFFFFFu;
constexpr std::uint32_t kNameLengthBytes = 2;
constexpr std::uint32_t kKeyBytes = 4;
constexpr std::uint32_t kRecordBytes = kRecordWords * 4;
constexpr std::uint32_t kLinkBytes = kLinkWords * 4;
constexpr std::uint32_t kAnchorValueBytes = 4;
constexpr std::uint32_t kPieceBytes = 512;

// Record words.
enum : std::uint32_t {
  kAnchorStream = 0,
  kAnchorCount = 1,
  kFirstOutgoing = 2,
  kOutgoingCount = 3,
  kFirstIncoming = 4,
  kIncomingCount = 5,
  kCallerValue = 6,
  kTargetValue = 7,
};
// Link words.
enum : std::uint32_t {
  kTargetName = 0,
  kAnchorName = 1,
  kNextIncoming = 2,
  kStatusWord = 5,
  kResolvedValue = 6,
};

// A name as the trees are searched with it: a name offset (the stored key
// layout, first) or a text. Stored keys are only ever offsets.
struct NameKey {
  std::uint32_t offset;
  std::uint32_t isText;
  const void* text;
  std::uint32_t length;
};

std::uint32_t LoadU32(const unsigned char* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}
void StoreU32(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}
void LoadWords(const unsigned char* bytes, std::uint32_t* words, std::uint32_t n) {
  for (std::uint32_t i = 0; i < n; ++i) words[i] = LoadU32(bytes + 4 * i);
}
void StoreWords(unsigned char* bytes, const std::uint32_t* words, std::uint32_t n) {
  for (std::uint32_t i = 0; i < n; ++i) StoreU32(bytes + 4 * i, words[i]);
}

Result ReadFully(Stream* s, std::uint32_t position, void* buffer, std::uint32_t count) {
  std::uint32_t done = 0;
  if (Failed(s->ReadAt(position, buffer, count, &done)) || done != count) return kFail;
  return kOk;
}
Result WriteFully(Stream* s, std::uint32_t position, const void* buffer, std::uint32_t count) {
  std::uint32_t done = 0;
  if (Failed(s->WriteAt(position, buffer, count, &done)) || done != count) return kFail;
  return kOk;
}

// The length of the name at an offset; the whole name must lie before the
// end of the names (offsets come from stored records).
Result NameLength(Stream* names, std::uint32_t end, std::uint32_t offset, std::uint32_t* length) {
  if (offset >= end || end - offset < kNameLengthBytes) return kFail;
  unsigned char b[kNameLengthBytes];
  SFX_TRY(ReadFully(names, offset, b, kNameLengthBytes));
  const std::uint32_t n = b[0] | std::uint32_t{b[1]} << 8;
  if (n > end - offset - kNameLengthBytes) return kFail;
  *length = n;
  return kOk;
}

}  // namespace

ServiceObject* detail::TheCrossReferenceService() { return &g_crossReferenceService; }

// ---- names ----------------------------------------------------------------------------

Result CrossReferenceTable::CompareNames(void* context, const void* searchKey, const void* storedKey) {
  auto* t = static_cast<CrossReferenceTable*>(context);
  const auto* s = static_cast<const NameKey*>(searchKey);
  const std::uint32_t stored = LoadU32(static_cast<const unsigned char*>(storedKey));
  if (!s->isText && s->offset == stored) return 0;
  std::uint32_t storedLeft = 0, searchLeft = 0;
  SFX_TRY(NameLength(t->names_, t->nameEnd_, stored, &storedLeft));
  std::uint32_t storedAt = stored + kNameLengthBytes, searchAt = 0;
  const unsigned char* text = static_cast<const unsigned char*>(s->text);
  if (s->isText) {
    searchLeft = s->length;
  } else {
    SFX_TRY(NameLength(t->names_, t->nameEnd_, s->offset, &searchLeft));
    searchAt = s->offset + kNameLengthBytes;
  }
  while (searchLeft > 0 && storedLeft > 0) {
    std::uint32_t n = searchLeft < storedLeft ? searchLeft : storedLeft;
    if (n > kPieceBytes) n = kPieceBytes;
    const void* a = text;
    if (!s->isText) {
      SFX_TRY(ReadFully(t->names_, searchAt, t->pieces_[0], n));
      a = t->pieces_[0];
      searchAt += n;
    } else {
      text += n;
    }
    SFX_TRY(ReadFully(t->names_, storedAt, t->pieces_[1], n));
    storedAt += n;
    const Result r = Memory()->Compare(a, n, t->pieces_[1], n);
    if (r != 0) return r;
    searchLeft -= n;
    storedLeft -= n;
  }
  return searchLeft == storedLeft ? 0 : searchLeft > 0 ? 3 : 2;
}

// Appends at the end; a caller that refuses the name takes it back by
// resetting the end to the returned offset.
Result CrossReferenceTable::AppendName(const void* name, std::uint32_t length, std::uint32_t* offset) {
  if (length > kCrossReferenceMaxName || std::uint64_t{nameEnd_} + kNameLengthBytes + length > 0xFFFFFFFFu)
    return kFail;
  const unsigned char b[kNameLengthBytes] = {static_cast<unsigned char>(length),
                                             static_cast<unsigned char>(length >> 8)};
  SFX_TRY(WriteFully(names_, nameEnd_, b, kNameLengthBytes));
  if (length > 0) SFX_TRY(WriteFully(names_, nameEnd_ + kNameLengthBytes, name, length));
  *offset = nameEnd_;
  nameEnd_ += kNameLengthBytes + length;
  return kOk;
}

Result CrossReferenceTable::ReadRecord(std::uint32_t node, std::uint32_t* words) {
  unsigned char b[kRecordBytes];
  const Result r = recordTree_->ReadNode(node, nullptr, nullptr, nullptr, nullptr, b);
  if (r != kOk) return kFail;
  LoadWords(b, words, kRecordWords);
  return kOk;
}

Result CrossReferenceTable::WriteRecord(std::uint32_t node, const std::uint32_t* words) {
  unsigned char b[kRecordBytes];
  StoreWords(b, words, kRecordWords);
  return recordTree_->WriteValue(nullptr, node, b) == kOk ? kOk : kFail;
}

// ---- create and close ----------------------------------------------------------------------

Result CrossReferenceService::CreateCrossReferenceTable(CrossReferenceTable** table) {
  CrossReferenceTable* t = nullptr;
  SFX_TRY(NewInstance(&t));
  Result r = BlockStores()->OpenBlockStoreFile(nullptr, 0, kOpenTemporary, 0, &t->store_);
  if (Failed(r)) {
    (void)DeleteInstance(t);
    return r;
  }
  r = t->store_->CreateBlockStream(&t->recordStreamId_, &t->recordStream_);
  if (Succeeded(r))
    r = StreamTrees()->CreateTree(t->recordStream_, kKeyBytes, kRecordBytes, CrossReferenceTable::CompareNames, t,
                                  &t->recordTree_);
  if (Succeeded(r)) r = t->store_->CreateBlockStream(&t->namesId_, &t->names_);
  if (Succeeded(r)) r = t->store_->CreateBlockStream(&t->linkStreamId_, &t->linkStream_);
  if (Failed(r)) {
    (void)t->Close();  // closes what was made, the temporary file last
    return r;
  }
  *table = t;
  return kOk;
}

Result CrossReferenceTable::CloseAnchors() {
  Result r = kOk;
  if (anchorTree_) r = anchorTree_->Close();
  anchorTree_ = nullptr;
  if (anchorStream_) {
    const Result s = anchorStream_->Close();
    if (Succeeded(r)) r = s;
  }
  anchorStream_ = nullptr;
  return r;
}

Result CrossReferenceTable::Close() {
  Result last = kOk;
  const auto note = [&last](Result r) {
    if (Failed(r)) last = r;
  };
  note(CloseAnchors());
  if (linkStream_) note(linkStream_->Close());
  if (names_) note(names_->Close());
  if (recordTree_) note(recordTree_->Close());
  if (recordStream_) note(recordStream_->Close());
  if (store_) note(store_->Close());
  (void)DeleteInstance(this);
  return last;
}

// ---- records, anchors and links ------------------------------------------------------------

Result CrossReferenceTable::AddRecord(const void* name, std::uint32_t length, std::uint32_t value,
                                      std::uint32_t* node) {
  NameKey key{0, 0, nullptr, 0};
  SFX_TRY(AppendName(name, length, &key.offset));
  const std::uint32_t words[kRecordWords] = {0, 0, kNone, 0, kNone, 0, value, kNone};
  unsigned char b[kRecordBytes];
  StoreWords(b, words, kRecordWords);
  const Result r = recordTree_->Insert(&key, b, node);
  if (Failed(r)) {
    nameEnd_ = key.offset;
    return r == kTreeKeyExists ? kCrossReferenceNameExists : r;
  }
  ++records_;
  return kOk;
}

Result CrossReferenceTable::GetRecordAt(std::uint32_t* cursor, void* name, std::uint32_t* length,
                                        std::uint32_t* value) {
  if (*cursor >= records_) return kCrossReferenceEnumerationDone;
  unsigned char key[kKeyBytes];
  unsigned char b[kRecordBytes];
  if (recordTree_->ReadNode(*cursor, nullptr, nullptr, nullptr, key, b) != kOk) return kFail;
  std::uint32_t n = 0;
  SFX_TRY(NameLength(names_, nameEnd_, LoadU32(key), &n));
  const std::uint32_t capacity = length ? *length : 0;
  const std::uint32_t copy = n < capacity ? n : capacity;
  if (name && copy > 0) SFX_TRY(ReadFully(names_, LoadU32(key) + kNameLengthBytes, name, copy));
  if (length) *length = n;
  if (value) *value = LoadU32(b + 4 * kCallerValue);
  ++*cursor;
  return kOk;
}

Result CrossReferenceTable::NextRecord(void* name, std::uint32_t* length, std::uint32_t* value) {
  return GetRecordAt(&cursor_, name, length, value);
}

Result CrossReferenceTable::BeginRecord(std::uint32_t node, std::uint32_t target) {
  if (node >= records_) return kFail;
  if (openNode_ != kNone || anchorTree_ || anchorStream_) return kCrossReferenceRecordOpen;
  std::uint32_t words[kRecordWords];
  SFX_TRY(ReadRecord(node, words));
  openNode_ = node;
  openTarget_ = target;
  openValue_ = words[kCallerValue];
  anchorStreamId_ = 0;
  anchors_ = 0;
  firstLink_ = links_;
  linksAdded_ = 0;
  return kOk;
}

Result CrossReferenceTable::EndRecord() {
  if (openNode_ == kNone) return kFail;
  SFX_TRY(CloseAnchors());
  std::uint32_t words[kRecordWords];
  SFX_TRY(ReadRecord(openNode_, words));
  if (anchorStreamId_ != 0) {
    words[kAnchorStream] = anchorStreamId_;
    words[kAnchorCount] = anchors_;
  }
  words[kFirstOutgoing] = firstLink_;
  words[kOutgoingCount] = linksAdded_;
  words[kTargetValue] = openTarget_;
  SFX_TRY(WriteRecord(openNode_, words));
  openNode_ = kNone;
  anchorStreamId_ = 0;
  return kOk;
}

Result CrossReferenceTable::AddAnchor(const void* name, std::uint32_t length, std::uint32_t value,
                                      std::uint32_t* node) {
  if (openNode_ == kNone) return kFail;
  if (!anchorTree_) {
    SFX_TRY(store_->CreateBlockStream(&anchorStreamId_, &anchorStream_));
    const Result r = StreamTrees()->CreateTree(anchorStream_, kKeyBytes, kAnchorValueBytes,
                                               CrossReferenceTable::CompareNames, this, &anchorTree_);
    if (Failed(r)) {
      (void)anchorStream_->Close();
      (void)store_->DeleteBlockStream(anchorStreamId_);
      anchorStream_ = nullptr;
      anchorStreamId_ = 0;
      return r;
    }
  }
  NameKey key{0, 0, nullptr, 0};
  SFX_TRY(AppendName(name, length, &key.offset));
  unsigned char b[kAnchorValueBytes];
  StoreU32(b, value);
  const Result r = anchorTree_->Insert(&key, b, node);
  if (Failed(r)) {
    nameEnd_ = key.offset;
    return r == kTreeKeyExists ? kCrossReferenceNameExists : r;
  }
  ++anchors_;
  return kOk;
}

Result CrossReferenceTable::AddLink(const void* target, std::uint32_t targetLength, const void* anchor,
                                    std::uint32_t anchorLength, std::uint32_t value3, std::uint32_t value4,
                                    std::uint32_t value5) {
  if (openNode_ == kNone) return kFail;
  if (targetLength > kCrossReferenceMaxName || (anchor && anchorLength > kCrossReferenceMaxName)) return kFail;
  const std::uint32_t index = links_;
  if (std::uint64_t{index + 1ull} * kLinkBytes > 0xFFFFFFFFu) return kFail;
  const NameKey search{0, 1, target, targetLength};
  unsigned char b[kRecordBytes];
  std::uint32_t node = 0;
  const Result found = recordTree_->Find(&search, b, &node);
  if (Failed(found)) return found;
  std::uint32_t targetName = 0, next = kNone;
  if (found == kTreeNotFound) {
    // A name defined later, if at all: a placeholder record for now.
    SFX_TRY(AppendName(target, targetLength, &targetName));
    const std::uint32_t words[kRecordWords] = {0, 0, kNone, 0, index, 1, openValue_ + 1, kNone};
    StoreWords(b, words, kRecordWords);
    const NameKey key{targetName, 0, nullptr, 0};
    const Result r = recordTree_->Insert(&key, b, nullptr);
    if (Failed(r)) {
      nameEnd_ = targetName;
      return r;
    }
    ++records_;
  } else {
    unsigned char key[kKeyBytes];
    if (recordTree_->ReadNode(node, nullptr, nullptr, nullptr, key, nullptr) != kOk) return kFail;
    targetName = LoadU32(key);
    std::uint32_t words[kRecordWords];
    LoadWords(b, words, kRecordWords);
    next = words[kFirstIncoming];
    words[kFirstIncoming] = index;
    ++words[kIncomingCount];
    SFX_TRY(WriteRecord(node, words));
  }
  std::uint32_t anchorName = kNone;
  if (anchor) SFX_TRY(AppendName(anchor, anchorLength, &anchorName));
  const std::uint32_t link[kLinkWords] = {targetName, anchorName, next, value3, value4, value5, kNone};
  unsigned char lb[kLinkBytes];
  StoreWords(lb, link, kLinkWords);
  SFX_TRY(WriteFully(linkStream_, index * kLinkBytes, lb, kLinkBytes));
  ++links_;
  ++linksAdded_;
  return kOk;
}

Result CrossReferenceTable::ReadLink(std::uint32_t index, std::uint32_t* words) {
  if (index >= links_) return kFail;
  unsigned char b[kLinkBytes];
  SFX_TRY(ReadFully(linkStream_, index * kLinkBytes, b, kLinkBytes));
  LoadWords(b, words, kLinkWords);
  return kOk;
}

// ---- resolution ----------------------------------------------------------------------------

Result CrossReferenceTable::ResolveIncoming(const std::uint32_t* record) {
  BlockStream* stream = nullptr;
  StreamTree* tree = nullptr;
  bool opened = false;
  Result result = kOk;
  std::uint32_t index = record[kFirstIncoming];
  for (std::uint32_t n = 0; n < record[kIncomingCount] && Succeeded(result); ++n) {
    std::uint32_t link[kLinkWords];
    result = ReadLink(index, link);  // also refuses a chain leading past the last link
    if (Failed(result)) break;
    std::uint32_t status = kLinkFellBack;
    std::uint32_t value = record[kTargetValue];
    if (link[kAnchorName] == kNone) {
      // A target never built (a placeholder, or a record never begun) has no
      // value to resolve to: such a link only falls back.
      if (record[kFirstOutgoing] != kNone) status |= kLinkResolved;
    } else if (record[kAnchorCount] != 0) {
      if (!opened) {
        opened = true;
        if (Succeeded(store_->OpenBlockStream(record[kAnchorStream], &stream)) &&
            Failed(StreamTrees()->OpenTree(stream, CompareNames, this, &tree)))
          tree = nullptr;
      }
      unsigned char anchorValue[kAnchorValueBytes];
      const NameKey key{link[kAnchorName], 0, nullptr, 0};
      if (tree && tree->Find(&key, anchorValue, nullptr) == kOk) {
        status = kLinkResolved;
        value = LoadU32(anchorValue);
      }
    }
    link[kStatusWord] |= status;
    link[kResolvedValue] = value;
    unsigned char b[kLinkBytes];
    StoreWords(b, link, kLinkWords);
    result = WriteFully(linkStream_, index * kLinkBytes, b, kLinkBytes);
    index = link[kNextIncoming];
  }
  if (tree) (void)tree->Close();  // read only: the header it writes back is unchanged
  if (stream) (void)stream->Close();
  return result;
}

Result CrossReferenceTable::ResolveLinks(CrossReferenceProgress* progress) {
  for (std::uint32_t i = 0; i < records_; ++i) {
    if (progress && progress->Step(kCrossReferenceProgressCode, &i, &records_) == kCrossReferenceStopped)
      return kCrossReferenceStopped;
    std::uint32_t words[kRecordWords];
    if (Failed(ReadRecord(i, words))) return kFail;
    if (words[kIncomingCount] > 0 && Failed(ResolveIncoming(words))) return kFail;
  }
  return kOk;
}

}  // namespace sfx
