#include "platform/environment.h"

#include <cstdlib>

namespace sfx::platform {

bool SetEnvironmentValue(const char* name, const char* value) { return ::setenv(name, value, 1) == 0; }

}  // namespace sfx::platform
