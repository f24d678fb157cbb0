// The file the running program was started from.
#pragma once

#include <string>

namespace sfx::platform {

// Remembers the program's argv[0], the last way to find its own file where
// the system does not tell (no /proc). Call it first thing in main.
void RememberProgramName(const char* argv0);

// The executable file `name` stands for, found as a shell finds a program:
// a name with a slash is a path (relative to the current folder), any other
// is looked up in each folder of the colon-separated `searchPath` in turn
// (an empty element is the current folder). "" when there is none. Used on
// POSIX systems only; Windows always knows its module's file.
std::string ProgramOnPath(const char* name, const char* searchPath);

// The full path of the running program's executable, or "" when the system
// does not tell and argv[0] does not lead to it either. On POSIX systems it
// asks /proc/self/exe, then the path the kernel was given (AT_EXECFN), then
// argv[0] searched along PATH.
std::string OwnProgramPath();

}  // namespace sfx::platform
