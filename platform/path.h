// The process's current folder, the one thing about paths that needs the
// operating system: everything else about native paths is plain text work.
#pragma once

#include <cstdint>

namespace sfx::platform {

// Writes the current folder, zero-terminated, and returns its length when it
// fits (the result is below `capacity`). When it does not fit, returns the
// size needed, terminator included, and writes nothing meaningful. Returns 0
// when the system cannot tell (for example when the folder has been removed).
std::uint32_t CurrentFolder(char* buffer, std::uint32_t capacity);

}  // namespace sfx::platform
