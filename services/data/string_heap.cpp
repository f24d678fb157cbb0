#include "services/data/string_heap.h"

#include "services/core/memory_service.h"
#include "services/core/registry_p.h"
#include "services/data/block_store.h"
#include "services/data/block_stream.h"
#include "services/text/string_service.h"

namespace sfx {
namespace {

StringHeapService g_stringHeapService;

constexpr std::uint32_t kLengthBytes = 2;  // the u16 in front of every string
constexpr std::uint64_t kMaxStreamBytes = 0xFFFFFFFFu;

// One side of a comparison: a stored string read piece by piece, or a text.
struct Side {
  Stream* stream;  // null for a text
  std::uint32_t position;
  const unsigned char* text;
  std::uint32_t left;
  unsigned char* piece;
};

Result TakePiece(Side* s, std::uint32_t n, const void** out) {
  if (s->stream) {
    std::uint32_t done = 0;
    if (Failed(s->stream->ReadAt(s->position, s->piece, n, &done)) || done != n) return kFail;
    s->position += n;
    *out = s->piece;
  } else {
    *out = s->text;
    s->text += n;
  }
  s->left -= n;
  return kOk;
}

// Equal-sized pieces until one side runs out; a proper prefix sorts first.
Result CompareSides(std::uint32_t caseFlag, Side* a, Side* b) {
  while (a->left > 0 && b->left > 0) {
    std::uint32_t n = a->left < b->left ? a->left : b->left;
    if (n > StringHeap::kPieceBytes) n = StringHeap::kPieceBytes;
    const void* pa = nullptr;
    const void* pb = nullptr;
    SFX_TRY(TakePiece(a, n, &pa));
    SFX_TRY(TakePiece(b, n, &pb));
    const Result r = caseFlag
                         ? Strings()->CompareNoCase(static_cast<const char*>(pa), n, static_cast<const char*>(pb), n)
                         : Memory()->Compare(pa, n, pb, n);
    if (r != 0) return r;
  }
  return a->left == b->left ? 0 : a->left > 0 ? 3 : 2;
}

}  // namespace

ServiceObject* detail::TheStringHeapService() { return &g_stringHeapService; }

Result StringHeapService::CreateStringHeap(BlockStore* store, StringHeap** heap) {
  StringHeap* h = nullptr;
  SFX_TRY(NewInstance(&h));
  h->store_ = store;
  const Result r = store->CreateBlockStream(&h->identifier_, &h->stream_);
  if (Failed(r)) {
    (void)DeleteInstance(h);
    return r;
  }
  *heap = h;
  return kOk;
}

Result StringHeap::Close() {
  const Result closed = stream_->Close();
  const Result deleted = store_->DeleteBlockStream(identifier_);
  (void)DeleteInstance(this);
  return Failed(deleted) ? deleted : Failed(closed) ? closed : kOk;
}

// The length of the string at an identifier; the whole string must lie
// before the end (an identifier is caller input).
Result StringHeap::StoredLength(std::uint32_t identifier, std::uint32_t* length) {
  if (identifier >= end_ || end_ - identifier < kLengthBytes) return kFail;
  unsigned char b[kLengthBytes];
  std::uint32_t done = 0;
  if (Failed(stream_->ReadAt(identifier, b, kLengthBytes, &done)) || done != kLengthBytes) return kFail;
  const std::uint32_t n = b[0] | std::uint32_t{b[1]} << 8;
  if (n > end_ - identifier - kLengthBytes) return kFail;
  *length = n;
  return kOk;
}

Result StringHeap::Cut(std::uint32_t offset) {
  if (Failed(stream_->SetSize(offset))) return kFail;
  end_ = offset;
  return kOk;
}

Result StringHeap::AppendString(const void* text, std::uint32_t length, std::uint32_t* identifier) {
  if (length > kStringHeapMaxLength || std::uint64_t{end_} + kLengthBytes + length > kMaxStreamBytes) return kFail;
  const unsigned char b[kLengthBytes] = {static_cast<unsigned char>(length), static_cast<unsigned char>(length >> 8)};
  std::uint32_t done = 0;
  if (Failed(stream_->WriteAt(end_, b, kLengthBytes, &done)) || done != kLengthBytes) return kFail;
  if (length > 0 && (Failed(stream_->Write(text, length, &done)) || done != length)) return kFail;
  last_ = end_;
  if (identifier) *identifier = end_;
  end_ += kLengthBytes + length;
  return kOk;
}

Result StringHeap::ReadString(std::uint32_t identifier, std::uint32_t* length, void* buffer, std::uint32_t capacity) {
  std::uint32_t n = 0;
  SFX_TRY(StoredLength(identifier, &n));
  if (length) *length = n;
  const std::uint32_t copy = n < capacity ? n : capacity;
  if (copy == 0) return kOk;
  std::uint32_t done = 0;
  if (Failed(stream_->Read(buffer, copy, &done)) || done != copy) return kFail;
  return kOk;
}

// After a truncation below it, the last appended string is gone already:
// growing the heap back would bring stale bytes back as a string.
Result StringHeap::UndoLastAppend() {
  if (last_ >= end_) return kOk;
  return Cut(last_);
}

Result StringHeap::CompareStrings(std::uint32_t caseFlag, std::uint32_t a, std::uint32_t b) {
  if (a == b) return 0;
  std::uint32_t la = 0, lb = 0;
  SFX_TRY(StoredLength(a, &la));
  SFX_TRY(StoredLength(b, &lb));
  Side sa{stream_, a + kLengthBytes, nullptr, la, pieces_[0]};
  Side sb{stream_, b + kLengthBytes, nullptr, lb, pieces_[1]};
  return CompareSides(caseFlag, &sa, &sb);
}

Result StringHeap::CompareStringWithText(std::uint32_t caseFlag, std::uint32_t identifier, const void* text,
                                         std::uint32_t length) {
  std::uint32_t n = 0;
  SFX_TRY(StoredLength(identifier, &n));
  Side stored{stream_, identifier + kLengthBytes, nullptr, n, pieces_[0]};
  Side given{nullptr, 0, static_cast<const unsigned char*>(text), length, nullptr};
  return CompareSides(caseFlag, &stored, &given);
}

Result StringHeap::RemoveString(std::uint32_t identifier) {
  if (identifier >= end_) return kOk;
  std::uint32_t n = 0;
  SFX_TRY(StoredLength(identifier, &n));
  if (identifier + kLengthBytes + n != end_) return kStringHeapNotLast;
  return Cut(identifier);
}

Result StringHeap::TruncateHeap(std::uint32_t offset) {
  if (offset >= end_) return kOk;
  return Cut(offset);
}

}  // namespace sfx
