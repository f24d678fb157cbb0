#include "services/core/memory_service.h"

#include <cstring>

#include "platform/memory.h"
#include "services/core/registry_p.h"

namespace sfx {
namespace {

MemoryService g_memoryService;

void WriteHeader(void* base, std::uint32_t size) {
  auto* words = static_cast<std::uint32_t*>(base);
  words[0] = words[1] = words[2] = words[3] = size;
}

void* HeaderOf(void* block) { return static_cast<unsigned char*>(block) - kMemoryHeaderBytes; }

std::uint32_t SizeOf(void* block) {
  std::uint32_t size;
  std::memcpy(&size, HeaderOf(block), sizeof size);
  return size;
}

}  // namespace

ServiceObject* detail::TheMemoryService() { return &g_memoryService; }

void MemoryService::AddCurrent(std::uint32_t size) {
  const std::uint32_t now = currentBytes_.fetch_add(size, std::memory_order_relaxed) + size;
  std::uint32_t peak = peakBytes_.load(std::memory_order_relaxed);
  while (now > peak && !peakBytes_.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
  }
}

Result MemoryService::GetStatistics(std::uint32_t* peak, std::uint32_t* current, std::uint32_t* allocations,
                                    std::uint32_t* frees) {
  if (peak) *peak = peakBytes_.load(std::memory_order_relaxed);
  if (current) *current = currentBytes_.load(std::memory_order_relaxed);
  if (allocations) *allocations = allocationCount_.load(std::memory_order_relaxed);
  if (frees) *frees = freeCount_.load(std::memory_order_relaxed);
  return kOk;
}

Result MemoryService::Allocate(std::uint32_t size, void** block) {
  // A size that leaves no room for the header would wrap and hand out a block
  // that is too small.
  if (size > kMaxAllocationBytes) return kOutOfMemory;
  void* base = platform::GlobalAllocate(std::size_t{size} + kMemoryHeaderBytes);
  if (base == nullptr) return kOutOfMemory;
  WriteHeader(base, size);
  AddCurrent(size);
  allocationCount_.fetch_add(1, std::memory_order_relaxed);
  *block = static_cast<unsigned char*>(base) + kMemoryHeaderBytes;
  return kOk;
}

Result MemoryService::Free(void* block) {
  currentBytes_.fetch_sub(SizeOf(block), std::memory_order_relaxed);
  freeCount_.fetch_add(1, std::memory_order_relaxed);
  return platform::GlobalRelease(HeaderOf(block)) ? kOk : kFail;
}

Result MemoryService::Reallocate(std::uint32_t newSize, void** block) {
  if (newSize > kMaxAllocationBytes) return kOutOfMemory;
  const std::uint32_t oldSize = SizeOf(*block);
  currentBytes_.fetch_sub(oldSize, std::memory_order_relaxed);
  void* base = platform::GlobalReallocate(HeaderOf(*block), std::size_t{newSize} + kMemoryHeaderBytes);
  if (base == nullptr) {
    // The old block stays allocated, so its size counts again.
    currentBytes_.fetch_add(oldSize, std::memory_order_relaxed);
    return kOutOfMemory;
  }
  WriteHeader(base, newSize);
  AddCurrent(newSize);
  *block = static_cast<unsigned char*>(base) + kMemoryHeaderBytes;
  return kOk;
}

Result MemoryService::Copy(void* destination, const void* source, std::uint32_t count) {
  if (count != 0) std::memmove(destination, source, count);
  return kOk;
}

Result MemoryService::Fill(void* destination, std::uint32_t value, std::uint32_t count) {
  if (count != 0) std::memset(destination, static_cast<unsigned char>(value), count);
  return kOk;
}

Result MemoryService::Compare(const void* first, std::uint32_t firstLength, const void* second,
                              std::uint32_t secondLength) {
  const std::uint32_t common = firstLength < secondLength ? firstLength : secondLength;
  const int c = common == 0 ? 0 : std::memcmp(first, second, common);
  if (c != 0) return c < 0 ? 2 : 3;
  if (firstLength == secondLength) return 0;
  return firstLength < secondLength ? 2 : 3;
}

void* PcreAllocate(std::size_t bytes) {
  if (bytes > kMaxAllocationBytes) return nullptr;
  void* block = nullptr;
  if (Failed(Memory()->Allocate(static_cast<std::uint32_t>(bytes), &block))) return nullptr;
  return block;
}

// PCRE releases null blocks (an absent study, say): there is nothing to free,
// and no header to read in front of it.
Result PcreRelease(void* block) { return block == nullptr ? kOk : Memory()->Free(block); }

}  // namespace sfx
