// Global memory blocks from the operating system's process heap: fixed in
// memory, safe to use from several threads.
#pragma once

#include <cstddef>

namespace sfx::platform {

// Null when the memory cannot be had.
void* GlobalAllocate(std::size_t bytes);
// Resizes, allowing the block to move; null (and the old block intact) on failure.
void* GlobalReallocate(void* block, std::size_t bytes);
// True when the block was released.
bool GlobalRelease(void* block);

}  // namespace sfx::platform
