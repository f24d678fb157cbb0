#include "platform/standard_streams.h"

namespace sfx::platform {

// POSIX streams have no text mode.
bool UseBinaryStandardStreams() { return true; }

}  // namespace sfx::platform
