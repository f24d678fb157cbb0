#include "services/core/thread_service.h"

#include "services/core/memory_service.h"
#include "services/core/registry_p.h"

namespace sfx {
namespace {

ThreadService g_threadService;

}  // namespace

ServiceObject* detail::TheThreadService() { return &g_threadService; }

Result ThreadService::StartThread(ThreadFunction function, void* argument, Thread** thread) {
  if (thread == nullptr) return kNullOutput;
  if (function == nullptr) return kFail;
  Thread* t = nullptr;
  SFX_TRY(NewInstance(&t, function, argument));
  // The handle is stored before anyone but the new thread can see the
  // instance; the thread itself touches only the function, argument and result.
  t->handle_ = platform::StartThread(&Thread::Run, t, &t->threadId_);
  if (t->handle_ == nullptr) {
    (void)DeleteInstance(t);
    return kThreadStartFailed;
  }
  *thread = t;
  return kOk;
}

void Thread::Run(void* self) {
  auto* t = static_cast<Thread*>(self);
  t->threadResult_.store(t->function_(t->argument_), std::memory_order_release);
}

Result Thread::CloseThread() {
  platform::CloseThread(handle_);
  return DeleteInstance(this);
}

Result Thread::WaitThread() {
  return platform::WaitForThread(handle_, platform::kWaitForever) == platform::WaitOutcome::kSignalled ? kOk : kFail;
}

Result Thread::GetThreadResult() { return threadResult_.load(std::memory_order_acquire); }

}  // namespace sfx
