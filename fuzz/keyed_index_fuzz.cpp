// Opens keyed indexes over every inner stream of a block store made from
// arbitrary backing bytes, with a string heap of a few keys, and runs
// lookups, reads, insertions and removals on them; then drives a fresh index
// with operations from the input against a std::map model.
//
// Input: byte 0 chooses the mode (even: the rest is the backing stream; odd:
// the rest is operations, one byte each).
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "services/core/memory_stream.h"
#include "services/core/service.h"
#include "services/data/block_store.h"
#include "services/data/keyed_index.h"
#include "services/data/stream_tree.h"
#include "services/data/string_heap.h"

namespace {

using namespace sfx;

void Check(bool condition) {
  if (!condition) std::abort();
}

BlockStore* StoreWith(const std::uint8_t* data, std::size_t size) {
  Stream* backing = nullptr;
  if (Failed(MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, kMemoryStreamWritable, &backing))) return nullptr;
  if (size) (void)backing->Write(data, static_cast<std::uint32_t>(size), nullptr);
  BlockStore* store = nullptr;
  if (Failed(BlockStores()->OpenBlockStore(backing, 512, &store))) {
    (void)backing->Close();
    return nullptr;
  }
  return store;
}

void Hostile(const std::uint8_t* data, std::size_t size) {
  BlockStore* store = StoreWith(data, size);
  if (!store) return;
  StringHeap* heap = nullptr;
  if (Succeeded(StringHeaps()->CreateStringHeap(store, &heap))) {
    std::uint32_t sid = 0;
    (void)heap->AppendString("alpha", 5, &sid);
    (void)heap->AppendString("Beta", 4, &sid);
    const std::uint32_t blocks = store->blockCount() < 40 ? store->blockCount() : 40;
    for (std::uint32_t id = 0; id < blocks; ++id) {
      KeyedIndex* index = nullptr;
      if (Failed(KeyedIndexes()->OpenIndex(id & 1, store, 4, heap, id, &index))) continue;
      std::uint32_t value = 0, key = 0, node = 0;
      (void)index->FindEntry("alpha", 5, &value, &node);
      (void)index->FindEntry(nullptr, id, &value, nullptr);
      for (std::uint32_t n = 0; n < 16; ++n) {
        (void)index->ReadEntry(n, &key, &value);
        (void)index->WriteEntryValue(n, &value);
      }
      (void)index->InsertEntry("gamma", 5, &value, &node);
      (void)index->RemoveEntry(node);
      (void)index->RemoveEntry(id);
      (void)index->Close();
    }
    (void)heap->Close();
  }
  (void)store->Close();
}

void Operations(const std::uint8_t* data, std::size_t size) {
  BlockStore* store = StoreWith(nullptr, 0);
  if (!store) return;
  StringHeap* heap = nullptr;
  KeyedIndex* index = nullptr;
  std::uint32_t id = 0;
  const std::uint32_t caseFlag = size % 2;
  Check(StringHeaps()->CreateStringHeap(store, &heap) == kOk);
  Check(KeyedIndexes()->CreateIndex(caseFlag, store, 4, heap, &id, &index) == kOk);
  std::map<std::string, std::uint32_t> model;
  std::vector<std::string> order;
  const auto norm = [&](std::string s) {
    if (caseFlag)
      for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  for (std::size_t i = 0; i < size; ++i) {
    const std::string key(1 + (data[i] >> 5), "aBcD"[data[i] & 3]);
    switch ((data[i] >> 2) & 7) {
      case 0:
      case 1:
      case 2: {
        const std::uint32_t value = static_cast<std::uint32_t>(i);
        const bool fresh = !model.count(norm(key));
        Check(index->InsertEntry(key.data(), static_cast<std::uint32_t>(key.size()), &value, nullptr) ==
              (fresh ? kOk : kKeyedIndexKeyExists));
        if (fresh) {
          model[norm(key)] = value;
          order.push_back(norm(key));
        }
        break;
      }
      case 3:
        if (!order.empty()) {
          std::uint32_t node = 0;
          Check(index->FindEntry(order.back().data(), static_cast<std::uint32_t>(order.back().size()), nullptr,
                                 &node) == kOk);
          Check(index->RemoveEntry(node) == kOk);
          model.erase(order.back());
          order.pop_back();
        }
        break;
      case 4:
        Check(index->Close() == kOk);
        Check(KeyedIndexes()->OpenIndex(caseFlag, store, 4, heap, id, &index) == kOk);
        break;
      default: {
        std::uint32_t value = 0;
        const Result r = index->FindEntry(key.data(), static_cast<std::uint32_t>(key.size()), &value, nullptr);
        Check(r == (model.count(norm(key)) ? kOk : kTreeNotFound));
        if (r == kOk) Check(value == model[norm(key)]);
      }
    }
  }
  Check(index->Close() == kOk);
  Check(heap->Close() == kOk);
  Check(store->Close() == kOk);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool registered = ((void)sfx::RegisterCoreServices(), true);
  (void)registered;
  if (size < 1 || size > 300000) return 0;
  if (data[0] % 2 == 0) {
    Hostile(data + 1, size - 1);
  } else {
    Operations(data + 1, size > 2001 ? 2000 : size - 1);
  }
  return 0;
}
