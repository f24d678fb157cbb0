// Sorts an array of fixed-size elements in place, ascending under a caller's
// three-way comparison. A Shell sort: no recursion, one temporary element, and
// the comparison is always asked about (an array element, the temporary copy).
// Not stable.
#pragma once

#include <cstdint>

#include "services/core/service.h"

namespace sfx {

// The library's three-way convention: 0 equal, 2 first sorts before second, 3
// first sorts after (only 3 moves an element; other non-negative values are
// taken as "in order"). A negative value is a failure that stops the sort.
// `context` is the caller's value, handed on unchanged.
using SortCompareFunction = Result (*)(std::uintptr_t context, const void* first, const void* second);

inline constexpr Result kSortBefore = 2;
inline constexpr Result kSortAfter = 3;

class SortService : public ServiceObject {
 public:
  // 1. 0, the memory service's failure when the temporary element cannot be
  //    had (the array untouched), or the comparison's first negative Result.
  //    After a failed comparison the array is partly sorted but still holds
  //    every one of its elements exactly once.
  virtual Result Sort(void* base, std::uint32_t count, std::uint32_t elementSize, SortCompareFunction compare,
                      std::uintptr_t context);
  virtual Result ReservedLast() { return kFail; }

  SortService() = default;
};

inline SortService* Sorter() { return Service<SortService>(Slot::kSort); }

}  // namespace sfx
