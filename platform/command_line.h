// Splitting a command line into arguments by the rules a Windows program's
// start-up code applies, so that a setup program started on a POSIX system
// receives the same arguments it would receive on Windows.
//
// The first argument (the program) ends at the first space or tab outside
// double quotes, and its quotes are dropped without any escaping. In the
// other arguments 2n backslashes before a double quote become n backslashes
// and the quote toggles quoting; 2n+1 backslashes before a quote become n
// backslashes and a literal quote; inside quotes, two quotes in a row give one
// literal quote; other backslashes are literal.
#pragma once

#include <cstddef>

namespace sfx::platform {

// Splits `line` into zero-terminated arguments written to `storage`, which
// must hold strlen(line) + 1 bytes, and stores up to `capacity` pointers into
// `arguments`. Returns the number of arguments (also those that did not fit).
std::size_t SplitCommandLine(const char* line, char* storage, char** arguments, std::size_t capacity);

}  // namespace sfx::platform
