#include "services/data/stream_tree.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "services/core/memory_stream.h"
#include "tests/services/data/stream_tree_test_support.h"
#include "tests/support/fault_memory.h"

namespace sfx {
namespace {

using test::CompareU32;
using test::TreeShape;

constexpr std::uint32_t kValueBytes = 8;
using Value = std::array<unsigned char, kValueBytes>;

Value ValueFor(std::uint32_t key, std::uint32_t salt) {
  Value v;
  for (std::uint32_t i = 0; i < kValueBytes; ++i) v[i] = static_cast<unsigned char>(key * 31 + salt + i);
  return v;
}

Stream* NewMemoryStream() {
  Stream* s = nullptr;
  EXPECT_EQ(MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, kMemoryStreamWritable, &s), kOk);
  return s;
}

StreamTree* Create(Stream* s) {
  StreamTree* t = nullptr;
  EXPECT_EQ(StreamTrees()->CreateTree(s, 4, kValueBytes, CompareU32, nullptr, &t), kOk);
  return t;
}

StreamTree* Open(Stream* s) {
  StreamTree* t = nullptr;
  EXPECT_EQ(StreamTrees()->OpenTree(s, CompareU32, nullptr, &t), kOk);
  return t;
}

// Random operations against std::map, on a memory stream and on a block
// stream; the tree is closed and reopened now and then, and the whole shape is
// checked after every step.
}  // namespace

void RunStreamTreeModel(Stream* s, std::uint32_t seed, int steps, std::uint32_t keyRange) {
  std::mt19937 rng(seed);
  std::map<std::uint32_t, Value> model;
  StreamTree* t = Create(s);
  bool removed = false;
  for (int step = 0; step < steps; ++step) {
    const std::uint32_t key = rng() % keyRange;
    const std::uint32_t op = rng() % 10;
    if (op < 5) {
      const Value v = ValueFor(key, step);
      std::uint32_t node = 0;
      const Result r = t->Insert(&key, v.data(), &node);
      if (model.count(key)) {
        ASSERT_EQ(r, kTreeKeyExists);
      } else {
        ASSERT_EQ(r, kOk);
        model[key] = v;
      }
      Value back{};
      ASSERT_EQ(t->ReadNode(node, nullptr, nullptr, nullptr, nullptr, back.data()), kOk);
      ASSERT_EQ(back, model[key]);
    } else if (op < 7) {
      ASSERT_EQ(t->Remove(&key), model.erase(key) ? kOk : kTreeNotFound);
      removed = true;
    } else if (op < 8) {
      const Value v = ValueFor(key, step + 7);
      ASSERT_EQ(t->WriteValue(&key, 0, v.data()), model.count(key) ? kOk : kTreeNotFound);
      if (model.count(key)) model[key] = v;
    } else if (op < 9) {
      Value v{};
      const Result r = t->Find(&key, v.data(), nullptr);
      ASSERT_EQ(r, model.count(key) ? kOk : kTreeNotFound);
      if (r == kOk) {
        ASSERT_EQ(v, model[key]);
      }
    } else {
      ASSERT_EQ(t->Close(), kOk);
      t = Open(s);
      ASSERT_NE(t, nullptr);
    }
    TreeShape shape;
    ASSERT_TRUE(test::CheckTree(t, &shape)) << "step " << step;
    ASSERT_EQ(shape.keys.size(), model.size());
    std::size_t i = 0;
    for (const auto& [k, v] : model) ASSERT_EQ(shape.keys[i++], k);
    if (!removed) {
      ASSERT_TRUE(shape.balanced) << "step " << step;
      ASSERT_LE(shape.height, 2 * std::log2(model.size() + 1.0) + 1e-9);
    }
  }
  ASSERT_EQ(t->Close(), kOk);
}

