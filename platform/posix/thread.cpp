#include "platform/thread.h"

#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <ctime>
#include <new>

namespace sfx::platform {
namespace {

// A mutex and a condition variable on the monotonic clock, so time-outs do
// not move with the wall clock. Every waitable object below is one of these
// plus its own state.
struct Monitor {
  pthread_mutex_t mutex;
  pthread_cond_t changed;

  bool Init() {
    if (pthread_mutex_init(&mutex, nullptr) != 0) return false;
    pthread_condattr_t attributes;
    bool ok = pthread_condattr_init(&attributes) == 0;
    ok = ok && pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC) == 0 &&
         pthread_cond_init(&changed, &attributes) == 0;
    pthread_condattr_destroy(&attributes);
    if (!ok) pthread_mutex_destroy(&mutex);
    return ok;
  }
  void Destroy() {
    pthread_cond_destroy(&changed);
    pthread_mutex_destroy(&mutex);
  }

  // Waits, with the mutex held, until ready() holds or the time runs out.
  template <class Ready>
  WaitOutcome WaitUntil(std::uint32_t milliseconds, Ready ready) {
    if (ready()) return WaitOutcome::kSignalled;
    if (milliseconds == 0) return WaitOutcome::kTimedOut;
    if (milliseconds == kWaitForever) {
      while (!ready()) {
        if (pthread_cond_wait(&changed, &mutex) != 0) return WaitOutcome::kFailed;
      }
      return WaitOutcome::kSignalled;
    }
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += milliseconds / 1000;
    deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
      deadline.tv_nsec -= 1000000000L;
      ++deadline.tv_sec;
    }
    while (!ready()) {
      const int r = pthread_cond_timedwait(&changed, &mutex, &deadline);
      if (r == ETIMEDOUT) return ready() ? WaitOutcome::kSignalled : WaitOutcome::kTimedOut;
      if (r != 0) return WaitOutcome::kFailed;
    }
    return WaitOutcome::kSignalled;
  }
};

class Locked {
 public:
  explicit Locked(Monitor& m) : m_(m) { pthread_mutex_lock(&m_.mutex); }
  ~Locked() { pthread_mutex_unlock(&m_.mutex); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  Monitor& m_;
};

std::atomic<std::uint32_t> g_nextThreadId{1};

}  // namespace

// ---- threads ----

struct ThreadObject {
  Monitor monitor;
  pthread_t thread;
  ThreadEntry entry;
  void* argument;
  bool ended;
};

namespace {

void* ThreadMain(void* parameter) {
  auto* thread = static_cast<ThreadObject*>(parameter);
  thread->entry(thread->argument);
  Locked lock(thread->monitor);
  thread->ended = true;
  pthread_cond_broadcast(&thread->monitor.changed);
  return nullptr;
}

}  // namespace

ThreadHandle StartThread(ThreadEntry entry, void* argument, std::uint32_t* id) {
  auto* thread = new (std::nothrow) ThreadObject{};
  if (thread == nullptr) return nullptr;
  if (!thread->monitor.Init()) {
    delete thread;
    return nullptr;
  }
  thread->entry = entry;
  thread->argument = argument;
  if (pthread_create(&thread->thread, nullptr, ThreadMain, thread) != 0) {
    thread->monitor.Destroy();
    delete thread;
    return nullptr;
  }
  if (id) *id = g_nextThreadId.fetch_add(1, std::memory_order_relaxed);
  return thread;
}

WaitOutcome WaitForThread(ThreadHandle thread, std::uint32_t milliseconds) {
  Locked lock(thread->monitor);
  return thread->monitor.WaitUntil(milliseconds, [thread] { return thread->ended; });
}

void CloseThread(ThreadHandle thread) {
  // Joining also waits for a thread nobody waited for, so it never runs on
  // into the released object.
  pthread_join(thread->thread, nullptr);
  thread->monitor.Destroy();
  delete thread;
}

// ---- mutexes ----

struct MutexObject {
  pthread_mutex_t mutex;
};

MutexHandle MakeMutex() {
  auto* m = new (std::nothrow) MutexObject{};
  if (m == nullptr) return nullptr;
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  // A thread may take a mutex it already holds, as with the Windows object.
  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  const int r = pthread_mutex_init(&m->mutex, &attributes);
  pthread_mutexattr_destroy(&attributes);
  if (r != 0) {
    delete m;
    return nullptr;
  }
  return m;
}

void LockMutex(MutexHandle mutex) { pthread_mutex_lock(&mutex->mutex); }
void UnlockMutex(MutexHandle mutex) { pthread_mutex_unlock(&mutex->mutex); }
void CloseMutex(MutexHandle mutex) {
  pthread_mutex_destroy(&mutex->mutex);
  delete mutex;
}

// ---- events ----

struct EventObject {
  Monitor monitor;
  bool manualReset;
  bool signalled;
};

EventHandle MakeEvent(bool manualReset, bool initiallySignalled) {
  auto* event = new (std::nothrow) EventObject{};
  if (event == nullptr) return nullptr;
  if (!event->monitor.Init()) {
    delete event;
    return nullptr;
  }
  event->manualReset = manualReset;
  event->signalled = initiallySignalled;
  return event;
}

bool SignalEvent(EventHandle event) {
  Locked lock(event->monitor);
  event->signalled = true;
  // An automatic event releases one waiter; a manual one all of them.
  if (event->manualReset) {
    pthread_cond_broadcast(&event->monitor.changed);
  } else {
    pthread_cond_signal(&event->monitor.changed);
  }
  return true;
}

bool ResetEvent(EventHandle event) {
  Locked lock(event->monitor);
  event->signalled = false;
  return true;
}

WaitOutcome WaitForEvent(EventHandle event, std::uint32_t milliseconds) {
  Locked lock(event->monitor);
  const WaitOutcome outcome = event->monitor.WaitUntil(milliseconds, [event] { return event->signalled; });
  if (outcome == WaitOutcome::kSignalled && !event->manualReset) event->signalled = false;
  return outcome;
}

void CloseEvent(EventHandle event) {
  event->monitor.Destroy();
  delete event;
}

// ---- semaphores ----

struct SemaphoreObject {
  Monitor monitor;
  std::uint32_t count;
  std::uint32_t maximum;
};

SemaphoreHandle MakeSemaphore(std::uint32_t initialCount, std::uint32_t maximumCount) {
  if (maximumCount == 0 || maximumCount > 0x7FFFFFFFu || initialCount > maximumCount) return nullptr;
  auto* semaphore = new (std::nothrow) SemaphoreObject{};
  if (semaphore == nullptr) return nullptr;
  if (!semaphore->monitor.Init()) {
    delete semaphore;
    return nullptr;
  }
  semaphore->count = initialCount;
  semaphore->maximum = maximumCount;
  return semaphore;
}

bool PostSemaphore(SemaphoreHandle semaphore) {
  Locked lock(semaphore->monitor);
  if (semaphore->count >= semaphore->maximum) return false;
  ++semaphore->count;
  pthread_cond_signal(&semaphore->monitor.changed);
  return true;
}

WaitOutcome WaitForSemaphore(SemaphoreHandle semaphore, std::uint32_t milliseconds) {
  Locked lock(semaphore->monitor);
  const WaitOutcome outcome = semaphore->monitor.WaitUntil(milliseconds, [semaphore] { return semaphore->count > 0; });
  if (outcome == WaitOutcome::kSignalled) --semaphore->count;
  return outcome;
}

void CloseSemaphore(SemaphoreHandle semaphore) {
  semaphore->monitor.Destroy();
  delete semaphore;
}

}  // namespace sfx::platform
