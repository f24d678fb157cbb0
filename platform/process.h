// Starting the setup program and waiting for it.
#pragma once

namespace sfx::platform {

// Starts `application` with `commandLine` (the program path first, then its
// arguments, as one Windows command line), with this process's environment
// and current folder and without inheriting handles, and waits until it and
// its primary thread have ended. False when it could not be started.
// `*exitStatus` receives what the launcher exits with: on POSIX systems the
// program's exit status, or 128 + N when signal N ended it; on Windows 0 (the
// program's exit code is not read). When the program could not be started it
// receives kProgramNotStartedStatus.
//
// On POSIX systems the program is started directly (no shell), with the
// arguments SplitCommandLine gives, after its owner-executable bit is set:
// the payload carries no permission bits.
bool RunProgramAndWait(const char* application, const char* commandLine, int* exitStatus);

// 127 on POSIX systems, as a shell says for a program it cannot run; 0 on
// Windows, where a setup program that cannot start ends the launcher quietly.
extern const int kProgramNotStartedStatus;

}  // namespace sfx::platform
