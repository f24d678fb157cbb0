// A MemoryService that fails chosen allocations, for driving failure paths.
#pragma once

#include <cstdint>

#include "services/core/memory_service.h"
#include "services/core/service.h"

namespace sfx::test {

class FaultInjectingMemoryService : public MemoryService {
 public:
  // Fails the n-th Allocate/Reallocate call from now on (1 = the next one);
  // 0 never fails.
  void FailNth(std::uint32_t n) {
    failAt_ = n;
    calls_ = 0;
  }
  // Fails every call whose requested size is at least `bytes`.
  void FailSizesFrom(std::uint32_t bytes) { failFromSize_ = bytes; }
  // Fails every call from now on.
  void FailAll() { failAll_ = true; }
  void Heal() {
    failAt_ = 0;
    failFromSize_ = 0;
    failAll_ = false;
  }
  std::uint32_t calls() const { return calls_; }
  std::uint32_t failures() const { return failures_; }

  Result Allocate(std::uint32_t size, void** block) override;
  Result Reallocate(std::uint32_t newSize, void** block) override;

 private:
  bool ShouldFail(std::uint32_t size);

  std::uint32_t failAt_ = 0;
  std::uint32_t failFromSize_ = 0;
  bool failAll_ = false;
  std::uint32_t calls_ = 0;
  std::uint32_t failures_ = 0;
};

// Installs a FaultInjectingMemoryService in the memory slot for one scope.
class ScopedFaultMemory {
 public:
  ScopedFaultMemory() : override_(Slot::kMemory, &service_) {}
  FaultInjectingMemoryService* operator->() { return &service_; }
  FaultInjectingMemoryService& service() { return service_; }

 private:
  FaultInjectingMemoryService service_;
  ScopedServiceOverride override_;
};

}  // namespace sfx::test
