#include "platform/memory.h"

#include <cstdlib>

namespace sfx::platform {

void* GlobalAllocate(std::size_t bytes) { return std::malloc(bytes == 0 ? 1 : bytes); }

void* GlobalReallocate(void* block, std::size_t bytes) { return std::realloc(block, bytes == 0 ? 1 : bytes); }

bool GlobalRelease(void* block) {
  std::free(block);
  return true;
}

}  // namespace sfx::platform
