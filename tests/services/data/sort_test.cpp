#include "services/data/sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "services/core/memory_service.h"
#include "tests/support/fault_memory.h"

namespace sfx {
namespace {

// Orders 32-bit integers; the context counts the calls.
Result CompareInts(std::uintptr_t context, const void* first, const void* second) {
  std::int32_t a, b;
  std::memcpy(&a, first, 4);
  std::memcpy(&b, second, 4);
  if (context != 0) ++*reinterpret_cast<std::uint32_t*>(context);
  return a == b ? Result(0) : a < b ? kSortBefore : kSortAfter;
}

// Sizes around each gap boundary, random, sorted, reversed and few distinct
// values, against std::sort.
TEST(SortTest, AgreesWithStdSort) {
  std::mt19937 random(12345);
  for (std::uint32_t count : {2u, 7u, 8u, 9u, 10u, 35u, 36u, 37u, 116u, 117u, 359u, 360u, 1000u, 5000u}) {
    for (int shape = 0; shape < 4; ++shape) {
      std::vector<std::int32_t> values(count);
      for (std::uint32_t i = 0; i < count; ++i) {
        values[i] = shape == 0   ? static_cast<std::int32_t>(random())
                    : shape == 1 ? static_cast<std::int32_t>(i)
                    : shape == 2 ? -static_cast<std::int32_t>(i)
                                 : static_cast<std::int32_t>(random() % 3);
      }
      std::vector<std::int32_t> expected = values;
      std::sort(expected.begin(), expected.end());
      ASSERT_EQ(Sorter()->Sort(values.data(), count, 4, CompareInts, 0), kOk);
      EXPECT_EQ(values, expected) << "count " << count << " shape " << shape;
    }
  }
}

// Odd-sized elements are moved whole; the comparison sees the key only, and
// its second operand is always the temporary copy, never an array element.
TEST(SortTest, MovesWholeElementsAndComparesWithTheTemporaryCopy) {
  struct Record {
    char key;
    char payload[6];
  };
  static_assert(sizeof(Record) == 7);
  static std::vector<Record> records;
  for (int i = 0; i < 50; ++i) records.push_back({static_cast<char>((i * 37) % 50), {}});
  for (Record& r : records) std::memset(r.payload, r.key, sizeof r.payload);
  auto compare = [](std::uintptr_t, const void* a, const void* b) -> Result {
    const auto* first = records.data();
    const auto* last = first + records.size();
    EXPECT_TRUE(a >= first && a < last);
    EXPECT_FALSE(b >= first && b < last);
    const char x = *static_cast<const char*>(a), y = *static_cast<const char*>(b);
    return x == y ? Result(0) : x < y ? kSortBefore : kSortAfter;
  };
  ASSERT_EQ(Sorter()->Sort(records.data(), 50, sizeof(Record), compare, 0), kOk);
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(records[i].key, i);
    for (char c : records[i].payload) EXPECT_EQ(c, i);
  }
}

TEST(SortTest, TinyArraysAndEqualElements) {
  std::uint32_t calls = 0;
  std::int32_t one = 7;
  EXPECT_EQ(Sorter()->Sort(&one, 1, 4, CompareInts, reinterpret_cast<std::uintptr_t>(&calls)), kOk);
  EXPECT_EQ(Sorter()->Sort(nullptr, 0, 4, CompareInts, reinterpret_cast<std::uintptr_t>(&calls)), kOk);
  EXPECT_EQ(calls, 0u);
  // A comparison that calls everything equal (or answers with an unknown
  // non-negative value) moves nothing.
  std::int32_t values[] = {3, 1, 2, 9, 0, 4, 4, 8, 7, 6};
  const std::vector<std::int32_t> before(std::begin(values), std::end(values));
  EXPECT_EQ(Sorter()->Sort(
                values, 10, 4, [](std::uintptr_t, const void*, const void*) { return Result(0); }, 0),
            kOk);
  EXPECT_EQ(Sorter()->Sort(
                values, 10, 4, [](std::uintptr_t, const void*, const void*) { return Result(7); }, 0),
            kOk);
  EXPECT_EQ(std::vector<std::int32_t>(std::begin(values), std::end(values)), before);
}

// A failing comparison stops the sort with its Result; the element in hand is
// written back, so the array is still a permutation of its input. The n-th
// call fails, for every n up to the full run.
TEST(SortTest, FailedComparisonLeavesAPermutation) {
  static std::uint32_t remaining;
  auto failing = [](std::uintptr_t, const void* a, const void* b) -> Result {
    if (remaining-- == 0) return FailureCode(0x77, 5);
    return CompareInts(0, a, b);
  };
  std::mt19937 random(99);
  std::vector<std::int32_t> input(60);
  for (std::int32_t& v : input) v = static_cast<std::int32_t>(random() % 1000);
  for (std::uint32_t failAt = 0; failAt < 400; ++failAt) {
    std::vector<std::int32_t> values = input;
    remaining = failAt;
    const Result r = Sorter()->Sort(values.data(), 60, 4, failing, 0);
    std::vector<std::int32_t> a = values, b = input;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    ASSERT_EQ(a, b) << "not a permutation after failing call " << failAt;
    if (r == kOk) break;
    ASSERT_EQ(r, FailureCode(0x77, 5));
  }
}

TEST(SortTest, MemoryFailureLeavesArrayUntouchedAndNothingAllocated) {
  std::int32_t values[] = {3, 2, 1};
  {
    test::ScopedFaultMemory memory;
    memory->FailAll();
    EXPECT_EQ(Sorter()->Sort(values, 3, 4, CompareInts, 0), kOutOfMemory);
  }
  EXPECT_EQ(values[0], 3);
  std::uint32_t before = 0, after = 0;
  ASSERT_EQ(Memory()->GetStatistics(nullptr, &before, nullptr, nullptr), kOk);
  ASSERT_EQ(Sorter()->Sort(values, 3, 4, CompareInts, 0), kOk);
  ASSERT_EQ(Memory()->GetStatistics(nullptr, &after, nullptr, nullptr), kOk);
  EXPECT_EQ(before, after);
}

}  // namespace
}  // namespace sfx
