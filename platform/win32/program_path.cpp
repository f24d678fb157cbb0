#include "platform/program_path.h"

#include <windows.h>

namespace sfx::platform {

// The module file name is always known on Windows.
void RememberProgramName(const char*) {}

std::string ProgramOnPath(const char*, const char*) { return {}; }

std::string OwnProgramPath() {
  char buffer[MAX_PATH + 1];
  const DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  if (length == 0 || length >= sizeof buffer) return {};
  return std::string(buffer, length);
}

}  // namespace sfx::platform
