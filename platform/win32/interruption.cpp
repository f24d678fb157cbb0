#include "platform/interruption.h"

namespace sfx::platform {

// The launcher is a GUI program: it has no console whose interrupts could
// end it while its folder is in use.
void GuardTempFolder(const char*) {}
void EndTempFolderGuard() {}

}  // namespace sfx::platform
