#include "services/core/thread_service.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

#include "platform/thread.h"
#include "services/core/sync_service.h"
#include "tests/support/fault_memory.h"

namespace sfx {
namespace {

struct Gate {
  Event* go = nullptr;
  Result result = 0;
};

Result WaitForGate(void* argument) {
  auto* gate = static_cast<Gate*>(argument);
  if (Failed(gate->go->WaitEvent(kInfiniteWait))) return kFail;
  return gate->result;
}

TEST(ThreadServiceTest, ResultIsFailureUntilTheFunctionReturns) {
  Gate gate;
  gate.result = 5;  // a non-negative value other than 0 comes through as it is
  ASSERT_EQ(Sync()->MakeEvent(1, 0, &gate.go), kOk);
  Thread* t = nullptr;
  ASSERT_EQ(Threads()->StartThread(WaitForGate, &gate, &t), kOk);
  EXPECT_NE(t->threadId(), 0u);
  EXPECT_EQ(t->GetThreadResult(), kFail);
  ASSERT_EQ(gate.go->SetEventState(1), kOk);
  ASSERT_EQ(t->WaitThread(), kOk);
  EXPECT_EQ(t->GetThreadResult(), 5);
  EXPECT_EQ(t->WaitThread(), kOk);  // waiting again on an ended thread
  EXPECT_EQ(t->CloseThread(), kOk);
  EXPECT_EQ(gate.go->Close(), kOk);
}

Result ReturnArgument(void* argument) { return static_cast<Result>(reinterpret_cast<std::intptr_t>(argument)); }

TEST(ThreadServiceTest, ManyThreadsKeepTheirOwnResults) {
  const Result results[] = {0, 1, 0x7FFFFFFF, static_cast<Result>(0x80070009u), kThreadStartFailed, -1};
  Thread* threads[6] = {};
  std::set<std::uint32_t> ids;
  for (int i = 0; i < 6; ++i) {
    ASSERT_EQ(Threads()->StartThread(ReturnArgument, reinterpret_cast<void*>(static_cast<std::intptr_t>(results[i])),
                                     &threads[i]),
              kOk);
    ids.insert(threads[i]->threadId());
  }
  EXPECT_EQ(ids.size(), 6u);
  for (int i = 0; i < 6; ++i) {
    ASSERT_EQ(threads[i]->WaitThread(), kOk);
    EXPECT_EQ(threads[i]->GetThreadResult(), results[i]);
    EXPECT_EQ(threads[i]->CloseThread(), kOk);
  }
}

struct SlowWork {
  std::atomic<bool> finished{false};
};

Result SleepThenFinish(void* argument) {
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  static_cast<SlowWork*>(argument)->finished = true;
  return 3;
}

// Closing a thread nobody waited for must not free the instance under it:
// the thread stores its result there when its function returns.
TEST(ThreadServiceTest, CloseWaitsForARunningThread) {
  test::ScopedFaultMemory memory;
  SlowWork work;
  Thread* t = nullptr;
  ASSERT_EQ(Threads()->StartThread(SleepThenFinish, &work, &t), kOk);
  EXPECT_EQ(t->CloseThread(), kOk);
  EXPECT_TRUE(work.finished);
  std::uint32_t current = 1;
  ASSERT_EQ(memory->GetStatistics(nullptr, &current, nullptr, nullptr), kOk);
  EXPECT_EQ(current, 0u);
}

TEST(ThreadServiceTest, FailuresLeaveNoInstance) {
  test::ScopedFaultMemory memory;
  memory->FailAll();
  Thread* t = nullptr;
  EXPECT_EQ(Threads()->StartThread(ReturnArgument, nullptr, &t), kOutOfMemory);
  EXPECT_EQ(t, nullptr);
  memory->Heal();
  EXPECT_EQ(Threads()->StartThread(nullptr, nullptr, &t), kFail);
  EXPECT_EQ(Threads()->StartThread(ReturnArgument, nullptr, nullptr), kNullOutput);
  // The instance slots on the service object itself do nothing.
  EXPECT_EQ(Threads()->CloseThread(), kFail);
  EXPECT_EQ(Threads()->WaitThread(), kFail);
  EXPECT_EQ(Threads()->GetThreadResult(), kFail);
}

// The platform mutex the launcher guards its queue with. (Few rounds: each
// lock is a round trip to the kernel on Windows.)
struct Counter {
  platform::MutexHandle mutex;
  int value = 0;
};

void CountUnderTheMutex(void* argument) {
  auto* counter = static_cast<Counter*>(argument);
  for (int i = 0; i < 1000; ++i) {
    platform::LockMutex(counter->mutex);
    platform::LockMutex(counter->mutex);  // a holder may take it again
    ++counter->value;
    platform::UnlockMutex(counter->mutex);
    platform::UnlockMutex(counter->mutex);
  }
}

TEST(PlatformThreadTest, MutexSerialisesThreads) {
  Counter counter;
  counter.mutex = platform::MakeMutex();
  ASSERT_NE(counter.mutex, nullptr);
  platform::ThreadHandle threads[4];
  for (auto& t : threads) {
    t = platform::StartThread(CountUnderTheMutex, &counter, nullptr);
    ASSERT_NE(t, nullptr);
  }
  for (auto& t : threads) {
    EXPECT_EQ(platform::WaitForThread(t, platform::kWaitForever), platform::WaitOutcome::kSignalled);
    platform::CloseThread(t);
  }
  EXPECT_EQ(counter.value, 4000);
  platform::CloseMutex(counter.mutex);
}

TEST(PlatformThreadTest, ThreadWaitTimesOut) {
  platform::EventHandle release = platform::MakeEvent(true, false);
  ASSERT_NE(release, nullptr);
  platform::ThreadHandle t = platform::StartThread(
      [](void* e) { (void)platform::WaitForEvent(static_cast<platform::EventHandle>(e), platform::kWaitForever); },
      release, nullptr);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(platform::WaitForThread(t, 0), platform::WaitOutcome::kTimedOut);
  EXPECT_EQ(platform::WaitForThread(t, 20), platform::WaitOutcome::kTimedOut);
  EXPECT_TRUE(platform::SignalEvent(release));
  EXPECT_EQ(platform::WaitForThread(t, 5000), platform::WaitOutcome::kSignalled);
  platform::CloseThread(t);
  platform::CloseEvent(release);
}

}  // namespace
}  // namespace sfx
