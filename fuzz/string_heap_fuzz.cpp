// Drives a string heap with operations from the input against a model (a
// list of strings), in a block store opened from the first part of the input,
// so the heap's blocks may come from a damaged free list.
//
// Input: a u16 length n, n bytes of backing stream (an empty store when n is
// 0), then operations, one byte each.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "services/core/memory_stream.h"
#include "services/core/service.h"
#include "services/data/block_store.h"
#include "services/data/string_heap.h"

namespace {

using namespace sfx;

void Check(bool condition) {
  if (!condition) std::abort();
}

void Run(StringHeap* heap, const std::uint8_t* ops, std::size_t count) {
  std::vector<std::pair<std::uint32_t, std::string>> model;
  bool lastAlive = false;
  bool healthy = true;  // false after a failed write: the model no longer applies
  for (std::size_t i = 0; i < count && healthy; ++i) {
    const std::uint8_t op = ops[i];
    switch (op & 7) {
      case 0:
      case 1:
      case 2: {
        const std::string s(static_cast<std::size_t>(op >> 3) * 37, static_cast<char>('a' + (op & 3)));
        std::uint32_t id = 0;
        if (Failed(heap->AppendString(s.data(), static_cast<std::uint32_t>(s.size()), &id))) {
          healthy = false;
          break;
        }
        model.emplace_back(id, s);
        lastAlive = true;
        break;
      }
      case 3:
        if (Failed(heap->UndoLastAppend())) healthy = false;
        if (lastAlive) model.pop_back();
        lastAlive = false;
        break;
      case 4:
        if (!model.empty()) {
          const std::size_t k = (op >> 3) % model.size();
          if (Failed(heap->TruncateHeap(model[k].first))) healthy = false;
          model.resize(k);
          lastAlive = false;
        }
        break;
      case 5:
        if (!model.empty()) {
          const std::size_t k = (op >> 3) % model.size();
          const Result r = heap->RemoveString(model[k].first);
          if (k + 1 == model.size()) {
            if (Failed(r)) healthy = false;
            model.pop_back();
            lastAlive = false;
          } else {
            Check(r == kStringHeapNotLast || r == kFail);
          }
        }
        break;
      default:
        if (!model.empty()) {
          const auto& a = model[(op >> 3) % model.size()];
          const auto& b = model.back();
          const Result r = heap->CompareStrings(op & 1, a.first, b.first);
          if (Failed(r)) {
            healthy = false;
            break;
          }
          Check(r == (a.second == b.second ? 0 : a.second < b.second ? 2 : 3));
          std::string got(a.second.size(), '\0');
          std::uint32_t n = 0;
          if (Succeeded(heap->ReadString(a.first, &n, got.data(), static_cast<std::uint32_t>(got.size()))))
            Check(n == a.second.size() && got == a.second);
        }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool registered = ((void)sfx::RegisterCoreServices(), true);
  (void)registered;
  if (size < 2 || size > 200000) return 0;
  const std::size_t n = data[0] | std::size_t{data[1]} << 8;
  if (n > size - 2) return 0;
  Stream* backing = nullptr;
  if (Failed(MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, kMemoryStreamWritable, &backing))) return 0;
  if (n) (void)backing->Write(data + 2, static_cast<std::uint32_t>(n), nullptr);
  BlockStore* store = nullptr;
  if (Failed(BlockStores()->OpenBlockStore(backing, 512, &store))) {
    (void)backing->Close();
    return 0;
  }
  StringHeap* heap = nullptr;
  if (Succeeded(StringHeaps()->CreateStringHeap(store, &heap))) {
    Run(heap, data + 2 + n, size - 2 - n);
    (void)heap->Close();
  }
  (void)store->Close();
  return 0;
}
