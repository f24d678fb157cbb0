#include "services/core/sync_service.h"

#include "services/core/memory_service.h"
#include "services/core/registry_p.h"

namespace sfx {
namespace {

SyncService g_syncService;

}  // namespace

ServiceObject* detail::TheSyncService() { return &g_syncService; }

Result SyncService::MakeSemaphore(std::int32_t initialCount, std::int32_t maximumCount, Semaphore** semaphore) {
  if (semaphore == nullptr) return kNullOutput;
  Semaphore* s = nullptr;
  SFX_TRY(NewInstance(&s));
  s->maximumCount_ = static_cast<std::uint32_t>(maximumCount);
  if (initialCount >= 0 && maximumCount >= 0) {
    s->handle_ =
        platform::MakeSemaphore(static_cast<std::uint32_t>(initialCount), static_cast<std::uint32_t>(maximumCount));
  }
  if (s->handle_ == nullptr) {
    (void)DeleteInstance(s);
    return kFail;
  }
  *semaphore = s;
  return kOk;
}

Result SyncService::MakeEvent(int manualReset, int initiallySignalled, Event** event) {
  if (event == nullptr) return kNullOutput;
  Event* e = nullptr;
  SFX_TRY(NewInstance(&e));
  e->manualReset_ = static_cast<std::uint32_t>(manualReset);
  e->handle_ = platform::MakeEvent(manualReset != 0, initiallySignalled != 0);
  if (e->handle_ == nullptr) {
    (void)DeleteInstance(e);
    return kFail;
  }
  *event = e;
  return kOk;
}

Result Semaphore::Close() {
  platform::CloseSemaphore(handle_);
  return DeleteInstance(this);
}

Result Semaphore::WaitSemaphore(std::uint32_t milliseconds) {
  switch (platform::WaitForSemaphore(handle_, milliseconds)) {
    case platform::WaitOutcome::kSignalled: return kOk;
    case platform::WaitOutcome::kTimedOut: return kSemaphoreTimedOut;
    default: return kFail;
  }
}

Result Semaphore::PostSemaphore() { return platform::PostSemaphore(handle_) ? kOk : kFail; }

Result Event::Close() {
  platform::CloseEvent(handle_);
  return DeleteInstance(this);
}

Result Event::WaitEvent(std::uint32_t milliseconds) {
  switch (platform::WaitForEvent(handle_, milliseconds)) {
    case platform::WaitOutcome::kSignalled: return kOk;
    case platform::WaitOutcome::kTimedOut: return kEventTimedOut;
    default: return kFail;
  }
}

Result Event::SetEventState(int signalled) {
  if (signalled != 0) return platform::SignalEvent(handle_) ? kOk : kEventSetFailed;
  return platform::ResetEvent(handle_) ? kOk : kEventResetFailed;
}

}  // namespace sfx
