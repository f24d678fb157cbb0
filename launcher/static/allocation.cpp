// Linked into the static launcher only, ahead of the C++ run-time library.
// The run-time's operator new reports failure by throwing, which links its
// whole exception machinery (throw, catch, the exception classes and their
// strings) into a program that never catches. Nothing in the launcher throws
// or catches: a failed plain new ends the program as an uncaught bad_alloc
// would, and the nothrow forms return null as they always did.
#include <cstdlib>
#include <new>

namespace {

void* AllocateOrNull(std::size_t size) { return std::malloc(size == 0 ? 1 : size); }

void* AllocateOrEnd(std::size_t size) {
  void* block = AllocateOrNull(size);
  if (block == nullptr) std::abort();
  return block;
}

}  // namespace

void* operator new(std::size_t size) { return AllocateOrEnd(size); }
void* operator new[](std::size_t size) { return AllocateOrEnd(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return AllocateOrNull(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return AllocateOrNull(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
