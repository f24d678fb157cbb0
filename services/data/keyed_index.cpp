#include "services/data/keyed_index.h"

#include "services/core/memory_service.h"
#include "services/core/registry_p.h"
#include "services/data/block_store.h"
#include "services/data/block_stream.h"
#include "services/data/stream_tree.h"
#include "services/data/string_heap.h"

namespace sfx {
namespace {

KeyedIndexService g_keyedIndexService;

constexpr std::uint32_t kKeyBytes = 4;  // a string identifier

// What the tree is searched with. Its first word is the stored key layout (a
// little-endian string identifier), so Insert stores it as it stands. Whether
// it carries a text is a flag of its own: stored keys are only ever
// identifiers and are never taken for a text pointer.
struct SearchKey {
  std::uint32_t identifier;
  std::uint32_t isText;
  const void* text;
  std::uint32_t length;
};

std::uint32_t LoadU32(const void* p) {
  const auto* b = static_cast<const unsigned char*>(p);
  return std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16 | std::uint32_t{b[3]} << 24;
}

}  // namespace

ServiceObject* detail::TheKeyedIndexService() { return &g_keyedIndexService; }

Result KeyedIndex::CompareKeys(void* context, const void* searchKey, const void* storedKey) {
  auto* index = static_cast<KeyedIndex*>(context);
  const auto* s = static_cast<const SearchKey*>(searchKey);
  const std::uint32_t t = LoadU32(storedKey);
  if (!s->isText) return index->heap_->CompareStrings(index->caseFlag_, s->identifier, t);
  // The heap compares stored against text; the tree wants search against stored.
  const Result r = index->heap_->CompareStringWithText(index->caseFlag_, t, s->text, s->length);
  if (r == 2) return 3;
  if (r == 3) return 2;
  return r;
}

Result KeyedIndexService::CreateIndex(std::uint32_t caseFlag, BlockStore* store, std::uint32_t valueSize,
                                      StringHeap* heap, std::uint32_t* identifier, KeyedIndex** index) {
  KeyedIndex* x = nullptr;
  SFX_TRY(NewInstance(&x));
  x->caseFlag_ = caseFlag;
  x->store_ = store;
  x->heap_ = heap;
  Result r = store->CreateBlockStream(&x->identifier_, &x->stream_);
  if (Failed(r)) {
    (void)DeleteInstance(x);
    return r;
  }
  r = StreamTrees()->CreateTree(x->stream_, kKeyBytes, valueSize, KeyedIndex::CompareKeys, x, &x->tree_);
  if (Failed(r)) {
    // Nothing was written: the new stream goes again.
    (void)x->stream_->Close();
    (void)store->DeleteBlockStream(x->identifier_);
    (void)DeleteInstance(x);
    return r;
  }
  if (identifier) *identifier = x->identifier_;
  *index = x;
  return kOk;
}

Result KeyedIndexService::OpenIndex(std::uint32_t caseFlag, BlockStore* store, std::uint32_t valueSize,
                                    StringHeap* heap, std::uint32_t identifier, KeyedIndex** index) {
  KeyedIndex* x = nullptr;
  SFX_TRY(NewInstance(&x));
  x->caseFlag_ = caseFlag;
  x->store_ = store;
  x->heap_ = heap;
  x->identifier_ = identifier;
  Result r = store->OpenBlockStream(identifier, &x->stream_);
  if (Failed(r)) {
    (void)DeleteInstance(x);
    return r;
  }
  r = StreamTrees()->OpenTree(x->stream_, KeyedIndex::CompareKeys, x, &x->tree_);
  // The caller's buffers are sized by its value size: a tree holding other
  // values (or keys that are not identifiers) would overrun them.
  if (Succeeded(r) && (x->tree_->valueSize() != valueSize || x->tree_->keySize() != kKeyBytes)) {
    (void)x->tree_->Close();
    r = kFail;
  }
  if (Failed(r)) {
    (void)x->stream_->Close();
    (void)DeleteInstance(x);
    return r;
  }
  *index = x;
  return kOk;
}

Result KeyedIndex::Close() {
  const Result tree = tree_->Close();
  const Result stream = stream_->Close();
  (void)DeleteInstance(this);
  return Failed(tree) ? tree : Failed(stream) ? stream : kOk;
}

Result KeyedIndex::InsertEntry(const void* text, std::uint32_t length, const void* value, std::uint32_t* node) {
  SearchKey key{0, 0, nullptr, 0};
  SFX_TRY(heap_->AppendString(text, length, &key.identifier));
  const Result r = tree_->Insert(&key, value, node);
  if (Failed(r)) {
    // The text is taken back, so a refused key leaves the heap as it was.
    (void)heap_->UndoLastAppend();
    return r == kTreeKeyExists ? kKeyedIndexKeyExists : r;
  }
  return r;
}

Result KeyedIndex::FindEntry(const void* text, std::uint32_t lengthOrIdentifier, void* value, std::uint32_t* node) {
  const SearchKey key = text ? SearchKey{0, 1, text, lengthOrIdentifier} : SearchKey{lengthOrIdentifier, 0, nullptr, 0};
  return tree_->Find(&key, value, node);
}

Result KeyedIndex::ReadEntry(std::uint32_t node, void* key, void* value) {
  return tree_->ReadNode(node, nullptr, nullptr, nullptr, key, value);
}

Result KeyedIndex::WriteEntryValue(std::uint32_t node, const void* value) {
  return tree_->WriteValue(nullptr, node, value);
}

// The tree node goes first, while its key text is still there to compare
// with; the text goes after. Whether the text can go at all (only the heap's
// last string can) is settled before anything changes.
Result KeyedIndex::RemoveEntry(std::uint32_t node) {
  std::uint8_t colour = 0;
  unsigned char stored[kKeyBytes];
  const Result read = tree_->ReadNode(node, &colour, nullptr, nullptr, stored, nullptr);
  if (read != kOk) return read;
  if (colour == kTreeFreeSlot) return kTreeNotFound;
  const SearchKey key{LoadU32(stored), 0, nullptr, 0};
  std::uint32_t length = 0;
  SFX_TRY(heap_->ReadString(key.identifier, &length, nullptr, 0));
  if (std::uint64_t{key.identifier} + 2 + length != heap_->endOffset()) return kStringHeapNotLast;
  const Result removed = tree_->Remove(&key);
  if (removed != kOk) return Failed(removed) ? removed : kFail;
  return heap_->RemoveString(key.identifier);
}

}  // namespace sfx
