// Loading libraries from the system folder only.
#pragma once

#include <windows.h>

namespace sfx::platform {

// Loads `name` (a bare file name such as "comctl32.dll") from the system
// folder, whatever the search order of the process; null when it cannot.
HMODULE LoadSystemLibrary(const char* name);

}  // namespace sfx::platform
