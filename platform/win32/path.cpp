#include "platform/path.h"

#include <windows.h>

namespace sfx::platform {

std::uint32_t CurrentFolder(char* buffer, std::uint32_t capacity) {
  // The count is the length when the folder fits, the size needed (with the
  // terminator) when it does not, and 0 on failure: the same contract.
  return GetCurrentDirectoryA(capacity, buffer);
}

}  // namespace sfx::platform
