#include "services/core/sync_service.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

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

// ---- wake-ups go to the threads waiting when they happen ----

struct Waiting {
  Semaphore* semaphore = nullptr;
  Event* event = nullptr;
  std::uint32_t milliseconds = 5000;
  std::atomic<int> started{0};
};

Result WaitOnEither(void* argument) {
  auto* w = static_cast<Waiting*>(argument);
  ++w->started;
  return w->semaphore ? w->semaphore->WaitSemaphore(w->milliseconds) : w->event->WaitEvent(w->milliseconds);
}

// Starts `count` threads waiting and gives them time to block.
std::vector<Thread*> StartWaiters(Waiting* w, int count) {
  std::vector<Thread*> threads(static_cast<std::size_t>(count));
  for (Thread*& t : threads) EXPECT_EQ(Threads()->StartThread(WaitOnEither, w, &t), kOk);
  while (w->started < count) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  return threads;
}

int CountReleased(std::vector<Thread*>& threads) {
  int released = 0;
  for (Thread* t : threads) {
    EXPECT_EQ(t->WaitThread(), kOk);
    released += t->GetThreadResult() == kOk ? 1 : 0;
    EXPECT_EQ(t->CloseThread(), kOk);
  }
  return released;
}

TEST_F(SyncServiceTest, ManualEventSetAndResetAtOnceReleasesEveryWaiter) {
  Waiting w;
  ASSERT_EQ(Sync()->MakeEvent(1, 0, &w.event), kOk);
  std::vector<Thread*> threads = StartWaiters(&w, 20);
  EXPECT_EQ(w.event->SetEventState(1), kOk);
  EXPECT_EQ(w.event->SetEventState(0), kOk);
  EXPECT_EQ(CountReleased(threads), 20);
  EXPECT_EQ(w.event->WaitEvent(0), kEventTimedOut);  // reset for later callers
  EXPECT_EQ(w.event->Close(), kOk);
}

TEST_F(SyncServiceTest, EachCountGoesToAThreadAlreadyWaiting) {
  for (const bool semaphore : {true, false}) {
    SCOPED_TRACE(semaphore ? "semaphore" : "automatic event");
    Waiting w;
    w.milliseconds = 1500;
    if (semaphore) {
      ASSERT_EQ(Sync()->MakeSemaphore(0, 1, &w.semaphore), kOk);
    } else {
      ASSERT_EQ(Sync()->MakeEvent(0, 0, &w.event), kOk);
    }
    std::vector<Thread*> threads = StartWaiters(&w, 3);
    for (int i = 0; i < 2; ++i) {
      // A caller arriving just after the wake-up finds nothing left.
      EXPECT_EQ(semaphore ? w.semaphore->PostSemaphore() : w.event->SetEventState(1), kOk);
      EXPECT_EQ(semaphore ? w.semaphore->WaitSemaphore(0) : w.event->WaitEvent(0),
                semaphore ? kSemaphoreTimedOut : kEventTimedOut);
    }
    EXPECT_EQ(CountReleased(threads), 2);  // the third waits out its time
    EXPECT_EQ(semaphore ? w.semaphore->Close() : w.event->Close(), kOk);
  }
  EXPECT_EQ(CurrentBytes(), 0u);
}

}  // namespace
}  // namespace sfx
