#include "platform/environment.h"

#include <windows.h>

namespace sfx::platform {

// The system's variable block is what GetTempPathA and CreateProcessA read;
// the C library's copy is not consulted by either.
bool SetEnvironmentValue(const char* name, const char* value) { return SetEnvironmentVariableA(name, value) != 0; }

}  // namespace sfx::platform
