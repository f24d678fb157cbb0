// Private to the POSIX backend: the program-path search into fixed buffers,
// for the launcher, which links no string class.
#pragma once

#include <cstddef>

namespace sfx::platform::detail {

// Room for any path the system can open.
inline constexpr std::size_t kMaxProgramPath = 4096;

// As ProgramOnPath and OwnProgramPath (program_path.h), into `path`, which
// holds kMaxProgramPath bytes; "" when there is none.
void FindProgramOnPath(const char* name, const char* searchPath, char* path);
void FindOwnProgramPath(char* path);

}  // namespace sfx::platform::detail
