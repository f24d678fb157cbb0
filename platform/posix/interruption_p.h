// What RunProgramAndWait tells the folder guard about the program it runs.
#pragma once

#include <signal.h>
#include <sys/types.h>

namespace sfx::platform {

// Held from before the program is started until its id is noted, so that a
// signal is never taken for one arriving during extraction once the program
// may be running.
void LockChildState();
void UnlockChildState();
// The running program's id; -1 once it has ended (later signals are left to
// the launcher's own clean-up, which is under way).
void NoteChild(pid_t child);
// The signals the guard takes, for the program's own defaults and mask.
void GuardedSignals(sigset_t* set);

}  // namespace sfx::platform
