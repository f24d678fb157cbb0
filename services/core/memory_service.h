// The library's only allocator. Every block carries a 16-byte header in front
// of the caller's bytes (four u32 words, each the requested size) so that Free
// and Reallocate know the size; four running statistics are kept.
#pragma once

#include <atomic>
#include <cstdint>
#include <new>
#include <utility>

#include "services/core/service.h"

namespace sfx {

inline constexpr std::uint32_t kMemoryHeaderBytes = 16;
// The largest size that leaves room for the header within 32 bits.
inline constexpr std::uint32_t kMaxAllocationBytes = 0xFFFFFFFFu - kMemoryHeaderBytes;

class MemoryService : public ServiceObject {
 public:
  // 1. Each output is optional.
  virtual Result GetStatistics(std::uint32_t* peak, std::uint32_t* current, std::uint32_t* allocations,
                               std::uint32_t* frees);
  // 2. 0, or kOutOfMemory (block untouched) when the memory cannot be had or
  //    the size leaves no room for the header.
  virtual Result Allocate(std::uint32_t size, void** block);
  // 3. 0, or kFail when the platform reports a failure to free.
  virtual Result Free(void* block);
  // 4. 0, or kOutOfMemory with the old block untouched and still valid.
  virtual Result Reallocate(std::uint32_t newSize, void** block);
  // 5. Overlapping ranges are allowed.
  virtual Result Copy(void* destination, const void* source, std::uint32_t count);
  // 6. Sets count bytes to the low 8 bits of value.
  virtual Result Fill(void* destination, std::uint32_t value, std::uint32_t count);
  // 7. Three-way: 0 equal, 2 first orders before, 3 after; a proper prefix orders first.
  virtual Result Compare(const void* first, std::uint32_t firstLength, const void* second, std::uint32_t secondLength);
  virtual Result ReservedLast() { return kFail; }

  MemoryService() = default;

 private:
  void AddCurrent(std::uint32_t size);

  // Statistics, updated atomically (relaxed: nothing orders other memory by them).
  std::atomic<std::uint32_t> peakBytes_{0};
  std::atomic<std::uint32_t> currentBytes_{0};
  std::atomic<std::uint32_t> allocationCount_{0};
  std::atomic<std::uint32_t> freeCount_{0};
};

inline MemoryService* Memory() { return Service<MemoryService>(Slot::kMemory); }

// PCRE's allocation hooks: the allocation adapter returns null when Allocate
// fails; the release adapter returns Free's Result, and 0 for null.
void* PcreAllocate(std::size_t bytes);
Result PcreRelease(void* block);

// Places an instance of T in a MemoryService block. The block is freed again
// when construction cannot happen (it cannot throw: no exceptions are used).
template <class T, class... Args>
[[nodiscard]] Result NewInstance(T** out, Args&&... args) {
  void* block = nullptr;
  SFX_TRY(Memory()->Allocate(static_cast<std::uint32_t>(sizeof(T)), &block));
  *out = ::new (block) T(std::forward<Args>(args)...);
  return kOk;
}

// Ends an instance made by NewInstance and frees its block.
template <class T>
Result DeleteInstance(T* instance) {
  instance->~T();
  return Memory()->Free(instance);
}

}  // namespace sfx
