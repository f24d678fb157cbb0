// Where the tool finds the launcher stubs it packs when no --stub is given.
#pragma once

#include <string>

namespace sfx::cli {

// The stub for a Windows or a POSIX target, or for a named Linux machine
// ("linux-arm64"): $SFXKIT_STUB when set, else the one installed beside this
// tool (PREFIX/libexec/sfxkit/launcher, launcher.exe or launcher-MACHINE for
// PREFIX/bin/sfxkit), else the launcher of the build tree this tool was built
// in (for Windows also that of the win32 build beside it, for another machine
// that of the build named after it: build/linux-arm64/). "" when none is there.
std::string FindStub(bool windows, const std::string& machine = {});

}  // namespace sfx::cli
