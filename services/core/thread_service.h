// Starts a function on a new platform thread and keeps the function's
// Result for later collection. The service and its thread instances share
// one table: slot 1 is the service's, slots 2 to 4 are the instance's.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/thread.h"
#include "services/core/service.h"

namespace sfx {

inline constexpr Result kThreadStartFailed = FailureCode(facility::kThread, 0x0001);

using ThreadFunction = Result (*)(void* argument);

class Thread;

class ThreadService : public ServiceObject {
 public:
  // 1. kOutOfMemory, or kThreadStartFailed (no instance is left).
  virtual Result StartThread(ThreadFunction function, void* argument, Thread** thread);
  // 2.-4. Instance operations; on the service object itself they fail.
  virtual Result CloseThread() { return kFail; }
  virtual Result WaitThread() { return kFail; }
  virtual Result GetThreadResult() { return kFail; }
  virtual Result ReservedLast() { return kFail; }

  ThreadService() = default;
};

class Thread final : public ThreadService {
 public:
  // 2. Releases the instance and the platform thread. A thread that has not
  //    been waited for is waited for first: it writes its result into the
  //    instance, which must outlive it.
  Result CloseThread() override;
  // 3. Waits without time-out; 0 once the thread has ended, else kFail.
  Result WaitThread() override;
  // 4. kFail while the function runs, then the function's own Result.
  Result GetThreadResult() override;

  std::uint32_t threadId() const { return threadId_; }

  // Made only by ThreadService::StartThread.
  Thread(ThreadFunction function, void* argument) : function_(function), argument_(argument) {}
  ~Thread() = default;

 private:
  friend class ThreadService;

  static void Run(void* self);

  ThreadFunction function_;
  void* argument_;
  // Written once by the started thread, read by others without a lock.
  std::atomic<Result> threadResult_{kFail};
  platform::ThreadHandle handle_ = nullptr;
  std::uint32_t threadId_ = 0;
};

inline ThreadService* Threads() { return Service<ThreadService>(Slot::kThread); }

}  // namespace sfx
