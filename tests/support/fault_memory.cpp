#include "tests/support/fault_memory.h"

namespace sfx::test {

bool FaultInjectingMemoryService::ShouldFail(std::uint32_t size) {
  ++calls_;
  const bool fail = failAll_ || (failAt_ != 0 && calls_ == failAt_) || (failFromSize_ != 0 && size >= failFromSize_);
  if (fail) ++failures_;
  return fail;
}

Result FaultInjectingMemoryService::Allocate(std::uint32_t size, void** block) {
  if (ShouldFail(size)) return kOutOfMemory;
  return MemoryService::Allocate(size, block);
}

Result FaultInjectingMemoryService::Reallocate(std::uint32_t newSize, void** block) {
  if (ShouldFail(newSize)) return kOutOfMemory;
  return MemoryService::Reallocate(newSize, block);
}

}  // namespace sfx::test
