// The file the running program was started from.
#pragma once

#include <string>

namespace sfx::platform {

// The full path of the running program's executable, or "" when the system
// does not tell.
std::string OwnProgramPath();

}  // namespace sfx::platform
