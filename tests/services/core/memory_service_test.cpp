#include "services/core/memory_service.h"

#include <gtest/gtest.h>

#include <cstring>

namespace sfx {
namespace {

// A private service object so the statistics start at zero in each test.
class MemoryServiceTest : public ::testing::Test {
 protected:
  MemoryService memory_;
  ScopedServiceOverride override_{Slot::kMemory, &memory_};

  void ExpectStats(std::uint32_t peak, std::uint32_t current, std::uint32_t allocations, std::uint32_t frees) {
    std::uint32_t p, c, a, f;
    ASSERT_EQ(memory_.GetStatistics(&p, &c, &a, &f), kOk);
    EXPECT_EQ(p, peak);
    EXPECT_EQ(c, current);
    EXPECT_EQ(a, allocations);
    EXPECT_EQ(f, frees);
  }
};

TEST_F(MemoryServiceTest, StatisticsFollowAllocateAndFree) {
  void *a = nullptr, *b = nullptr;
  ASSERT_EQ(memory_.Allocate(100, &a), kOk);
  ASSERT_EQ(memory_.Allocate(50, &b), kOk);
  ASSERT_EQ(memory_.Free(a), kOk);
  ExpectStats(150, 50, 2, 1);
  ASSERT_EQ(memory_.Free(b), kOk);
  ExpectStats(150, 0, 2, 2);
  EXPECT_EQ(memory_.GetStatistics(nullptr, nullptr, nullptr, nullptr), kOk);
}

TEST_F(MemoryServiceTest, ZeroByteBlocksAreDistinctAndFreeable) {
  void *a = nullptr, *b = nullptr;
  ASSERT_EQ(memory_.Allocate(0, &a), kOk);
  ASSERT_EQ(memory_.Allocate(0, &b), kOk);
  EXPECT_NE(a, b);
  ExpectStats(0, 0, 2, 0);
  EXPECT_EQ(memory_.Free(a), kOk);
  EXPECT_EQ(memory_.Free(b), kOk);
}

TEST_F(MemoryServiceTest, ReallocateKeepsContentsAndCountsTheGrowth) {
  void* block = nullptr;
  ASSERT_EQ(memory_.Allocate(100, &block), kOk);
  for (int i = 0; i < 100; ++i) static_cast<unsigned char*>(block)[i] = static_cast<unsigned char>(i);
  ASSERT_EQ(memory_.Reallocate(300, &block), kOk);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(static_cast<unsigned char*>(block)[i], i);
  ExpectStats(300, 300, 1, 0);
  ASSERT_EQ(memory_.Free(block), kOk);
}

TEST_F(MemoryServiceTest, SizesWithoutRoomForTheHeaderFail) {
  void* block = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(memory_.Allocate(0xFFFFFFFFu, &block), kOutOfMemory);
  EXPECT_EQ(memory_.Allocate(kMaxAllocationBytes + 1, &block), kOutOfMemory);
  EXPECT_EQ(block, reinterpret_cast<void*>(0x1234));  // untouched

  void* real = nullptr;
  ASSERT_EQ(memory_.Allocate(8, &real), kOk);
  void* before = real;
  EXPECT_EQ(memory_.Reallocate(0xFFFFFFF5u, &real), kOutOfMemory);
  EXPECT_EQ(real, before);
  ExpectStats(8, 8, 1, 0);  // the old block still counts after a failed resize
  ASSERT_EQ(memory_.Free(real), kOk);
}

TEST_F(MemoryServiceTest, CopyFillCompare) {
  unsigned char buf[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_EQ(memory_.Copy(buf + 1, buf, 7), kOk);  // overlapping, towards the end
  const unsigned char shifted[8] = {1, 1, 2, 3, 4, 5, 6, 7};
  EXPECT_EQ(std::memcmp(buf, shifted, 8), 0);

  ASSERT_EQ(memory_.Fill(buf, 0x1FF, 3), kOk);
  EXPECT_EQ(buf[0], 0xFF);
  EXPECT_EQ(buf[2], 0xFF);
  EXPECT_EQ(buf[3], 3);

  const unsigned char abc[] = {'a', 'b', 'c', 'd', 'e'};
  const unsigned char high[] = {'a', 0xF0};
  EXPECT_EQ(memory_.Compare(abc, 3, abc, 5), 2);
  EXPECT_EQ(memory_.Compare(abc, 5, abc, 3), 3);
  EXPECT_EQ(memory_.Compare(abc, 0, abc, 0), 0);
  EXPECT_EQ(memory_.Compare(abc, 2, high, 2), 2);  // bytes compare unsigned
  EXPECT_EQ(memory_.Compare(high, 2, abc, 5), 3);
}

TEST_F(MemoryServiceTest, PcreAdaptersGoThroughTheService) {
  void* block = PcreAllocate(40);
  ASSERT_NE(block, nullptr);
  ExpectStats(40, 40, 1, 0);
  EXPECT_EQ(PcreRelease(block), kOk);
  ExpectStats(40, 0, 1, 1);
  EXPECT_EQ(PcreAllocate(0xFFFFFFFFu), nullptr);
  EXPECT_EQ(PcreRelease(nullptr), kOk);  // PCRE passes null: nothing happens
  ExpectStats(40, 0, 1, 1);
}

TEST(ServiceRegistryTest, ReleaseKeepsSlots) {
  ASSERT_EQ(RegisterCoreServices(), kOk);
  ASSERT_EQ(RegisterCodecServices(), kOk);
  MemoryService* memory = Memory();
  ASSERT_NE(memory, nullptr);
  EXPECT_EQ(ReleaseServices(), kOk);
  EXPECT_EQ(Memory(), memory);
  void* block = nullptr;
  ASSERT_EQ(Memory()->Allocate(4, &block), kOk);
  EXPECT_EQ(Memory()->Free(block), kOk);
}

TEST(ServiceRegistryTest, OverrideIsRestored) {
  MemoryService* original = Memory();
  MemoryService substitute;
  {
    ScopedServiceOverride guard(Slot::kMemory, &substitute);
    EXPECT_EQ(Memory(), &substitute);
  }
  EXPECT_EQ(Memory(), original);
}

}  // namespace
}  // namespace sfx
