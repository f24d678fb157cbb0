#include "platform/launcher_thread.h"

#include <windows.h>

#include <cstdlib>

namespace sfx::platform {
namespace {

struct ThreadStart {
  ThreadBody body;
  void* parameter;
};

DWORD WINAPI RunThread(LPVOID start) {
  const ThreadStart s = *static_cast<ThreadStart*>(start);
  GlobalFree(start);
  return s.body(s.parameter);
}

}  // namespace

MutexHandle CreateLauncherMutex() { return reinterpret_cast<MutexHandle>(CreateMutexA(nullptr, FALSE, nullptr)); }

bool WaitForMutex(MutexHandle mutex) {
  // An abandoned mutex is owned after the wait, but the data it guards may be
  // half-changed: count only a clean wait as success.
  return WaitForSingleObject(reinterpret_cast<HANDLE>(mutex), INFINITE) == WAIT_OBJECT_0;
}

void ReleaseLauncherMutex(MutexHandle mutex) { (void)ReleaseMutex(reinterpret_cast<HANDLE>(mutex)); }

void CloseMutex(MutexHandle mutex) { (void)CloseHandle(reinterpret_cast<HANDLE>(mutex)); }

ThreadHandle StartThread(ThreadBody body, void* parameter) {
  auto* start = static_cast<ThreadStart*>(GlobalAlloc(0, sizeof(ThreadStart)));
  if (start == nullptr) return nullptr;
  start->body = body;
  start->parameter = parameter;
  HANDLE thread = CreateThread(nullptr, 0, RunThread, start, 0, nullptr);
  if (thread == nullptr) {
    GlobalFree(start);
    return nullptr;
  }
  return reinterpret_cast<ThreadHandle>(thread);
}

void CloseThreadHandle(ThreadHandle thread) { (void)CloseHandle(reinterpret_cast<HANDLE>(thread)); }

}  // namespace sfx::platform
