// Opens a stream tree over arbitrary stream bytes and runs lookups,
// insertions, removals and a full slot scan on it; then, from the same
// input read as operations, drives a fresh tree against a std::map model.
//
// Input: byte 0 chooses the mode (even: the rest is the stream; odd: the
// rest is a list of operations, two bytes each).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>

#include "services/core/memory_stream.h"
#include "services/core/service.h"
#include "services/data/stream_tree.h"

namespace {

using namespace sfx;

void Check(bool condition) {
  if (!condition) std::abort();
}

Result CompareU32(void*, const void* search, const void* stored) {
  std::uint32_t a, b;
  std::memcpy(&a, search, 4);
  std::memcpy(&b, stored, 4);
  return a == b ? 0 : a < b ? 2 : 3;
}

Stream* StreamWith(const std::uint8_t* data, std::size_t size) {
  Stream* s = nullptr;
  if (Failed(MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, kMemoryStreamWritable, &s))) return nullptr;
  if (size) (void)s->Write(data, static_cast<std::uint32_t>(size), nullptr);
  return s;
}

void HostileStream(const std::uint8_t* data, std::size_t size) {
  Stream* s = StreamWith(data, size);
  if (!s) return;
  StreamTree* t = nullptr;
  if (Succeeded(StreamTrees()->OpenTree(s, CompareU32, nullptr, &t))) {
    unsigned char key[64] = {}, value[64] = {};
    const bool small = t->keySize() <= 64 && t->valueSize() <= 64;
    for (std::uint32_t i = 0; i < t->nodeCount() && i < 256; ++i)
      (void)t->ReadNode(i, nullptr, nullptr, nullptr, small ? key : nullptr, small ? value : nullptr);
    if (small && t->keySize() >= 4) {
      for (std::uint32_t k = 0; k < 8; ++k) {
        std::memcpy(key, &k, 4);
        (void)t->Find(key, value, nullptr);
        (void)t->Insert(key, value, nullptr);
        if (k % 3 == 0) (void)t->Remove(key);
        (void)t->WriteValue(key, 0, value);
      }
    }
    (void)t->Close();
  }
  (void)s->Close();
}

void Operations(const std::uint8_t* data, std::size_t size) {
  Stream* s = StreamWith(nullptr, 0);
  if (!s) return;
  StreamTree* t = nullptr;
  Check(StreamTrees()->CreateTree(s, 4, 4, CompareU32, nullptr, &t) == kOk);
  std::map<std::uint32_t, std::uint32_t> model;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    const std::uint32_t key = data[i + 1];
    const std::uint32_t value = static_cast<std::uint32_t>(i);
    switch (data[i] % 4) {
      case 0:
      case 1: {
        const Result r = t->Insert(&key, &value, nullptr);
        Check(r == (model.count(key) ? kTreeKeyExists : kOk));
        model.emplace(key, value);
        break;
      }
      case 2: Check(t->Remove(&key) == (model.erase(key) ? kOk : kTreeNotFound)); break;
      default: {
        std::uint32_t got = 0;
        const Result r = t->Find(&key, &got, nullptr);
        Check(r == (model.count(key) ? kOk : kTreeNotFound));
        if (r == kOk) Check(got == model[key]);
        Check(t->Close() == kOk);
        Check(StreamTrees()->OpenTree(s, CompareU32, nullptr, &t) == kOk);
      }
    }
  }
  (void)t->Close();
  (void)s->Close();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool registered = ((void)sfx::RegisterCoreServices(), true);
  (void)registered;
  if (size < 1 || size > 100000) return 0;
  if (data[0] % 2 == 0) {
    HostileStream(data + 1, size - 1);
  } else {
    Operations(data + 1, size > 2001 ? 2000 : size - 1);
  }
  return 0;
}
