// The launcher's spine: make a private temporary folder, read the setup
// record, extract the payload behind the progress dialog, run the setup
// program, delete the folder.
#pragma once

#include <cstdint>

#include "launcher/launch_state.h"
#include "payload/record_source.h"
#include "platform/resource.h"

namespace sfx::launcher {

// The whole run over the program's own payload. Takes no options; failures are
// shown in message boxes. Returns 1 when the launcher itself failed (no
// temporary folder, no setup info, a failed extraction, or a temporary folder
// where programs may not run); otherwise what RunProgramAndWait gives: on
// POSIX systems the setup program's exit status or 128 + its signal, on
// Windows 0.
int WinMain(platform::ModuleHandle instance);
// The same over any records (tests run it over an image in memory).
int RunLauncher(platform::ModuleHandle instance, const payload::RecordSource& records);

// Makes `state->tempFolder` name a new empty folder in the temporary-files
// folder, named like a temporary file with the prefix "spk".
bool CreateTempFolder(LaunchState* state);

// The setup program's command line: its path, quoted when it holds a space or
// a tab, one space, then the arguments as they stand. False when it does not
// fit in `capacity` bytes.
bool BuildCommandLine(const char* programPath, const char* programArguments, char* line, std::uint32_t capacity);

// Starts the setup program from the temporary folder with its arguments and
// waits until it has ended. False when its path does not fit or it cannot be
// started; `*exitStatus` as RunProgramAndWait gives it.
bool RunSetupProgram(const LaunchState& state, int* exitStatus);

}  // namespace sfx::launcher
