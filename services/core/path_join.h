// Joining path parts: the one place for the rule, used by the file system and
// offered to every caller by the URL service, which forwards to it.
#pragma once

#include <cstdint>

#include "services/core/service.h"

namespace sfx {

// The code of a joined path that does not fit. It carries the URL service's
// facility, which offered joining first: both services report the same code.
inline constexpr Result kUrlTooLong = FailureCode(facility::kUrl, 0x0001);  // 0x800C0001

namespace path {

// The length of a zero-terminated text.
std::uint32_t Length(const char* text);

// folder + '\' (unless it already ends in one) + name, zero-terminated.
// kUrlTooLong when the folder, the name or the result does not fit.
Result Join(const char* folder, const char* name, char* buffer, std::uint32_t capacity);

// base, then '\' and each non-null part, zero-terminated; no normalisation.
// The size needed (terminator included) is stored when asked for, also on
// failure; kFail and an untouched buffer when it does not fit.
Result JoinParts(char* buffer, std::uint32_t capacity, const char* base, const char* const parts[4],
                 std::uint32_t* needed);

}  // namespace path
}  // namespace sfx
