// Keeping the temporary folder from outliving an interrupted launcher.
#pragma once

namespace sfx::platform {

// Called on the main thread once `folder` exists and before any other thread
// starts. On POSIX systems, from then on an interrupt, a termination request
// or a hang-up (SIGINT, SIGTERM, SIGHUP) received while no setup program runs
// stops the launcher: the folder is deleted and the process exits with
// 128 + the signal's number. While RunProgramAndWait's program runs, the
// program receives the signal and decides (a signal sent to the launcher alone
// is passed on to it; one from the terminal reaches it directly), and the
// launcher carries on when it ends. On Windows it does nothing.
void GuardTempFolder(const char* folder);

// After the folder has been deleted: signals act as before again.
void EndTempFolderGuard();

}  // namespace sfx::platform
