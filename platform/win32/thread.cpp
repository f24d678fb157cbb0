#include "platform/thread.h"

#include <windows.h>

#include <new>

namespace sfx::platform {
namespace {

WaitOutcome Wait(HANDLE handle, std::uint32_t milliseconds) {
  switch (WaitForSingleObject(handle, milliseconds)) {
    case WAIT_OBJECT_0: return WaitOutcome::kSignalled;
    case WAIT_TIMEOUT: return WaitOutcome::kTimedOut;
    default: return WaitOutcome::kFailed;
  }
}

// Kernel handles stand for the opaque objects of the header.
template <class T>
T* Wrap(HANDLE h) {
  return reinterpret_cast<T*>(h);
}
template <class T>
HANDLE Unwrap(T* object) {
  return reinterpret_cast<HANDLE>(object);
}

struct Start {
  ThreadEntry entry;
  void* argument;
};

DWORD WINAPI ThreadMain(void* parameter) {
  const Start start = *static_cast<Start*>(parameter);
  delete static_cast<Start*>(parameter);
  start.entry(start.argument);
  return 0;
}

}  // namespace

struct ThreadObject {
  HANDLE handle;
  bool ended;  // a wait has seen the thread end
};

ThreadHandle StartThread(ThreadEntry entry, void* argument, std::uint32_t* id) {
  auto* thread = new (std::nothrow) ThreadObject{nullptr, false};
  auto* start = new (std::nothrow) Start{entry, argument};
  if (thread == nullptr || start == nullptr) {
    delete thread;
    delete start;
    return nullptr;
  }
  DWORD threadId = 0;
  thread->handle = CreateThread(nullptr, 0, ThreadMain, start, 0, &threadId);
  if (thread->handle == nullptr) {
    delete start;
    delete thread;
    return nullptr;
  }
  if (id) *id = threadId;
  return thread;
}

WaitOutcome WaitForThread(ThreadHandle thread, std::uint32_t milliseconds) {
  const WaitOutcome outcome = Wait(thread->handle, milliseconds);
  if (outcome == WaitOutcome::kSignalled) thread->ended = true;
  return outcome;
}

void CloseThread(ThreadHandle thread) {
  if (!thread->ended) (void)WaitForSingleObject(thread->handle, INFINITE);
  CloseHandle(thread->handle);
  delete thread;
}

MutexHandle MakeMutex() { return Wrap<MutexObject>(CreateMutexA(nullptr, FALSE, nullptr)); }
void LockMutex(MutexHandle mutex) { (void)WaitForSingleObject(Unwrap(mutex), INFINITE); }
void UnlockMutex(MutexHandle mutex) { (void)ReleaseMutex(Unwrap(mutex)); }
void CloseMutex(MutexHandle mutex) { CloseHandle(Unwrap(mutex)); }

EventHandle MakeEvent(bool manualReset, bool initiallySignalled) {
  return Wrap<EventObject>(CreateEventA(nullptr, manualReset, initiallySignalled, nullptr));
}
bool SignalEvent(EventHandle event) { return SetEvent(Unwrap(event)) != 0; }
bool ResetEvent(EventHandle event) { return ::ResetEvent(Unwrap(event)) != 0; }
WaitOutcome WaitForEvent(EventHandle event, std::uint32_t milliseconds) { return Wait(Unwrap(event), milliseconds); }
void CloseEvent(EventHandle event) { CloseHandle(Unwrap(event)); }

SemaphoreHandle MakeSemaphore(std::uint32_t initialCount, std::uint32_t maximumCount) {
  if (initialCount > 0x7FFFFFFFu || maximumCount > 0x7FFFFFFFu) return nullptr;
  return Wrap<SemaphoreObject>(
      CreateSemaphoreA(nullptr, static_cast<LONG>(initialCount), static_cast<LONG>(maximumCount), nullptr));
}
bool PostSemaphore(SemaphoreHandle semaphore) { return ReleaseSemaphore(Unwrap(semaphore), 1, nullptr) != 0; }
WaitOutcome WaitForSemaphore(SemaphoreHandle semaphore, std::uint32_t milliseconds) {
  return Wait(Unwrap(semaphore), milliseconds);
}
void CloseSemaphore(SemaphoreHandle semaphore) { CloseHandle(Unwrap(semaphore)); }

}  // namespace sfx::platform
