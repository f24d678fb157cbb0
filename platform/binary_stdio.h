// Standard input and output as byte streams: on Windows the C runtime opens
// them in text mode, which rewrites line ends and stops at a 0x1A byte.
#pragma once

namespace sfx::platform {

// Switches stdin and stdout to binary mode; false when that fails.
bool SetStandardStreamsBinary();

}  // namespace sfx::platform
