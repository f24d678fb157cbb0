// Every test program gets a temporary-files folder of its own (TMPDIR on
// POSIX, TMP and TEMP on Windows), set before its first test and removed after
// its last. Tests run in parallel (ctest -j) then never see each other's
// temporary files: a test that looks for the launcher's "spk" folders, or
// counts what a run left behind, sees only its own.
#pragma once

#include <string>

namespace sfx::test {

// The folder, without a final separator; "" when it could not be made (the
// tests then use the system's folder).
const std::string& PrivateTempFolder();

}  // namespace sfx::test
