// Matches arbitrary patterns against arbitrary subjects in every kind, with
// both texts in exact-size heap blocks so a read past either end is caught.
// Wildcard answers are checked against a dynamic-programming reference; the
// prefix parsers must never report more than they were given (plus the one
// missing colon a bare kind name reports).
//
// Input: options byte (bits 0-1 the options, bits 2-3 the kind), pattern
// length byte, then the pattern and the subject.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "services/core/service.h"
#include "services/data/pattern.h"

namespace {

using namespace sfx;

void Check(bool condition) {
  if (!condition) std::abort();
}

unsigned char Fold(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; }

// Unanchored wildcard match: "*" + pattern + "*" anchored, by the usual table.
Result Reference(std::string_view p, std::string_view s, bool caseSensitive) {
  if (p.empty() || s.empty()) return kPatternNoMatch;
  std::vector<char> row(s.size() + 1, 1), next(s.size() + 1);  // the leading "*" matches any prefix
  for (unsigned char pc : p) {
    if (pc == '*') {
      next[0] = row[0];
      for (std::size_t j = 1; j <= s.size(); ++j) next[j] = static_cast<char>(row[j] || next[j - 1]);
    } else {
      next[0] = 0;
      for (std::size_t j = 1; j <= s.size(); ++j) {
        const auto sc = static_cast<unsigned char>(s[j - 1]);
        const bool same = pc == '?' || (caseSensitive ? pc == sc : Fold(pc) == Fold(sc));
        next[j] = static_cast<char>(same && row[j - 1]);
      }
    }
    row.swap(next);
  }
  for (char r : row) {
    if (r) return kPatternMatch;  // the trailing "*" takes the rest
  }
  return kPatternNoMatch;
}

struct Registered {
  Registered() { (void)RegisterCoreServices(); }
} g_registered;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2 || size > 4096) return 0;
  const std::uint32_t options = data[0] & 3u;
  const std::uint32_t kind = (data[0] >> 2) & 3u;
  const std::size_t patternLength = data[1] < size - 2 ? data[1] : size - 2;
  const std::size_t subjectLength = size - 2 - patternLength;
  const std::unique_ptr<char[]> pattern(new char[patternLength + 1]);
  const std::unique_ptr<char[]> subject(new char[subjectLength + 1]);
  std::memcpy(pattern.get(), data + 2, patternLength);
  std::memcpy(subject.get(), data + 2 + patternLength, subjectLength);
  // Zero lengths mean zero-terminated texts.
  pattern[patternLength] = '\0';
  subject[subjectLength] = '\0';
  const auto pn = static_cast<std::uint32_t>(patternLength), sn = static_cast<std::uint32_t>(subjectLength);

  const Result r = Patterns()->MatchPattern(kind, options, pattern.get(), pn, subject.get(), sn);
  if (kind == kPatternWildcard && pn != 0 && sn != 0) {
    Check(r == Reference({pattern.get(), pn}, {subject.get(), sn}, (options & kPatternCaseSensitive) != 0));
  } else if (kind == kPatternRegex) {
    Check(r == kPatternMatch || r == kPatternNoMatch || r == kPatternBadRegex);
  } else if (kind == kPatternPrefixed) {
    Check(r == kPatternMatch || r == kPatternNoMatch || r == kPatternBadRegex || r == kPatternBadKind ||
          r == kPatternBadOptions);
  } else {
    Check(r == kPatternNoMatch || (kind == kPatternWildcard && r == kPatternMatch));
  }

  std::uint32_t consumed = pn, parsedKind = 0;
  if (Patterns()->ParsePatternKind(pattern.get(), &consumed, &parsedKind) == kOk) {
    Check(consumed >= 1 && consumed <= pn + 1);
    Check(parsedKind == kPatternWildcard || parsedKind == kPatternRegex);
  }
  consumed = pn;
  std::uint32_t bits = 0;
  if (Patterns()->ParsePatternOptions(pattern.get(), &consumed, &bits) == kOk) {
    Check(consumed >= 1 && consumed <= pn && pattern[consumed - 1] == ':' && bits <= 3);
  }
  return 0;
}
