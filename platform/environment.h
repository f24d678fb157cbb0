// The process's environment variables.
#pragma once

namespace sfx::platform {

// Sets `name` to `value` in this process's environment, where the system's
// own calls (the temporary-files folder among them) and every program started
// afterwards see it. False when the system refuses.
bool SetEnvironmentValue(const char* name, const char* value);

}  // namespace sfx::platform
