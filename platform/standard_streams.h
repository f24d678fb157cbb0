// Standard input and output carry bytes unchanged: Windows opens them in text
// mode, where a tool's binary output would gain a CR before every LF.
#pragma once

namespace sfx::platform {

// Switches standard input and output to binary mode; false when that fails.
bool UseBinaryStandardStreams();

}  // namespace sfx::platform
