#include "platform/launcher_steps.h"

#include <atomic>

namespace sfx::platform {
namespace {

std::atomic<std::uint32_t> failingSteps{0};

bool Failing(LauncherStep step) { return (failingSteps.load() & step) != 0; }

}  // namespace

void FailLauncherSteps(std::uint32_t steps) { failingSteps.store(steps); }

bool SetLauncherFileTimes(FileHandle file, const std::uint64_t* creation, const std::uint64_t* access,
                          const std::uint64_t* write) {
  if (Failing(kStepSetFileTimes)) return false;
  return SetFileTimes(file, creation, access, write);
}

MutexHandle MakeLauncherMutex() {
  if (Failing(kStepMakeMutex)) return nullptr;
  return MakeMutex();
}

ThreadHandle StartLauncherThread(ThreadEntry entry, void* argument, std::uint32_t* id) {
  if (Failing(kStepStartThread)) return nullptr;
  return StartThread(entry, argument, id);
}

}  // namespace sfx::platform
