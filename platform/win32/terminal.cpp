#include "platform/terminal.h"

#include <windows.h>

namespace sfx::platform {

// A console handle answers GetConsoleMode; pipes and files do not.
bool StandardErrorIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace sfx::platform
