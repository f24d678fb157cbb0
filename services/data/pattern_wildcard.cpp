// Wildcard matching: "*" any run of bytes, "?" exactly one byte, no escape.
//
// Matching is unanchored: the pattern's literal segments (maximal runs without
// "*") must occur in the subject in order and without overlapping. Placing each
// segment at its leftmost occurrence after the previous one is enough: if a
// segment cannot be placed after the earliest possible end of the previous
// one, it cannot be placed after any later end either, so retrying earlier
// segments further right (backtracking) never finds a match that greedy
// placement missed. That keeps the time within subject length x longest
// segment, where backtracking took exponential time on patterns like
// 'a*a*a*...b' against a long run of 'a'.
#include "services/data/pattern_p.h"

namespace sfx::detail {
namespace {

inline unsigned char Fold(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; }

bool SegmentMatchesAt(const unsigned char* segment, std::uint32_t length, const unsigned char* subject,
                      bool caseSensitive) {
  for (std::uint32_t i = 0; i < length; ++i) {
    const unsigned char p = segment[i];
    if (p == '?') continue;
    if (caseSensitive ? p != subject[i] : Fold(p) != Fold(subject[i])) return false;
  }
  return true;
}

}  // namespace

Result MatchWildcard(const char* pattern, std::uint32_t patternLength, const char* subject, std::uint32_t subjectLength,
                     bool caseSensitive) {
  const auto* p = reinterpret_cast<const unsigned char*>(pattern);
  const auto* s = reinterpret_cast<const unsigned char*>(subject);
  std::uint32_t at = 0;        // next pattern byte
  std::uint32_t position = 0;  // where the next segment may start in the subject
  while (true) {
    while (at < patternLength && p[at] == '*') ++at;
    if (at == patternLength) return kPatternMatch;  // every segment placed (or the pattern is only stars)
    const std::uint32_t start = at;
    while (at < patternLength && p[at] != '*') ++at;
    const std::uint32_t length = at - start;
    if (length > subjectLength - position) return kPatternNoMatch;
    const std::uint32_t last = subjectLength - length;
    std::uint32_t offset = position;
    while (offset <= last && !SegmentMatchesAt(p + start, length, s + offset, caseSensitive)) ++offset;
    if (offset > last) return kPatternNoMatch;
    position = offset + length;
  }
}

}  // namespace sfx::detail