namespace {

TEST(StreamTreeModel, InsertOnlyStaysRedBlack) {
  Stream* s = NewMemoryStream();
  // Keys from a wide range: almost no duplicates, no removals.
  std::mt19937 rng(7);
  StreamTree* t = Create(s);
  std::set<std::uint32_t> keys;
  const Value v{};
  for (int i = 0; i < 600; ++i) {
    const std::uint32_t k = i % 3 == 0 ? static_cast<std::uint32_t>(i) : rng();
    ASSERT_EQ(t->Insert(&k, v.data(), nullptr), keys.insert(k).second ? kOk : kTreeKeyExists);
    TreeShape shape;
    ASSERT_TRUE(test::CheckTree(t, &shape));
    ASSERT_TRUE(shape.balanced);
    ASSERT_LE(shape.height, 2 * std::log2(keys.size() + 1.0) + 1e-9);
  }
  ASSERT_EQ(t->Close(), kOk);
  ASSERT_EQ(s->Close(), kOk);
}

TEST(StreamTreeModel, RandomOperationsOnMemoryStream) {
  for (std::uint32_t seed = 1; seed <= 6; ++seed) {
    Stream* s = NewMemoryStream();
    RunStreamTreeModel(s, seed, 700, seed % 2 ? 64 : 400);
    ASSERT_EQ(s->Close(), kOk);
  }
}

// ---- layout and the small rules ---------------------------------------------------

TEST(StreamTreeLayout, GrowthAndSlotReuse) {
  Stream* s = NewMemoryStream();
  StreamTree* t = Create(s);
  const std::uint32_t nodeSize = 9 + 4 + kValueBytes;
  // Nothing is read from or written to an empty tree by Find.
  std::uint32_t k = 5;
  EXPECT_EQ(t->Find(&k, nullptr, nullptr), kTreeNotFound);
  std::uint32_t size = 1;
  ASSERT_EQ(s->GetSize(&size), kOk);
  EXPECT_EQ(size, 0u);

  Value v = ValueFor(5, 0);
  std::uint32_t node = 9;
  ASSERT_EQ(t->Insert(&k, v.data(), &node), kOk);
  EXPECT_EQ(node, 0u);
  ASSERT_EQ(s->GetSize(&size), kOk);
  EXPECT_EQ(size, 32 + 32 * nodeSize);
  std::uint8_t colour = 0;
  std::uint32_t left = 0, right = 0;
  ASSERT_EQ(t->ReadNode(0, &colour, &left, &right, nullptr, nullptr), kOk);
  EXPECT_EQ(colour, kTreeBlack);
  EXPECT_EQ(left, kTreeNone);
  ASSERT_EQ(t->ReadNode(31, &colour, &left, &right, nullptr, nullptr), kOk);
  EXPECT_EQ(colour, kTreeFreeSlot);
  EXPECT_EQ(left, kTreeNone);
  ASSERT_EQ(t->ReadNode(1, &colour, &left, nullptr, nullptr, nullptr), kOk);
  EXPECT_EQ(left, 2u);
  EXPECT_EQ(t->ReadNode(32, nullptr, nullptr, nullptr, nullptr, nullptr), kTreeNotFound);

  for (k = 100; k < 132; ++k) ASSERT_EQ(t->Insert(&k, v.data(), nullptr), kOk);  // 33 nodes
  ASSERT_EQ(s->GetSize(&size), kOk);
  EXPECT_EQ(size, 32 + 64 * nodeSize);

  // Last freed, first reused.
  k = 110;
  ASSERT_EQ(t->Find(&k, nullptr, &node), kOk);
  ASSERT_EQ(t->Remove(&k), kOk);
  EXPECT_EQ(t->freeHead(), node);
  std::uint32_t reused = 0;
  k = 7;
  ASSERT_EQ(t->Insert(&k, v.data(), &reused), kOk);
  EXPECT_EQ(reused, node);

  // A duplicate reports the existing node and adds nothing.
  std::uint32_t existing = 0;
  const std::uint32_t before = t->nodeCount();
  EXPECT_EQ(t->Insert(&k, v.data(), &existing), kTreeKeyExists);
  EXPECT_EQ(existing, reused);
  EXPECT_EQ(t->nodeCount(), before);

  // WriteValue by index, and a header that a created tree writes whole.
  const Value w = ValueFor(1, 1);
  ASSERT_EQ(t->WriteValue(nullptr, reused, w.data()), kOk);
  EXPECT_EQ(t->WriteValue(nullptr, t->nodeCount(), w.data()), kTreeNotFound);
  ASSERT_EQ(t->Close(), kOk);
  unsigned char h[32];
  ASSERT_EQ(s->ReadAt(0, h, 32, nullptr), kOk);
  const unsigned char expected[12] = {32, 0, 0, 0, 1, 0, 0, 0, 4, 0, 0, 0};
  EXPECT_EQ(std::memcmp(h, expected, 12), 0);
  t = Open(s);
  Value back{};
  k = 7;
  ASSERT_EQ(t->Find(&k, back.data(), nullptr), kOk);
  EXPECT_EQ(back, w);
  ASSERT_EQ(t->Close(), kOk);
  ASSERT_EQ(s->Close(), kOk);
}

Result CompareBroken(void*, const void*, const void*) { return 1; }

TEST(StreamTreeLayout, ComparisonOutsideZeroTwoThreeFails) {
  Stream* s = NewMemoryStream();
  StreamTree* t = nullptr;
  ASSERT_EQ(StreamTrees()->CreateTree(s, 4, 0, CompareBroken, nullptr, &t), kOk);
  std::uint32_t k = 1;
  ASSERT_EQ(t->Insert(&k, nullptr, nullptr), kOk);  // the root needs no comparison
  EXPECT_EQ(t->Insert(&k, nullptr, nullptr), kTreeBadComparison);
  EXPECT_EQ(t->Find(&k, nullptr, nullptr), kTreeBadComparison);
  EXPECT_EQ(t->Remove(&k), kTreeBadComparison);
  ASSERT_EQ(t->Close(), kOk);
  ASSERT_EQ(s->Close(), kOk);
}

TEST(StreamTreeLayout, SizesThatWrapAreRefused) {
  Stream* s = NewMemoryStream();
  StreamTree* t = nullptr;
  EXPECT_EQ(StreamTrees()->CreateTree(s, 0xFFFFFFF0u, 0x20, CompareU32, nullptr, &t), kFail);
  EXPECT_EQ(StreamTrees()->CreateTree(s, 0x08000000u, 0, CompareU32, nullptr, &t), kFail);  // 32 slots pass 4 GiB
  test::FaultInjectingMemoryService faulty;
  ScopedServiceOverride o(Slot::kMemory, &faulty);
  for (std::uint32_t n = 1; n <= 2; ++n) {
    faulty.FailNth(n);
    EXPECT_EQ(StreamTrees()->CreateTree(s, 4, 4, CompareU32, nullptr, &t), kOutOfMemory);
  }
  faulty.Heal();
  ASSERT_EQ(s->Close(), kOk);
}

// ---- hostile stored trees ------------------------------------------------------------

struct StoredTree {
  Stream* s = nullptr;
  StoredTree() {
    s = NewMemoryStream();
    StreamTree* t = Create(s);
    const Value v{};
    for (std::uint32_t k = 1; k <= 10; ++k) EXPECT_EQ(t->Insert(&k, v.data(), nullptr), kOk);
    EXPECT_EQ(t->Close(), kOk);
  }
  ~StoredTree() { EXPECT_EQ(s->Close(), kOk); }
  void Put(std::uint32_t offset, std::uint32_t value) { EXPECT_EQ(s->WriteAt(offset, &value, 4, nullptr), kOk); }
  void PutByte(std::uint32_t offset, unsigned char value) { EXPECT_EQ(s->WriteAt(offset, &value, 1, nullptr), kOk); }
  std::uint32_t Get(std::uint32_t offset) {
    std::uint32_t v = 0;
    EXPECT_EQ(s->ReadAt(offset, &v, 4, nullptr), kOk);
    return v;
  }
};

TEST(StreamTreeHostile, OpenChecksEveryHeaderField) {
  const struct {
    std::uint32_t offset;
    std::uint32_t value;
    Result expected;
  } cases[] = {
      {0, 0x10000, kTreeHeaderTooLarge},         // headerSize above 0xFFFF
      {0, 0xFFFFFFFFu, kTreeHeaderTooLarge},     //
      {0, 31, kTreeHeaderReadFailed},            // node 0 overlapping the header
      {0, 0xFFFF, kTreeHeaderReadFailed},        // slots beyond the stream's end
      {16, 20, kTreeHeaderReadFailed},           // nodeSize not 9 + key + value
      {8, 0xFFFFFFF8u, kTreeHeaderReadFailed},   // keySize that wraps the node size
      {20, 32, kTreeHeaderReadFailed},           // root beyond nodeCount
      {24, 0x7FFFFFFFu, kTreeHeaderReadFailed},  // freeHead beyond nodeCount
      {28, 33, kTreeHeaderReadFailed},           // more slots than the stream holds
      {28, 0xFFFFFFFFu, kTreeHeaderReadFailed},  // nodeCount "none"
      {4, 0xFFFF, kOk},                          // formatVersion is ignored
  };
  for (const auto& c : cases) {
    StoredTree stored;
    stored.Put(c.offset, c.value);
    StreamTree* t = nullptr;
    EXPECT_EQ(StreamTrees()->OpenTree(stored.s, CompareU32, nullptr, &t), c.expected) << c.offset;
    if (t) {
      EXPECT_EQ(t->Close(), kOk);
    }
  }
  Stream* shortStream = nullptr;
  ASSERT_EQ(MemoryStreams()->CreateMemoryStream(nullptr, 31, 31, kMemoryStreamWritable, &shortStream), kOk);
  StreamTree* t = nullptr;
  EXPECT_EQ(StreamTrees()->OpenTree(shortStream, CompareU32, nullptr, &t), kTreeHeaderReadFailed);
  ASSERT_EQ(shortStream->Close(), kOk);
}

TEST(StreamTreeHostile, CorruptNodesFailWithoutHangingOrReuse) {
  const std::uint32_t nodeSize = 9 + 4 + kValueBytes;
  const auto node = [&](std::uint32_t i) { return 32 + i * nodeSize; };
  {
    // The free head names a live node: it must not be handed out again.
    StoredTree stored;
    stored.Put(24, 3);
    StreamTree* t = Open(stored.s);
    const std::uint32_t k = 50;
    const Value v{};
    EXPECT_EQ(t->Insert(&k, v.data(), nullptr), kFail);
    ASSERT_EQ(t->Close(), kOk);
  }
  {
    // A free slot whose successor lies beyond the slots.
    StoredTree stored;
    const std::uint32_t head = stored.Get(24);
    stored.Put(node(head) + 1, 5000);
    StreamTree* t = Open(stored.s);
    const std::uint32_t k = 50;
    const Value v{};
    EXPECT_EQ(t->Insert(&k, v.data(), nullptr), kFail);
    ASSERT_EQ(t->Close(), kOk);
  }
  {
    // A cycle: the root's right child is the root itself. Every walk ends.
    StoredTree stored;
    const std::uint32_t root = stored.Get(20);
    stored.Put(node(root) + 5, root);
    StreamTree* t = Open(stored.s);
    const std::uint32_t k = 0xFFFF;
    const Value v{};
    EXPECT_NE(t->Find(&k, nullptr, nullptr), kOk);
    EXPECT_LT(t->Insert(&k, v.data(), nullptr), 0);
    EXPECT_NE(t->Remove(&k), kOk);
    ASSERT_EQ(t->Close(), kOk);
  }
  {
    // A child link beyond the slots, and a free slot linked into the tree.
    StoredTree stored;
    const std::uint32_t root = stored.Get(20);
    stored.Put(node(root) + 1, 0x7FFFFFFF);
    StreamTree* t = Open(stored.s);
    const std::uint32_t k = 0;
    EXPECT_EQ(t->Find(&k, nullptr, nullptr), kFail);
    ASSERT_EQ(t->Close(), kOk);
    StoredTree other;
    other.PutByte(node(other.Get(20)), 255);
    t = Open(other.s);
    EXPECT_EQ(t->Find(&k, nullptr, nullptr), kFail);
    ASSERT_EQ(t->Close(), kOk);
  }
}

}  // namespace
}  // namespace sfx
