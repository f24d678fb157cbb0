// Helpers shared by the name tree tests: an owning handle, saving into a byte
// vector and loading from one, and readable views of lists and paths.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "services/core/memory_stream.h"
#include "services/text/name_tree.h"

namespace sfx::test {

struct TreeDestroyer {
  void operator()(NameTree* t) const {
    if (t != nullptr) {
      EXPECT_EQ(t->DestroyNameTree(), kOk);
    }
  }
};
using TreePtr = std::unique_ptr<NameTree, TreeDestroyer>;

inline TreePtr NewTree(std::uint32_t userHeader = 0, std::uint32_t userNode = 0) {
  NameTree* t = nullptr;
  EXPECT_EQ(NameTrees()->CreateNameTree(userHeader, userNode, &t), kOk);
  return TreePtr(t);
}

using Bytes = std::vector<std::uint8_t>;

inline Bytes Save(NameTree* t, std::uint32_t position = 0) {
  Stream* s = nullptr;
  EXPECT_EQ(MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, kMemoryStreamWritable, &s), kOk);
  std::uint32_t size = 0;
  EXPECT_EQ(t->SaveNameTree(s, position, &size), kOk);
  void* data = nullptr;
  std::uint32_t length = 0;
  EXPECT_EQ(MemoryStreams()->GetMemoryBlock(s, &data, &length, nullptr), kOk);
  EXPECT_EQ(length, position + size);
  Bytes out(static_cast<std::uint8_t*>(data) + position, static_cast<std::uint8_t*>(data) + length);
  EXPECT_EQ(s->Close(), kOk);
  return out;
}

// Loads `image` placed at `position` of a stream, with `length` as given.
inline Result Load(const Bytes& image, TreePtr* out, std::uint32_t position = 0, std::uint32_t length = 0xFFFFFFFFu) {
  Bytes data(position, 0xEE);
  data.insert(data.end(), image.begin(), image.end());
  Stream* s = nullptr;
  EXPECT_EQ(
      MemoryStreams()->CreateMemoryStream(data.empty() ? nullptr : data.data(), static_cast<std::uint32_t>(data.size()),
                                          0, kMemoryStreamCallerOwns, &s),
      kOk);
  NameTree* t = nullptr;
  const Result r = NameTrees()->LoadNameTree(s, position, length, &t);
  EXPECT_EQ(s->Close(), kOk);
  out->reset(Succeeded(r) ? t : nullptr);
  return r;
}

inline std::uint16_t Field(NameTree* t, std::uint32_t offset) { return t->headerField(offset); }

inline std::uint8_t* NodeRecord(NameTree* t, std::uint16_t index) {
  return t->state()->nodeArray + index * t->state()->header[name_tree_header::kNodeBytes];
}

inline std::uint16_t NodeLink(NameTree* t, std::uint16_t index, std::uint32_t field) {
  return LoadU16(NodeRecord(t, index) + field);
}

inline std::string Decode(const std::uint8_t* name) {
  char text[256];
  EXPECT_EQ(NameTrees()->DecodeStoredName(name, text, nullptr), kOk);
  return text;
}

inline std::string NameOfNode(NameTree* t, std::uint16_t index) {
  return Decode(t->state()->nameArea + NodeLink(t, index, name_tree_node::kNameOffset));
}

// The names of a list, in order, as "a,b,c".
inline std::string ListNames(NameTree* t, std::uint16_t parent) {
  std::string out;
  std::uint16_t first = kNoNode;
  EXPECT_EQ(t->GetRelatedNode(parent, kRelatedFirstChild, &first), kOk);
  for (std::uint16_t n = first; n != kNoNode; n = NodeLink(t, n, name_tree_node::kNextSibling)) {
    if (!out.empty()) out += ',';
    out += NameOfNode(t, n);
  }
  return out;
}

inline std::string PathOf(NameTree* t, std::uint16_t node) {
  char text[8192];
  std::uint16_t length = sizeof text;
  if (Failed(t->GetNodePath(node, text, nullptr, &length))) return "<fail>";
  return text;
}

inline std::uint16_t MakePath(NameTree* t, const char* path, std::uint32_t flags = kInsertAtEnd) {
  std::uint16_t node = kNoNode;
  EXPECT_GE(t->FindNamePath(path, nullptr, 0, 1, flags, &node), 0) << path;
  return node;
}

}  // namespace sfx::test
