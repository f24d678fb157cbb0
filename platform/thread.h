// Threads and the objects threads wait on: mutexes, events and counting
// semaphores. Every object here may be used from any thread at once; closing
// one while another thread still uses it is the caller's error.
#pragma once

#include <cstdint>

namespace sfx::platform {

// Waits with this time-out never end by time.
inline constexpr std::uint32_t kWaitForever = 0xFFFFFFFFu;

enum class WaitOutcome { kSignalled, kTimedOut, kFailed };

// ---- threads ----
struct ThreadObject;
using ThreadHandle = ThreadObject*;
using ThreadEntry = void (*)(void* argument);

// Starts `entry(argument)` at once with the default stack size. Null when the
// thread cannot be started. `id` (optional) receives a number that names the
// thread while it exists.
ThreadHandle StartThread(ThreadEntry entry, void* argument, std::uint32_t* id);
// Waits until the thread has ended. May be called more than once.
WaitOutcome WaitForThread(ThreadHandle thread, std::uint32_t milliseconds);
// Releases the handle. A thread still running is waited for first, so that
// nothing it touches is released under it.
void CloseThread(ThreadHandle thread);

// ---- mutexes (unnamed) ----
struct MutexObject;
using MutexHandle = MutexObject*;

MutexHandle MakeMutex();
void LockMutex(MutexHandle mutex);
void UnlockMutex(MutexHandle mutex);
void CloseMutex(MutexHandle mutex);

// ---- events ----
struct EventObject;
using EventHandle = EventObject*;

// A manual-reset event stays signalled until reset; an automatic one is
// reset by the one wait it releases. Null on failure.
EventHandle MakeEvent(bool manualReset, bool initiallySignalled);
bool SignalEvent(EventHandle event);
bool ResetEvent(EventHandle event);
WaitOutcome WaitForEvent(EventHandle event, std::uint32_t milliseconds);
void CloseEvent(EventHandle event);

// ---- counting semaphores ----
struct SemaphoreObject;
using SemaphoreHandle = SemaphoreObject*;

// Null when the counts are refused (initial above maximum, maximum 0, or
// either above the largest signed 32-bit count).
SemaphoreHandle MakeSemaphore(std::uint32_t initialCount, std::uint32_t maximumCount);
// Adds one count; false when that would pass the maximum.
bool PostSemaphore(SemaphoreHandle semaphore);
WaitOutcome WaitForSemaphore(SemaphoreHandle semaphore, std::uint32_t milliseconds);
void CloseSemaphore(SemaphoreHandle semaphore);

}  // namespace sfx::platform
