// Starting the setup program and waiting for it.
#pragma once

namespace sfx::platform {

// Starts `application` with `commandLine` (the program path first, then its
// arguments, as one Windows command line), with this process's environment
// and current folder and without inheriting handles, and waits until it and
// its primary thread have ended. False when it could not be started.
//
// On POSIX systems the program is started directly (no shell), with the
// arguments SplitCommandLine gives, after its owner-executable bit is set:
// the payload carries no permission bits.
bool RunProgramAndWait(const char* application, const char* commandLine);

}  // namespace sfx::platform
