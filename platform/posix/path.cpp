#include "platform/path.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace sfx::platform {

std::uint32_t CurrentFolder(char* buffer, std::uint32_t capacity) {
  if (capacity > 0 && getcwd(buffer, capacity) != nullptr) return static_cast<std::uint32_t>(std::strlen(buffer));
  if (capacity > 0 && errno != ERANGE) return 0;
  // Too small: ask for the whole folder to learn its size.
  char* whole = getcwd(nullptr, 0);
  if (whole == nullptr) return 0;
  const std::size_t size = std::strlen(whole) + 1;
  std::free(whole);
  return size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(size);
}

}  // namespace sfx::platform
