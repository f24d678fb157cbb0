// Private to the pattern service: the two matchers behind MatchPattern.
#pragma once

#include <cstdint>

#include "services/core/service.h"
#include "services/data/pattern.h"

namespace sfx::detail {

// Unanchored wildcard match of a non-empty pattern against a non-empty subject:
// 0 or 1. Linear in the subject for each literal segment; allocates nothing.
Result MatchWildcard(const char* pattern, std::uint32_t patternLength, const char* subject, std::uint32_t subjectLength,
                     bool caseSensitive);

// A regular-expression search of a non-empty pattern in a non-empty subject:
// 0, 1, kPatternBadRegex or a memory failure.
Result MatchRegex(const char* pattern, std::uint32_t patternLength, const char* subject, std::uint32_t subjectLength,
                  std::uint32_t options);

}  // namespace sfx::detail
