#include "platform/launcher_thread.h"

#include <pthread.h>

#include <cstdlib>
#include <new>

namespace sfx::platform {
namespace {

struct ThreadStart {
  ThreadBody body;
  void* parameter;
};

void* RunThread(void* start) {
  const ThreadStart s = *static_cast<ThreadStart*>(start);
  std::free(start);
  (void)s.body(s.parameter);
  return nullptr;
}

}  // namespace

MutexHandle CreateLauncherMutex() {
  auto* mutex = static_cast<pthread_mutex_t*>(std::malloc(sizeof(pthread_mutex_t)));
  if (mutex == nullptr) return nullptr;
  if (pthread_mutex_init(mutex, nullptr) != 0) {
    std::free(mutex);
    return nullptr;
  }
  return reinterpret_cast<MutexHandle>(mutex);
}

bool WaitForMutex(MutexHandle mutex) { return pthread_mutex_lock(reinterpret_cast<pthread_mutex_t*>(mutex)) == 0; }

void ReleaseLauncherMutex(MutexHandle mutex) { pthread_mutex_unlock(reinterpret_cast<pthread_mutex_t*>(mutex)); }

void CloseMutex(MutexHandle mutex) {
  auto* m = reinterpret_cast<pthread_mutex_t*>(mutex);
  pthread_mutex_destroy(m);
  std::free(m);
}

ThreadHandle StartThread(ThreadBody body, void* parameter) {
  auto* start = static_cast<ThreadStart*>(std::malloc(sizeof(ThreadStart)));
  auto* thread = static_cast<pthread_t*>(std::malloc(sizeof(pthread_t)));
  if (start == nullptr || thread == nullptr) {
    std::free(start);
    std::free(thread);
    return nullptr;
  }
  start->body = body;
  start->parameter = parameter;
  if (pthread_create(thread, nullptr, RunThread, start) != 0) {
    std::free(start);
    std::free(thread);
    return nullptr;
  }
  return reinterpret_cast<ThreadHandle>(thread);
}

void CloseThreadHandle(ThreadHandle thread) {
  auto* t = reinterpret_cast<pthread_t*>(thread);
  pthread_detach(*t);
  std::free(t);
}

}  // namespace sfx::platform
