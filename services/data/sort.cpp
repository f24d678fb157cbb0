#include "services/data/sort.h"

#include <cstddef>

#include "services/core/memory_service.h"
#include "services/core/registry_p.h"

namespace sfx {
namespace {

// The first gap: the smallest of 1, 4, 13, 40, ... (each three times the last
// plus one) above count / 9, so short arrays are sorted by plain insertion.
std::uint32_t FirstGap(std::uint32_t count) {
  std::uint32_t gap = 1;
  while (gap <= count / 9) gap = 3 * gap + 1;
  return gap;
}

SortService g_sortService;

}  // namespace

ServiceObject* detail::TheSortService() { return &g_sortService; }

Result SortService::Sort(void* base, std::uint32_t count, std::uint32_t elementSize, SortCompareFunction compare,
                         std::uintptr_t context) {
  MemoryService* memory = Memory();
  void* temporary = nullptr;
  SFX_TRY(memory->Allocate(elementSize, &temporary));

  auto* bytes = static_cast<unsigned char*>(base);
  const std::size_t size = elementSize;
  auto at = [&](std::uint32_t index) { return bytes + index * size; };

  Result result = kOk;
  for (std::uint32_t gap = FirstGap(count); gap != 0 && result >= 0; gap /= 3) {
    for (std::uint32_t i = gap; i < count; ++i) {
      (void)memory->Copy(temporary, at(i), elementSize);  // Copy never fails
      std::uint32_t hole = i;
      while (hole >= gap) {
        const Result order = compare(context, at(hole - gap), temporary);
        if (order < 0) {
          result = order;
          break;
        }
        if (order != kSortAfter) break;
        (void)memory->Copy(at(hole), at(hole - gap), elementSize);
        hole -= gap;
      }
      // Also after a failed comparison: the element in hand goes back into the
      // hole, so the array stays a permutation of its input.
      (void)memory->Copy(at(hole), temporary, elementSize);
      if (result < 0) break;
    }
  }

  // The temporary's release failure matters only when the sort itself succeeded.
  const Result freed = memory->Free(temporary);
  return result < 0 ? result : freed < 0 ? freed : kOk;
}

}  // namespace sfx
