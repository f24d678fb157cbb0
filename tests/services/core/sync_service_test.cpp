#include "services/core/sync_service.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "services/core/memory_service.h"
#include "services/core/thread_service.h"
#include "tests/support/fault_memory.h"

namespace sfx {
namespace {

using Clock = std::chrono::steady_clock;

long long MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A private memory service, so leaks show in its statistics.
class SyncServiceTest : public ::testing::Test {
 protected:
  std::uint32_t CurrentBytes() {
    std::uint32_t current = 0;
    EXPECT_EQ(memory_.GetStatistics(nullptr, &current, nullptr, nullptr), kOk);
    return current;
  }

  test::FaultInjectingMemoryService memory_;
  ScopedServiceOverride override_{Slot::kMemory, &memory_};
};

TEST_F(SyncServiceTest, SemaphoreCountsUpToItsMaximum) {
  Semaphore* s = nullptr;
  ASSERT_EQ(Sync()->MakeSemaphore(0, 2, &s), kOk);
  EXPECT_EQ(s->maximumCount(), 2u);
  EXPECT_EQ(s->WaitSemaphore(0), kSemaphoreTimedOut);
  EXPECT_EQ(s->PostSemaphore(), kOk);
  EXPECT_EQ(s->PostSemaphore(), kOk);
  EXPECT_EQ(s->PostSemaphore(), kFail);  // past the maximum
  EXPECT_EQ(s->WaitSemaphore(0), kOk);
  EXPECT_EQ(s->WaitSemaphore(kInfiniteWait), kOk);
  EXPECT_EQ(s->WaitSemaphore(0), kSemaphoreTimedOut);
  EXPECT_EQ(s->Close(), kOk);
  EXPECT_EQ(CurrentBytes(), 0u);
}

TEST_F(SyncServiceTest, SemaphoreTimeOutWaitsAboutThatLong) {
  Semaphore* s = nullptr;
  ASSERT_EQ(Sync()->MakeSemaphore(0, 1, &s), kOk);
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(s->WaitSemaphore(60), kSemaphoreTimedOut);
  EXPECT_GE(MillisecondsSince(start), 50);
  EXPECT_EQ(s->Close(), kOk);
}

TEST_F(SyncServiceTest, RefusedCountsLeaveNoInstance) {
  Semaphore* s = nullptr;
  EXPECT_EQ(Sync()->MakeSemaphore(3, 2, &s), kFail);
  EXPECT_EQ(Sync()->MakeSemaphore(-1, 2, &s), kFail);
  EXPECT_EQ(Sync()->MakeSemaphore(0, 0, &s), kFail);
  EXPECT_EQ(s, nullptr);
  EXPECT_EQ(CurrentBytes(), 0u);
  memory_.FailAll();
  EXPECT_EQ(Sync()->MakeSemaphore(0, 1, &s), kOutOfMemory);
  Event* e = nullptr;
  EXPECT_EQ(Sync()->MakeEvent(0, 0, &e), kOutOfMemory);
  EXPECT_EQ(e, nullptr);
  EXPECT_EQ(Sync()->MakeEvent(0, 0, nullptr), kNullOutput);
}

TEST_F(SyncServiceTest, AutomaticEventReleasesOneWait) {
  Event* e = nullptr;
  ASSERT_EQ(Sync()->MakeEvent(0, 0, &e), kOk);
  EXPECT_FALSE(e->manualReset());
  EXPECT_EQ(e->WaitEvent(0), kEventTimedOut);
  EXPECT_EQ(e->SetEventState(1), kOk);
  EXPECT_EQ(e->WaitEvent(0), kOk);
  EXPECT_EQ(e->WaitEvent(0), kEventTimedOut);
  EXPECT_EQ(e->SetEventState(1), kOk);
  EXPECT_EQ(e->SetEventState(0), kOk);
  EXPECT_EQ(e->WaitEvent(0), kEventTimedOut);
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(e->WaitEvent(40), kEventTimedOut);
  EXPECT_GE(MillisecondsSince(start), 30);
  EXPECT_EQ(e->Close(), kOk);
}

TEST_F(SyncServiceTest, ManualEventStaysSignalledUntilReset) {
  Event* e = nullptr;
  ASSERT_EQ(Sync()->MakeEvent(1, 1, &e), kOk);  // starts signalled
  EXPECT_TRUE(e->manualReset());
  EXPECT_EQ(e->WaitEvent(0), kOk);
  EXPECT_EQ(e->WaitEvent(kInfiniteWait), kOk);
  EXPECT_EQ(e->SetEventState(0), kOk);
  EXPECT_EQ(e->WaitEvent(0), kEventTimedOut);
  EXPECT_EQ(e->Close(), kOk);
  EXPECT_EQ(CurrentBytes(), 0u);
}

// ---- across threads ----

Result WaitOnSemaphore(void* argument) { return static_cast<Semaphore*>(argument)->WaitSemaphore(kInfiniteWait); }
Result WaitOnEvent(void* argument) { return static_cast<Event*>(argument)->WaitEvent(5000); }

TEST_F(SyncServiceTest, PostsAndSignalsWakeWaitingThreads) {
  Semaphore* s = nullptr;
  Event* e = nullptr;
  ASSERT_EQ(Sync()->MakeSemaphore(0, 4, &s), kOk);
  ASSERT_EQ(Sync()->MakeEvent(1, 0, &e), kOk);
  Thread* waiters[4] = {};
  for (int i = 0; i < 2; ++i) ASSERT_EQ(Threads()->StartThread(WaitOnSemaphore, s, &waiters[i]), kOk);
  for (int i = 2; i < 4; ++i) ASSERT_EQ(Threads()->StartThread(WaitOnEvent, e, &waiters[i]), kOk);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  for (Thread* t : waiters) EXPECT_EQ(t->GetThreadResult(), kFail);  // all still waiting
  EXPECT_EQ(s->PostSemaphore(), kOk);
  EXPECT_EQ(s->PostSemaphore(), kOk);
  EXPECT_EQ(e->SetEventState(1), kOk);  // a manual event releases every waiter
  for (Thread* t : waiters) {
    ASSERT_EQ(t->WaitThread(), kOk);
    EXPECT_EQ(t->GetThreadResult(), kOk);
    EXPECT_EQ(t->CloseThread(), kOk);
  }
  EXPECT_EQ(s->WaitSemaphore(0), kSemaphoreTimedOut);  // both counts were taken
  EXPECT_EQ(s->Close(), kOk);
  EXPECT_EQ(e->Close(), kOk);
  EXPECT_EQ(CurrentBytes(), 0u);
}

}  // namespace
}  // namespace sfx
