#include "platform/start_failure.h"

namespace sfx::platform {

// Nothing the user could mend shows as a distinct failure here: a program the
// system's policies forbid is refused like any other that cannot start.
bool ReportMendableStartFailure() { return false; }

}  // namespace sfx::platform
