#include "platform/memory.h"

#include <windows.h>

namespace sfx::platform {

void* GlobalAllocate(std::size_t bytes) { return GlobalAlloc(0, bytes); }

void* GlobalReallocate(void* block, std::size_t bytes) {
  void* moved = GlobalReAlloc(block, bytes, GMEM_MOVEABLE);
  if (moved == nullptr) (void)GetLastError();
  return moved;
}

bool GlobalRelease(void* block) { return GlobalFree(block) == nullptr; }

}  // namespace sfx::platform
