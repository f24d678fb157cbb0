// Loads arbitrary stored name trees and then runs a script of operations on
// whatever loaded: look-ups and creation by path, insertion, renaming, use
// counts, removal, listing and navigation. After the script the tree must
// still be sound: its saved form loads again and saves to the same bytes.
//
// Input: byte 0 is the length n of the script at the end of the input; the
// bytes between are the stored form. The script is a series of 4-byte steps
// (operation, three arguments).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "services/core/memory_service.h"
#include "services/core/memory_stream.h"
#include "services/core/service.h"
#include "services/text/name_tree.h"

namespace {

using namespace sfx;

void Check(bool condition) {
  if (!condition) std::abort();
}

const char* const kNames[] = {"a", "b", "B", "\xE9t\xE9", "", "zz", "a b", "0123456789abcdef"};
const char16_t kWide[] = {u'\x263A', u'w', 0};

// Node arguments: most bytes name a record, 255 the top level, 254 an index
// beyond every tree.
std::uint16_t Pick(std::uint8_t v) {
  if (v == 255) return kNoNode;
  if (v == 254) return 0x7000;
  return v;
}

std::vector<std::uint8_t> SaveToBytes(NameTree* t) {
  Stream* s = nullptr;
  Check(MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, kMemoryStreamWritable, &s) == kOk);
  std::uint32_t size = 0;
  Check(t->SaveNameTree(s, 0, &size) == kOk);
  void* data = nullptr;
  std::uint32_t length = 0;
  Check(MemoryStreams()->GetMemoryBlock(s, &data, &length, nullptr) == kOk && length == size);
  std::vector<std::uint8_t> out(static_cast<std::uint8_t*>(data), static_cast<std::uint8_t*>(data) + length);
  Check(s->Close() == kOk);
  return out;
}

Result LoadFromBytes(const std::uint8_t* data, std::size_t size, NameTree** t) {
  Stream* s = nullptr;
  // A read-only stream over the caller's bytes; an empty one needs a dummy pointer.
  static std::uint8_t none;
  Check(MemoryStreams()->CreateMemoryStream(size ? const_cast<std::uint8_t*>(data) : &none,
                                            static_cast<std::uint32_t>(size), 0, kMemoryStreamCallerOwns, &s) == kOk);
  const Result r = NameTrees()->LoadNameTree(s, 0, 0xFFFFFFFFu, t);
  Check(s->Close() == kOk);
  return r;
}

void Step(NameTree* t, const std::uint8_t* op) {
  const std::uint8_t a = op[1], b = op[2], c = op[3];
  std::uint16_t node = 0, count = 0;
  switch (op[0] % 10) {
    case 0: {
      char path[64];
      std::snprintf(path, sizeof path, "/%s//%s/", kNames[a % 8], kNames[b % 8]);
      (void)t->FindNamePath(path, nullptr, 0, c & 1, c >> 1, &node);
      break;
    }
    case 1:
      if (a % 9 == 8) {
        (void)t->InsertNamedNode(nullptr, kWide, Pick(b), c, &node);
      } else {
        (void)t->InsertNamedNode(kNames[a % 9], nullptr, Pick(b), c, &node);
      }
      break;
    case 2: (void)t->RenameNode(Pick(a), kNames[b % 8], nullptr, c & 1, &node); break;
    case 3: {
      std::uint16_t* list = nullptr;
      const Result r = t->RemoveNamedNode(Pick(a), (c & 1) ? &list : nullptr);
      if (Succeeded(r) && list != nullptr) {
        for (std::uint32_t i = 1; i < list[0]; ++i) Check(list[i] < list[i + 1]);
      }
      (void)NameTrees()->FreeNameTreeBlock(list);
      break;
    }
    case 4: (void)t->AddNodeUses(Pick(a), static_cast<std::int16_t>(static_cast<std::int8_t>(b))); break;
    case 5: {
      NodeListItem* items = nullptr;
      if (Succeeded(t->ListNameTree(Pick(a), b % 4, &count, &items))) {
        char text[256];
        for (std::uint32_t i = 0; i < count; ++i) (void)NameTrees()->DecodeStoredName(items[i].itemName, text, nullptr);
      }
      (void)NameTrees()->FreeNameTreeBlock(items);
      break;
    }
    case 6: (void)t->GetRelatedNode(Pick(a), b % 4, &node); break;
    case 7: (void)t->IsAncestorNode(Pick(a), Pick(b), c & 1); break;
    case 8: {
      char path[8192];
      char16_t path16[8192];
      std::uint16_t length = 0;
      if (t->GetNodePath(Pick(a), nullptr, nullptr, &length) == kOk) {
        Check(length <= sizeof path);
        const Result r = (c & 1) ? t->GetNodePath(Pick(a), nullptr, path16, &length)
                                 : t->GetNodePath(Pick(a), path, nullptr, &length);
        Check(r == kOk);
        if (!(c & 1)) Check(std::strlen(path) + 1 == length || std::memchr(path, 0, length - 1) != nullptr);
      }
      break;
    }
    case 9: {
      std::uint16_t chain[8192];
      count = b;
      (void)t->GetNodeAncestors(Pick(a), chain, &count);
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool registered = ((void)sfx::RegisterCoreServices(), true);  // registration cannot fail
  (void)registered;
  if (size == 0 || size > 300000) return 0;
  const std::size_t scriptLength = std::min<std::size_t>(data[0], size - 1);
  const std::uint8_t* image = data + 1;
  const std::size_t imageLength = size - 1 - scriptLength;
  const std::uint8_t* script = image + imageLength;

  NameTree* t = nullptr;
  if (Failed(LoadFromBytes(image, imageLength, &t))) return 0;
  // What loads saves back unchanged, apart from free name bytes, which are cleared.
  const std::vector<std::uint8_t> first = SaveToBytes(t);
  Check(first.size() <= imageLength);
  for (std::size_t i = 0; i + 4 <= scriptLength; i += 4) Step(t, script + i);

  const std::vector<std::uint8_t> saved = SaveToBytes(t);
  NameTree* again = nullptr;
  Check(LoadFromBytes(saved.data(), saved.size(), &again) == kOk);
  Check(SaveToBytes(again) == saved);
  Check(again->DestroyNameTree() == kOk);
  Check(t->DestroyNameTree() == kOk);
  return 0;
}
