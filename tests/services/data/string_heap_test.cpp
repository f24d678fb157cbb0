#include "services/data/string_heap.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "services/data/block_store.h"
#include "services/data/block_stream.h"
#include "tests/services/data/block_store_test_support.h"

namespace sfx {
namespace {

using test::BlockStoreFixture;

struct HeapFixture {
  BlockStoreFixture store{512};
  StringHeap* heap = nullptr;
  HeapFixture() { EXPECT_EQ(StringHeaps()->CreateStringHeap(store.store(), &heap), kOk); }
  ~HeapFixture() {
    if (heap) {
      EXPECT_EQ(heap->Close(), kOk);
    }
  }
  std::uint32_t Append(const std::string& s) {
    std::uint32_t id = 0xFFFFFFFF;
    EXPECT_EQ(heap->AppendString(s.data(), static_cast<std::uint32_t>(s.size()), &id), kOk);
    return id;
  }
  std::string Read(std::uint32_t id) {
    std::uint32_t n = 0;
    std::string out(40000, '\0');
    EXPECT_EQ(heap->ReadString(id, &n, out.data(), static_cast<std::uint32_t>(out.size())), kOk);
    out.resize(n);
    return out;
  }
};

TEST(StringHeap, AppendRemoveAndLimits) {
  HeapFixture f;
  EXPECT_EQ(f.Append("abc"), 0u);
  EXPECT_EQ(f.heap->endOffset(), 5u);
  EXPECT_EQ(f.Append("de"), 5u);
  EXPECT_EQ(f.heap->endOffset(), 9u);
  EXPECT_EQ(f.heap->RemoveString(0), kStringHeapNotLast);
  EXPECT_EQ(f.heap->RemoveString(9), kOk);  // at the end: nothing to do
  EXPECT_EQ(f.heap->RemoveString(5), kOk);
  EXPECT_EQ(f.heap->endOffset(), 5u);
  EXPECT_EQ(f.Read(0), "abc");

  const std::string longest(kStringHeapMaxLength, 'L');
  const std::uint32_t id = f.Append(longest);
  EXPECT_EQ(f.Read(id), longest);
  std::uint32_t ignored = 0;
  EXPECT_EQ(f.heap->AppendString(longest.data(), kStringHeapMaxLength + 1, &ignored), kFail);

  // Truncated reads report the full length; identifiers past the end or not
  // at a string whose bytes fit the heap are refused.
  char small[2];
  std::uint32_t n = 0;
  EXPECT_EQ(f.heap->ReadString(0, &n, small, 2), kOk);
  EXPECT_EQ(n, 3u);
  EXPECT_EQ(std::string(small, 2), "ab");
  EXPECT_EQ(f.heap->ReadString(f.heap->endOffset(), &n, small, 2), kFail);
  EXPECT_EQ(f.heap->ReadString(f.heap->endOffset() - 1, &n, small, 2), kFail);
}

TEST(StringHeap, Comparisons) {
  HeapFixture f;
  const std::string piece(StringHeap::kPieceBytes, 'p');
  const std::uint32_t upper = f.Append("ABC"), lower = f.Append("abc"), ab = f.Append("ab");
  const std::uint32_t longA = f.Append(piece + "ab"), longB = f.Append(piece + "abc");
  const struct {
    std::uint32_t caseFlag, a, b;
    Result expected;
  } cases[] = {
      {1, upper, lower, 0}, {0, upper, lower, 2}, {0, lower, upper, 3}, {0, ab, lower, 2},
      {0, lower, ab, 3},    {0, longA, longB, 2}, {1, longB, longA, 3}, {0, upper, upper, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(f.heap->CompareStrings(c.caseFlag, c.a, c.b), c.expected) << c.a << " " << c.b;
  EXPECT_EQ(f.heap->CompareStringWithText(1, upper, "abc", 3), 0);
  EXPECT_EQ(f.heap->CompareStringWithText(0, ab, "abc", 3), 2);
  EXPECT_EQ(f.heap->CompareStringWithText(0, longB, (piece + "ab").data(), 514), 3);
  EXPECT_EQ(f.heap->CompareStrings(0, upper, 0xFFFFF), kFail);
}

TEST(StringHeap, UndoAfterTruncationDoesNotBringStaleBytesBack) {
  HeapFixture f;
  EXPECT_EQ(f.Append("first"), 0u);
  EXPECT_EQ(f.Append("second"), 7u);
  ASSERT_EQ(f.heap->TruncateHeap(3), kOk);
  ASSERT_EQ(f.heap->UndoLastAppend(), kOk);
  EXPECT_EQ(f.heap->endOffset(), 3u);
  std::uint32_t n = 0;
  char buffer[8];
  EXPECT_EQ(f.heap->ReadString(0, &n, buffer, 8), kFail);  // "first" is cut, not back
  EXPECT_EQ(f.Append("new"), 3u);
  EXPECT_EQ(f.Read(3), "new");
}

TEST(StringHeap, CloseDeletesTheInnerStream) {
  BlockStoreFixture store(512);
  StringHeap* heap = nullptr;
  ASSERT_EQ(StringHeaps()->CreateStringHeap(store.store(), &heap), kOk);
  const std::uint32_t id = heap->streamIdentifier();
  std::uint32_t sid = 0;
  ASSERT_EQ(heap->AppendString("x", 1, &sid), kOk);
  ASSERT_EQ(heap->Close(), kOk);
  BlockStream* b = nullptr;
  EXPECT_EQ(store.store()->OpenBlockStream(id, &b), kBlockStoreBadIdentifier);
}

// Random appends, undos, removals and truncations against a vector model.
TEST(StringHeap, ModelOfAppendsAndCuts) {
  HeapFixture f;
  std::mt19937 rng(5);
  std::vector<std::pair<std::uint32_t, std::string>> model;  // identifier, text
  std::uint32_t end = 0;
  bool lastAlive = false;
  for (int step = 0; step < 1500; ++step) {
    const std::uint32_t op = rng() % 10;
    if (op < 5) {
      std::string s(rng() % 700, '\0');
      for (auto& c : s) c = static_cast<char>('a' + rng() % 3);
      model.emplace_back(f.Append(s), s);
      ASSERT_EQ(model.back().first, end);
      end += 2 + static_cast<std::uint32_t>(s.size());
      lastAlive = true;
    } else if (op == 5) {
      ASSERT_EQ(f.heap->UndoLastAppend(), kOk);
      if (lastAlive) {
        end = model.back().first;
        model.pop_back();
        lastAlive = false;
      }
    } else if (op == 6 && !model.empty()) {
      const std::size_t i = rng() % model.size();
      const Result r = f.heap->RemoveString(model[i].first);
      if (i + 1 == model.size()) {
        ASSERT_EQ(r, kOk);
        end = model.back().first;
        model.pop_back();
        lastAlive = false;
      } else {
        ASSERT_EQ(r, kStringHeapNotLast);
      }
    } else if (op == 7 && !model.empty()) {
      const std::size_t i = rng() % model.size();
      ASSERT_EQ(f.heap->TruncateHeap(model[i].first), kOk);
      end = model[i].first;
      model.resize(i);
      lastAlive = false;
    } else if (!model.empty()) {
      const auto& a = model[rng() % model.size()];
      const auto& b = model[rng() % model.size()];
      ASSERT_EQ(f.Read(a.first), a.second);
      const int expected = a.second == b.second ? 0 : a.second < b.second ? 2 : 3;
      ASSERT_EQ(f.heap->CompareStrings(0, a.first, b.first), expected);
    }
    ASSERT_EQ(f.heap->endOffset(), end);
  }
}

}  // namespace
}  // namespace sfx
