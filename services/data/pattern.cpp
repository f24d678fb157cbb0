#include "services/data/pattern.h"

#include <string_view>

#include "services/core/memory_service.h"
#include "services/core/registry_p.h"
#include "services/data/name_table_p.h"
#include "services/data/pattern_p.h"
#include "services/text/string_service.h"

namespace sfx {
namespace {

// The kind prefix names, walked in this order (2, then 3).
constexpr std::string_view kKindNames[] = {"WC", "RE"};
constexpr std::uint32_t kKindCodes[] = {kPatternWildcard, kPatternRegex};
using KindNames = detail::PackedNames<kKindNames>;

// The option letters, bit value 1 first.
constexpr char kOptionLetters[] = "OC";

const LengthPrefixedString* KindName(std::uint32_t kind) {
  for (std::size_t i = 0; i < std::size(kKindCodes); ++i) {
    if (kKindCodes[i] == kind) return KindNames::kTable[i];
  }
  return nullptr;
}

// A length of 0 means the text is zero-terminated; a null text is empty.
std::uint32_t MeasuredLength(const char* text, std::uint32_t length) {
  if (text == nullptr) return 0;
  if (length == 0) (void)Strings()->StringLength(text, &length);  // never fails
  return length;
}

PatternService g_patternService;

}  // namespace

ServiceObject* detail::ThePatternService() { return &g_patternService; }

Result PatternService::FormatPatternKind(std::uint32_t kind, char* buffer, std::uint32_t* length) {
  const LengthPrefixedString* name = KindName(kind);
  if (name == nullptr) return kPatternNoMatch;
  const std::uint32_t needed = name[0] + 1u;
  if (length == nullptr) return kOk;
  if (buffer != nullptr && *length >= needed) {
    (void)Memory()->Copy(buffer, name + 1, name[0]);
    buffer[name[0]] = ':';
  }
  *length = needed;
  return kOk;
}

Result PatternService::ParsePatternKind(const char* text, std::uint32_t* length, std::uint32_t* kind) {
  if (length == nullptr || kind == nullptr) return kNullOutput;
  const std::uint32_t available = text == nullptr ? 0 : *length;
  std::uint32_t nameLength = 0;
  while (nameLength < available && text[nameLength] != ':') ++nameLength;
  for (std::size_t i = 0; i < std::size(kKindCodes); ++i) {
    const LengthPrefixedString* name = KindNames::kTable[i];
    if (Strings()->CompareNoCase(text, nameLength, reinterpret_cast<const char*>(name + 1), name[0]) == kStringEqual) {
      *length = nameLength + 1;
      *kind = kKindCodes[i];
      return kOk;
    }
  }
  return kPatternNoMatch;
}

Result PatternService::FormatPatternOptions(std::uint32_t options, char* buffer, std::uint32_t* length) {
  const std::uint32_t needed = ((options & 1u) != 0) + ((options & 2u) != 0) + 1u;
  if (buffer == nullptr || (length != nullptr && *length < needed)) {
    if (length != nullptr) *length = needed;
    return kOk;
  }
  std::uint32_t at = 0;
  for (std::uint32_t bit = 0; bit < 2; ++bit) {
    if ((options & (1u << bit)) != 0) buffer[at++] = kOptionLetters[bit];
  }
  buffer[at++] = ':';
  if (length != nullptr) *length = needed;
  return kOk;
}

Result PatternService::ParsePatternOptions(const char* text, std::uint32_t* length, std::uint32_t* options) {
  if (length == nullptr || options == nullptr) return kNullOutput;
  const std::uint32_t available = text == nullptr ? 0 : *length;
  std::uint32_t bits = 0;
  for (std::uint32_t at = 0; at < available; ++at) {
    char c = text[at];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    if (c == ':') {
      *length = at + 1;
      *options = bits;
      return kOk;
    }
    for (std::uint32_t bit = 0; bit < 2; ++bit) {
      if (c == kOptionLetters[bit]) bits |= 1u << bit;
    }
  }
  return kPatternOptionsUnterminated;
}

Result PatternService::MatchPattern(std::uint32_t kind, std::uint32_t options, const char* pattern,
                                    std::uint32_t patternLength, const char* subject, std::uint32_t subjectLength) {
  patternLength = MeasuredLength(pattern, patternLength);
  if (patternLength == 0) return kPatternNoMatch;
  subjectLength = MeasuredLength(subject, subjectLength);
  if (subjectLength == 0) return kPatternNoMatch;

  if (kind == kPatternPrefixed) {
    std::uint32_t consumed = patternLength;
    // A bare kind name ('WC') is reported as consumed through a colon that is
    // not there: that is a missing prefix, not an empty pattern.
    if (ParsePatternKind(pattern, &consumed, &kind) != kOk || consumed > patternLength) return kPatternBadKind;
    pattern += consumed;
    patternLength -= consumed;
    consumed = patternLength;
    std::uint32_t prefixOptions = 0;
    if (ParsePatternOptions(pattern, &consumed, &prefixOptions) != kOk) return kPatternBadOptions;
    pattern += consumed;
    patternLength -= consumed;
    options |= prefixOptions;
    if (patternLength == 0) return kPatternNoMatch;
  }

  const bool caseSensitive = (options & kPatternCaseSensitive) != 0;
  if (kind == kPatternWildcard)
    return detail::MatchWildcard(pattern, patternLength, subject, subjectLength, caseSensitive);
  if (kind == kPatternRegex) return detail::MatchRegex(pattern, patternLength, subject, subjectLength, options);
  return kPatternNoMatch;
}

}  // namespace sfx
