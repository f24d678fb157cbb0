// The progress queue between the worker and the dialog.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "launcher/progress_queue.h"
#include "services/core/memory_service.h"
#include "services/core/sync_service.h"
#include "tests/launcher/launcher_fixture.h"

namespace sfx {
namespace {

char* Text(const std::string& s) {
  void* block = nullptr;
  EXPECT_EQ(Memory()->Allocate(static_cast<std::uint32_t>(s.size() + 1), &block), kOk);
  auto* t = static_cast<char*>(block);
  std::memcpy(t, s.c_str(), s.size() + 1);
  return t;
}

TEST(ProgressQueue, FirstInFirstOutAndEmptyAgainAfterEachDrain) {
  ASSERT_TRUE(launcher::OpenProgressQueue());
  EXPECT_EQ(launcher::PopProgressText(), nullptr);
  // One in, one out: head and tail are both reset, so the next push is seen.
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(launcher::PushProgressText(Text("only")), 1);
    EXPECT_EQ(test::DrainProgressTexts(), std::vector<std::string>{"only"});
    EXPECT_EQ(launcher::PopProgressText(), nullptr);
  }
  for (const char* s : {"a", "b", "c"}) EXPECT_EQ(launcher::PushProgressText(Text(s)), 1);
  EXPECT_EQ(test::DrainProgressTexts(), (std::vector<std::string>{"a", "b", "c"}));
  launcher::CloseProgressQueue();
}

// A lock whose wait always fails, from a sync service standing in the slot.
class FailingWaitSemaphore : public Semaphore {
 public:
  Result Close() override { return kOk; }
  Result WaitSemaphore(std::uint32_t) override {
    ++waits;
    return kFail;
  }
  Result PostSemaphore() override { return kOk; }
  int waits = 0;
};

class FailingWaitSync : public SyncService {
 public:
  Result MakeSemaphore(std::int32_t, std::int32_t, Semaphore** semaphore) override {
    *semaphore = &lock;
    return kOk;
  }
  FailingWaitSemaphore lock;
};

TEST(ProgressQueue, AFailedWaitFreesThePushAndPopsNothing) {
  FailingWaitSync sync;
  {
    ScopedServiceOverride override(Slot::kSync, &sync);
    ASSERT_TRUE(launcher::OpenProgressQueue());
    // The text and its node are freed (the leak checker would see them).
    EXPECT_EQ(launcher::PushProgressText(Text("lost")), 0);
    EXPECT_EQ(launcher::PopProgressText(), nullptr);
    EXPECT_EQ(sync.lock.waits, 2);
    launcher::CloseProgressQueue();
  }
  // A working lock afterwards sees an empty queue.
  ASSERT_TRUE(launcher::OpenProgressQueue());
  EXPECT_EQ(launcher::PopProgressText(), nullptr);
  launcher::CloseProgressQueue();
}

TEST(ProgressQueue, AfterClosingPushesFreeTheirTextAndPopsGiveNothing) {
  ASSERT_TRUE(launcher::OpenProgressQueue());
  launcher::CloseProgressQueue();
  // The sanitizer's leak check sees the text freed.
  EXPECT_EQ(launcher::PushProgressText(Text("lost")), 0);
  EXPECT_EQ(launcher::PopProgressText(), nullptr);
  launcher::CloseProgressQueue();  // twice is harmless
}

TEST(ProgressQueue, OneProducerOneConsumerLoseNothing) {
  ASSERT_TRUE(launcher::OpenProgressQueue());
  constexpr int kCount = 5000;
  std::thread producer([] {
    for (int i = 0; i < kCount; ++i) ASSERT_EQ(launcher::PushProgressText(Text(std::to_string(i))), 1);
  });
  int next = 0;
  while (next < kCount) {
    if (char* t = launcher::PopProgressText()) {
      ASSERT_EQ(std::string(t), std::to_string(next));
      ASSERT_EQ(Memory()->Free(t), kOk);
      ++next;
    }
  }
  producer.join();
  EXPECT_EQ(launcher::PopProgressText(), nullptr);
  launcher::CloseProgressQueue();
}

}  // namespace
}  // namespace sfx
