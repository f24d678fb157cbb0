// The launcher's system steps that its tests must see fail although a real
// system cannot be made to refuse them on request: giving an extracted file
// its time stamp, and making the progress queue's mutex and the extraction
// worker's thread. Each is the plain call of platform/file.h or
// platform/thread.h unless a test has asked for it to fail.
#pragma once

#include <cstdint>

#include "platform/file.h"
#include "platform/thread.h"

namespace sfx::platform {

enum LauncherStep : std::uint32_t {
  kStepSetFileTimes = 1u << 0,
  kStepMakeMutex = 1u << 1,
  kStepStartThread = 1u << 2,
};

// Test seam: the steps in the mask `steps` fail, without calling the system,
// until the next call (0 fails none, as in every real run). Safe to read from
// the worker thread while a test changes it.
void FailLauncherSteps(std::uint32_t steps);

bool SetLauncherFileTimes(FileHandle file, const std::uint64_t* creation, const std::uint64_t* access,
                          const std::uint64_t* write);
MutexHandle MakeLauncherMutex();
ThreadHandle StartLauncherThread(ThreadEntry entry, void* argument, std::uint32_t* id);

}  // namespace sfx::platform
