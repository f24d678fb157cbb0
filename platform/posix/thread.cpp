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

// The threads waiting on an event or a semaphore, oldest first. A signal or a
// post hands itself to waiters already in the queue, marking them granted, so
// a wake-up is never lost to a reset that follows at once, nor taken by a
// thread that starts waiting later. Each node lives on its waiter's stack and
// is touched only with the monitor's mutex held.
struct Waiter {
  Waiter* next = nullptr;
  bool granted = false;
};

struct WaitQueue {
  Waiter* head = nullptr;
  Waiter* tail = nullptr;

  bool Empty() const { return head == nullptr; }
  void Push(Waiter* w) {
    if (tail) {
      tail->next = w;
    } else {
      head = w;
    }
    tail = w;
  }
  // Grants the oldest waiter.
  void GrantOne() {
    Waiter* w = head;
    head = w->next;
    if (head == nullptr) tail = nullptr;
    w->granted = true;
  }
  void GrantAll() {
    while (!Empty()) GrantOne();
  }
  void Remove(Waiter* w) {
    Waiter* before = nullptr;
    for (Waiter* p = head; p != nullptr; before = p, p = p->next) {
      if (p != w) continue;
      (before ? before->next : head) = w->next;
      if (tail == w) tail = before;
      return;
    }
  }
};

// Queues the caller and waits, with the monitor's mutex held, until it is
// granted or the time runs out. A grant that lands with the time-out counts.
WaitOutcome WaitInQueue(Monitor& monitor, WaitQueue& queue, std::uint32_t milliseconds) {
  if (milliseconds == 0) return WaitOutcome::kTimedOut;
  Waiter self;
  queue.Push(&self);
  const WaitOutcome outcome = monitor.WaitUntil(milliseconds, [&self] { return self.granted; });
  if (!self.granted) {
    queue.Remove(&self);
    return outcome == WaitOutcome::kSignalled ? WaitOutcome::kFailed : outcome;
  }
  return WaitOutcome::kSignalled;
}

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
  WaitQueue waiters;
  bool manualReset;
  bool signalled;  // never true while threads wait
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
  if (event->manualReset) {
    // Every thread waiting now is released, whatever follows; later waits
    // pass while the event stays signalled.
    event->waiters.GrantAll();
    event->signalled = true;
  } else if (!event->waiters.Empty()) {
    event->waiters.GrantOne();  // the signal is consumed by the oldest waiter
  } else {
    event->signalled = true;
  }
  pthread_cond_broadcast(&event->monitor.changed);
  return true;
}

bool ResetEvent(EventHandle event) {
  Locked lock(event->monitor);
  event->signalled = false;
  return true;
}

WaitOutcome WaitForEvent(EventHandle event, std::uint32_t milliseconds) {
  Locked lock(event->monitor);
  if (event->signalled) {
    if (!event->manualReset) event->signalled = false;
    return WaitOutcome::kSignalled;
  }
  return WaitInQueue(event->monitor, event->waiters, milliseconds);
}

void CloseEvent(EventHandle event) {
  event->monitor.Destroy();
  delete event;
}

// ---- semaphores ----

struct SemaphoreObject {
  Monitor monitor;
  WaitQueue waiters;
  std::uint32_t count;  // never above 0 while threads wait
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
  if (!semaphore->waiters.Empty()) {
    semaphore->waiters.GrantOne();  // the count goes to the oldest waiter
    pthread_cond_broadcast(&semaphore->monitor.changed);
    return true;
  }
  if (semaphore->count >= semaphore->maximum) return false;
  ++semaphore->count;
  return true;
}

WaitOutcome WaitForSemaphore(SemaphoreHandle semaphore, std::uint32_t milliseconds) {
  Locked lock(semaphore->monitor);
  if (semaphore->count > 0) {
    --semaphore->count;
    return WaitOutcome::kSignalled;
  }
  return WaitInQueue(semaphore->monitor, semaphore->waiters, milliseconds);
}

void CloseSemaphore(SemaphoreHandle semaphore) {
  semaphore->monitor.Destroy();
  delete semaphore;
}

}  // namespace sfx::platform
