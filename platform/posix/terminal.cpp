#include "platform/terminal.h"

#include <unistd.h>

namespace sfx::platform {

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

}  // namespace sfx::platform
