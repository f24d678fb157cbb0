// Does a subject text match a pattern? Two kinds: wildcard patterns ("*" any
// run, "?" one byte; unanchored, so 'abc' matches 'xabcx') and regular
// expressions (PCRE, 8-bit, never UTF-8). A pattern may carry its kind and
// options as a text prefix ('WC::*.txt', 'RE:C:^Read'), so one configurable
// string selects both. Matching is case-insensitive (ASCII) unless the
// case-sensitive option is set.
#pragma once

#include <cstdint>

#include "services/core/service.h"

namespace sfx {

// Pattern kinds.
inline constexpr std::uint32_t kPatternPrefixed = 1;  // kind and options are read from the pattern text
inline constexpr std::uint32_t kPatternWildcard = 2;  // prefix name "WC"
inline constexpr std::uint32_t kPatternRegex = 3;     // prefix name "RE"

// Option bits, with their prefix letters.
inline constexpr std::uint32_t kPatternDelimited = 1;      // "O": a regex may be written /body/modifiers
inline constexpr std::uint32_t kPatternCaseSensitive = 2;  // "C"

inline constexpr Result kPatternMatch = 0;                    // match, or name found
inline constexpr Result kPatternNoMatch = 1;                  // no match, or name or code not found (not a failure)
inline constexpr Result kPatternOptionsUnterminated = kFail;  // ParsePatternOptions: no ":"
inline constexpr Result kPatternBadRegex = FailureCode(facility::kPattern, 0x0001);    // 0x80180001
inline constexpr Result kPatternBadKind = FailureCode(facility::kPattern, 0x0002);     // 0x80180002
inline constexpr Result kPatternBadOptions = FailureCode(facility::kPattern, 0x0003);  // 0x80180003

class PatternService : public ServiceObject {
 public:
  // 1. Writes the kind's prefix name and ":" (no zero byte). 1 for a kind
  //    other than 2 or 3. A null buffer with a length stores the needed length
  //    (3); a buffer with a null length writes nothing; with both, writes only
  //    if the capacity suffices and always stores the needed length.
  virtual Result FormatPatternKind(std::uint32_t kind, char* buffer, std::uint32_t* length);
  // 2. The name ends at the first ":" within *length, or at the end. A known
  //    name (any case) stores the consumed length (name + 1 for the colon, even
  //    when the text ended without one) and the kind, and gives 0; otherwise 1.
  virtual Result ParsePatternKind(const char* text, std::uint32_t* length, std::uint32_t* kind);
  // 3. The letters of the set option bits in the order "O", "C", then ":".
  //    A null buffer stores the needed length; a capacity below it writes
  //    nothing but stores it; a buffer with a null length is written unchecked
  //    (at most 3 bytes).
  virtual Result FormatPatternOptions(std::uint32_t options, char* buffer, std::uint32_t* length);
  // 4. Reads through the first ":" within *length: "O"/"o" and "C"/"c" set
  //    their bits, other bytes are skipped. Stores the consumed length and the
  //    bits; kFail (nothing stored) when there is no ":".
  virtual Result ParsePatternOptions(const char* text, std::uint32_t* length, std::uint32_t* options);
  // 5. 0 match, 1 no match, or a failure. A length of 0 means the text is
  //    zero-terminated. An empty pattern or subject never matches.
  virtual Result MatchPattern(std::uint32_t kind, std::uint32_t options, const char* pattern,
                              std::uint32_t patternLength, const char* subject, std::uint32_t subjectLength);
  virtual Result ReservedLast() { return kFail; }

  PatternService() = default;
};

inline PatternService* Patterns() { return Service<PatternService>(Slot::kPattern); }

}  // namespace sfx
