// Checks the whole shape of a stored tree through its public operations: the
// order of the keys, that every slot is either reachable once or on the free
// list, and the red-black rules.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "services/data/stream_tree.h"

namespace sfx {

// Random operations against a std::map model on the given empty stream
// (defined in stream_tree_test.cpp).
void RunStreamTreeModel(Stream* s, std::uint32_t seed, int steps, std::uint32_t keyRange);

namespace test {

inline Result CompareU32(void*, const void* search, const void* stored) {
  std::uint32_t a, b;
  std::memcpy(&a, search, 4);
  std::memcpy(&b, stored, 4);
  return a == b ? 0 : a < b ? 2 : 3;
}

struct TreeShape {
  std::vector<std::uint32_t> keys;  // in order; only for 4-byte keys
  bool balanced = true;             // no red node with a red child, equal black heights, black root
  double height = 0;
};

namespace detail {
inline int Walk(StreamTree* t, std::uint32_t n, std::vector<char>* seen, TreeShape* shape, bool parentRed, int depth,
                bool* ok) {
  if (n == kTreeNone) return 1;
  if (n >= t->nodeCount() || (*seen)[n] || depth > 200) {
    *ok = false;
    return 0;
  }
  (*seen)[n] = 1;
  std::uint8_t colour = 0;
  std::uint32_t left = 0, right = 0;
  std::vector<unsigned char> key(t->keySize() ? t->keySize() : 1);
  if (t->ReadNode(n, &colour, &left, &right, key.data(), nullptr) != kOk || colour > kTreeBlack) {
    *ok = false;
    return 0;
  }
  if (depth + 1 > shape->height) shape->height = depth + 1;
  const bool red = colour == kTreeRed;
  if (red && parentRed) shape->balanced = false;
  const int lh = Walk(t, left, seen, shape, red, depth + 1, ok);
  if (t->keySize() == 4) {
    std::uint32_t k;
    std::memcpy(&k, key.data(), 4);
    shape->keys.push_back(k);
  }
  const int rh = Walk(t, right, seen, shape, red, depth + 1, ok);
  if (lh != rh) shape->balanced = false;
  return lh + (red ? 0 : 1);
}
}  // namespace detail

// With numericKeys false the keys are not u32 values in order (only the
// structure is checked).
inline bool CheckTree(StreamTree* t, TreeShape* shape, bool numericKeys = true) {
  std::vector<char> seen(t->nodeCount(), 0);
  bool ok = true;
  if (t->root() != kTreeNone) {
    std::uint8_t rootColour = 0;
    if (t->ReadNode(t->root(), &rootColour, nullptr, nullptr, nullptr, nullptr) != kOk) return false;
    if (rootColour != kTreeBlack) shape->balanced = false;
  }
  detail::Walk(t, t->root(), &seen, shape, false, 0, &ok);
  if (!ok) return false;
  for (std::size_t i = 1; numericKeys && i < shape->keys.size(); ++i)
    if (shape->keys[i - 1] >= shape->keys[i]) return false;
  // The free list covers exactly the slots the tree does not use.
  std::uint32_t free = 0;
  for (std::uint32_t n = t->freeHead(); n != kTreeNone;) {
    if (n >= t->nodeCount() || seen[n]) return false;
    seen[n] = 1;
    std::uint8_t colour = 0;
    std::uint32_t next = 0;
    if (t->ReadNode(n, &colour, &next, nullptr, nullptr, nullptr) != kOk || colour != kTreeFreeSlot) return false;
    ++free;
    n = next;
  }
  for (char s : seen)
    if (!s) return false;
  return true;
}

}  // namespace test
}  // namespace sfx
