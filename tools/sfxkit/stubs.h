// Where the tool finds the launcher stubs it packs when no --stub is given.
#pragma once

#include <string>

namespace sfx::cli {

// The stub for a Windows or a POSIX target: $SFXKIT_STUB when set, else the
// one installed beside this tool (PREFIX/libexec/sfxkit/ for PREFIX/bin/sfxkit),
// else the launcher of the build tree this tool was built in (and, for
// Windows, that of the win32 build beside it). "" when none is there.
std::string FindStub(bool windows);

}  // namespace sfx::cli
