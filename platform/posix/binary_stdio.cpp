#include "platform/binary_stdio.h"

namespace sfx::platform {

// POSIX streams carry bytes unchanged.
bool SetStandardStreamsBinary() { return true; }

}  // namespace sfx::platform
