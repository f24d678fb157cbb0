// Telling the user why the setup program could not be started, when it is
// something they can mend.
#pragma once

namespace sfx::platform {

// After RunProgramAndWait returned false: when the system refused to run the
// program for a reason the user can mend (on POSIX systems, the temporary
// folder's file system is mounted without the right to run programs), shows a
// message saying so and what to do, and returns true; the launcher then fails
// instead of ending quietly. Otherwise shows nothing and returns false.
bool ReportMendableStartFailure();

}  // namespace sfx::platform
