// The launcher's two threads and the one lock between them: an unnamed mutex
// and a worker thread that runs by itself until it returns.
#pragma once

#include <cstdint>

namespace sfx::platform {

using MutexHandle = struct MutexTag*;
using ThreadHandle = struct ThreadTag*;

// A new mutex, not owned; null when it cannot be made.
MutexHandle CreateLauncherMutex();
// Waits without time-out; false when the wait did not succeed.
bool WaitForMutex(MutexHandle mutex);
void ReleaseLauncherMutex(MutexHandle mutex);
void CloseMutex(MutexHandle mutex);

using ThreadBody = std::uint32_t (*)(void* parameter);
// Starts a thread running body(parameter) at once; null when it cannot start.
ThreadHandle StartThread(ThreadBody body, void* parameter);
// Lets go of the handle; the thread runs on and ends by itself.
void CloseThreadHandle(ThreadHandle thread);

}  // namespace sfx::platform
