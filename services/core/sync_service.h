// Counting semaphores and events as instances with one uniform wait, for
// callers that share work between threads. Time-outs are distinct Results.
#pragma once

#include <cstdint>

#include "platform/thread.h"
#include "services/core/service.h"

namespace sfx {

// Waits with this time-out never end by time.
inline constexpr std::uint32_t kInfiniteWait = 0xFFFFFFFFu;

inline constexpr Result kSemaphoreTimedOut = FailureCode(facility::kSemaphore, 0x0003);
inline constexpr Result kEventTimedOut = FailureCode(facility::kEvent, 0x0003);
inline constexpr Result kEventResetFailed = FailureCode(facility::kEvent, 0x0005);
inline constexpr Result kEventSetFailed = FailureCode(facility::kEvent, 0x0006);

class Semaphore : public ServiceObject {
 public:
  // 1. Releases the platform semaphore and the instance.
  virtual Result Close();
  // 2. 0 when a count was taken, kSemaphoreTimedOut, or kFail.
  virtual Result WaitSemaphore(std::uint32_t milliseconds);
  // 3. Adds one count; kFail when that would pass the maximum.
  virtual Result PostSemaphore();
  virtual Result ReservedLast() { return kFail; }

  std::uint32_t maximumCount() const { return maximumCount_; }

  // Made only by SyncService::MakeSemaphore.
  Semaphore() = default;
  ~Semaphore() = default;

 private:
  friend class SyncService;

  std::uint32_t maximumCount_ = 0;
  platform::SemaphoreHandle handle_ = nullptr;
};

class Event : public ServiceObject {
 public:
  // 1. Releases the platform event and the instance.
  virtual Result Close();
  // 2. 0 when signalled, kEventTimedOut, or kFail. An automatic-reset event
  //    is reset by the wait it releases.
  virtual Result WaitEvent(std::uint32_t milliseconds);
  // 3. Non-zero signals (kEventSetFailed), zero resets (kEventResetFailed).
  virtual Result SetEventState(int signalled);
  virtual Result ReservedLast() { return kFail; }

  bool manualReset() const { return manualReset_ != 0; }

  // Made only by SyncService::MakeEvent.
  Event() = default;
  ~Event() = default;

 private:
  friend class SyncService;

  std::uint32_t manualReset_ = 0;
  platform::EventHandle handle_ = nullptr;
};

class SyncService : public ServiceObject {
 public:
  // 1. kOutOfMemory, or kFail when the platform refuses the counts (an
  //    initial count above the maximum, for one); no instance is left then.
  virtual Result MakeSemaphore(std::int32_t initialCount, std::int32_t maximumCount, Semaphore** semaphore);
  // 2. The same codes.
  virtual Result MakeEvent(int manualReset, int initiallySignalled, Event** event);
  virtual Result ReservedLast() { return kFail; }

  SyncService() = default;
};

inline SyncService* Sync() { return Service<SyncService>(Slot::kSync); }

}  // namespace sfx
