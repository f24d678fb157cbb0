#include "services/data/keyed_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <random>
#include <string>

#include "services/data/block_store.h"
#include "services/data/block_stream.h"
#include "services/data/stream_tree.h"
#include "services/data/string_heap.h"
#include "tests/services/data/block_store_test_support.h"
#include "tests/services/data/stream_tree_test_support.h"

namespace sfx {
namespace {

using test::BlockStoreFixture;

// Formatted rather than concatenated: one compiler warns falsely about the
// concatenation's copies.
std::string Key(unsigned i) {
  char b[16];
  std::snprintf(b, sizeof b, "k%u", i);
  return b;
}

struct IndexFixture {
  BlockStoreFixture store{512};
  StringHeap* heap = nullptr;
  KeyedIndex* index = nullptr;
  std::uint32_t id = 0;
  std::uint32_t caseFlag;
  explicit IndexFixture(std::uint32_t flag) : caseFlag(flag) {
    EXPECT_EQ(StringHeaps()->CreateStringHeap(store.store(), &heap), kOk);
    EXPECT_EQ(KeyedIndexes()->CreateIndex(caseFlag, store.store(), 4, heap, &id, &index), kOk);
  }
  ~IndexFixture() {
    if (index) {
      EXPECT_EQ(index->Close(), kOk);
    }
    EXPECT_EQ(heap->Close(), kOk);
  }
  Result Insert(const std::string& key, std::uint32_t value, std::uint32_t* node = nullptr) {
    return index->InsertEntry(key.data(), static_cast<std::uint32_t>(key.size()), &value, node);
  }
  Result Find(const std::string& key, std::uint32_t* value = nullptr, std::uint32_t* node = nullptr) {
    return index->FindEntry(key.data(), static_cast<std::uint32_t>(key.size()), value, node);
  }
  void Reopen() {
    ASSERT_EQ(index->Close(), kOk);
    index = nullptr;
    ASSERT_EQ(KeyedIndexes()->OpenIndex(caseFlag, store.store(), 4, heap, id, &index), kOk);
  }
};

TEST(KeyedIndex, CaseFlagDecidesWhatIsTheSameKey) {
  for (std::uint32_t flag : {0u, 1u}) {
    IndexFixture f(flag);
    ASSERT_EQ(f.Insert("Key", 1), kOk);
    const std::uint32_t end = f.heap->endOffset();
    EXPECT_EQ(f.Insert("KEY", 2), flag ? kKeyedIndexKeyExists : kOk);
    if (flag) {
      EXPECT_EQ(f.heap->endOffset(), end);  // the duplicate's text was taken back
    }
    std::uint32_t value = 0;
    EXPECT_EQ(f.Find("key", &value), flag ? kOk : kTreeNotFound);
    if (flag) {
      EXPECT_EQ(value, 1u);
    }
  }
}

TEST(KeyedIndex, FindByIdentifierReadAndWriteValues) {
  IndexFixture f(0);
  std::uint32_t node = 0;
  ASSERT_EQ(f.Insert("alpha", 10), kOk);
  ASSERT_EQ(f.Insert("beta", 20, &node), kOk);
  std::uint32_t key = 0, value = 0;
  ASSERT_EQ(f.index->ReadEntry(node, &key, &value), kOk);
  EXPECT_EQ(value, 20u);
  std::uint32_t found = 99;
  ASSERT_EQ(f.index->FindEntry(nullptr, key, &value, &found), kOk);
  EXPECT_EQ(found, node);
  const std::uint32_t v = 21;
  ASSERT_EQ(f.index->WriteEntryValue(node, &v), kOk);
  ASSERT_EQ(f.Find("beta", &value), kOk);
  EXPECT_EQ(value, 21u);
  EXPECT_EQ(f.index->ReadEntry(f.index->tree()->nodeCount(), &key, &value), kTreeNotFound);
}

TEST(KeyedIndex, RemovingTheLastEntryWorksForAnyNode) {
  IndexFixture f(0);
  // Enough keys that the last one inserted is deep in the tree, not the root.
  for (int i = 0; i < 20; ++i) ASSERT_EQ(f.Insert(Key(100 + i), i), kOk);
  for (int i = 19; i >= 10; --i) {
    std::uint32_t node = 0;
    ASSERT_EQ(f.Find(Key(100 + i), nullptr, &node), kOk);
    ASSERT_NE(node, f.index->tree()->root());
    ASSERT_EQ(f.index->RemoveEntry(node), kOk) << i;
    EXPECT_EQ(f.Find(Key(100 + i)), kTreeNotFound);
  }
  // An earlier entry cannot go; nothing changes.
  std::uint32_t node = 0;
  ASSERT_EQ(f.Find("k100", nullptr, &node), kOk);
  const std::uint32_t end = f.heap->endOffset();
  EXPECT_EQ(f.index->RemoveEntry(node), kStringHeapNotLast);
  EXPECT_EQ(f.heap->endOffset(), end);
  EXPECT_EQ(f.Find("k100"), kOk);
  // A free slot is no entry.
  EXPECT_EQ(f.index->RemoveEntry(f.index->tree()->freeHead()), kTreeNotFound);
}

TEST(KeyedIndex, OpenChecksTheCallersValueSize) {
  IndexFixture f(0);
  ASSERT_EQ(f.Insert("x", 1), kOk);
  ASSERT_EQ(f.index->Close(), kOk);
  f.index = nullptr;
  KeyedIndex* other = nullptr;
  EXPECT_EQ(KeyedIndexes()->OpenIndex(0, f.store.store(), 64, f.heap, f.id, &other), kFail);
  EXPECT_EQ(f.store.store()->openStreams(), 1u);  // only the heap's stream
  EXPECT_EQ(KeyedIndexes()->OpenIndex(0, f.store.store(), 4, f.heap, 0, &other), kBlockStoreBadIdentifier);
  ASSERT_EQ(KeyedIndexes()->OpenIndex(0, f.store.store(), 4, f.heap, f.id, &f.index), kOk);
  EXPECT_EQ(f.Find("x"), kOk);
}

TEST(KeyedIndex, StoredKeysAreNeverTakenForPointers) {
  IndexFixture f(0);
  ASSERT_EQ(f.Insert("a", 1), kOk);
  ASSERT_EQ(f.index->Close(), kOk);
  f.index = nullptr;
  // Put the key word 0x80000000 into node 0.
  BlockStream* b = nullptr;
  ASSERT_EQ(f.store.store()->OpenBlockStream(f.id, &b), kOk);
  const std::uint32_t marker = 0x80000000u;
  ASSERT_EQ(b->WriteAt(32 + 9, &marker, 4, nullptr), kOk);
  ASSERT_EQ(b->Close(), kOk);
  ASSERT_EQ(KeyedIndexes()->OpenIndex(0, f.store.store(), 4, f.heap, f.id, &f.index), kOk);
  EXPECT_EQ(f.Find("a"), kTreeBadComparison);                                  // an identifier past the heap's end
  EXPECT_EQ(f.index->FindEntry(nullptr, 0x80000000u, nullptr, nullptr), kOk);  // same identifier: equal at once
}

// Random inserts, lookups and removals of the newest entry against a
// std::map, closing and reopening the index now and then.
TEST(KeyedIndex, ModelWithReopens) {
  for (std::uint32_t flag : {0u, 1u}) {
    IndexFixture f(flag);
    std::mt19937 rng(11 + flag);
    std::map<std::string, std::uint32_t> model;
    std::vector<std::string> order;  // insertion order, for removing the newest
    const auto norm = [&](std::string s) {
      if (flag) std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
      return s;
    };
    for (int step = 0; step < 500; ++step) {
      std::string key(1 + rng() % 6, '\0');
      for (auto& c : key) c = "abAB"[rng() % 4];
      const std::uint32_t op = rng() % 10;
      if (op < 5) {
        const std::uint32_t value = rng();
        const bool fresh = !model.count(norm(key));
        ASSERT_EQ(f.Insert(key, value), fresh ? kOk : kKeyedIndexKeyExists);
        if (fresh) {
          model[norm(key)] = value;
          order.push_back(norm(key));
        }
      } else if (op < 8) {
        std::uint32_t value = 0;
        const Result r = f.Find(key, &value);
        ASSERT_EQ(r, model.count(norm(key)) ? kOk : kTreeNotFound);
        if (r == kOk) {
          ASSERT_EQ(value, model[norm(key)]);
        }
      } else if (op == 8 && !order.empty()) {
        std::uint32_t node = 0;
        ASSERT_EQ(f.Find(order.back(), nullptr, &node), kOk);
        ASSERT_EQ(f.index->RemoveEntry(node), kOk);
        model.erase(order.back());
        order.pop_back();
      } else {
        f.Reopen();
      }
      test::TreeShape shape;
      ASSERT_TRUE(test::CheckTree(f.index->tree(), &shape, false));
      ASSERT_EQ(shape.keys.size(), model.size());
    }
  }
}

}  // namespace
}  // namespace sfx
