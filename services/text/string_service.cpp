#include "services/text/string_service.h"

#include "services/core/memory_service.h"
#include "services/core/registry_p.h"
#include "services/text/string_service_p.h"

namespace sfx {
namespace {

StringService g_stringService;

Result CompareFolded(const unsigned char* a, std::uint32_t aLength, const unsigned char* b, std::uint32_t bLength) {
  const std::uint32_t common = aLength < bLength ? aLength : bLength;
  for (std::uint32_t i = 0; i < common; ++i) {
    const unsigned char x = text::Fold(a[i]);
    const unsigned char y = text::Fold(b[i]);
    if (x != y) return x < y ? kStringBefore : kStringAfter;
  }
  if (aLength == bLength) return kStringEqual;
  return aLength < bLength ? kStringBefore : kStringAfter;
}

// The one binary search behind the four look-ups; `compare` orders the key
// (always the first operand) against an entry.
template <class CompareKeyWith>
Result BinarySearch(const LengthPrefixedString* const* table, std::uint32_t count, std::uint32_t* index,
                    CompareKeyWith compare) {
  if (count == 0) return kStringNotFound;
  std::uint32_t low = 0;
  std::uint32_t high = count - 1;
  while (low <= high) {
    const std::uint32_t middle = low + (high - low) / 2;
    const Result outcome = compare(table[middle]);
    if (outcome == kStringBefore) {
      if (middle == 0) return kStringNotFound;
      high = middle - 1;
    } else if (outcome == kStringAfter) {
      low = middle + 1;
    } else {
      if (index != nullptr) *index = middle;
      return kStringFound;
    }
  }
  return kStringNotFound;
}

// Reads the digit run after leading white space. `maxDigits` counts leading
// zeros too, so an over-long run is refused before the value can wrap.
template <bool kHex>
Result ParseDigits(const char* text, std::uint32_t length, std::uint32_t* value) {
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  std::uint32_t i = 0;
  while (i < length && HasClass(p[i], kClassSpace)) ++i;
  const std::uint32_t start = i;
  const std::uint16_t digitClass = kHex ? kClassHexDigit : kClassDigit;
  while (i < length && HasClass(p[i], digitClass)) ++i;
  const std::uint32_t digits = i - start;
  constexpr std::uint32_t kMaxDigits = kHex ? 8 : 10;
  bool tooLarge = digits > kMaxDigits;
  if (!kHex && digits == kMaxDigits) {
    static constexpr char kLargest[] = "4294967295";
    for (std::uint32_t k = 0; k < kMaxDigits; ++k) {
      if (p[start + k] != static_cast<unsigned char>(kLargest[k])) {
        tooLarge = p[start + k] > static_cast<unsigned char>(kLargest[k]);
        break;
      }
    }
  }
  if (tooLarge) {
    *value = 0xFFFFFFFFu;
    return kStringNumberTooLarge;
  }
  std::uint32_t v = 0;
  for (std::uint32_t k = start; k < i; ++k) v = kHex ? v * 16 + text::HexDigitValue(p[k]) : v * 10 + (p[k] - '0');
  *value = v;
  return kOk;
}

std::uint32_t Length(const char* text) {
  std::uint32_t n = 0;
  while (text[n] != '\0') ++n;
  return n;
}

void Copy(char* destination, const char* source) {
  std::uint32_t i = 0;
  do {
    destination[i] = source[i];
  } while (source[i++] != '\0');
}

}  // namespace

ServiceObject* detail::TheStringService() { return &g_stringService; }

// ---- string basics ----

Result StringService::StringLength(const char* text, std::uint32_t* length) {
  *length = Length(text);
  return kOk;
}

Result StringService::StringCopy(char* destination, const char* source) {
  Copy(destination, source);
  return kOk;
}

// Slots 5 and 6 share the implementation, not the virtual: substituting slot 1
// leaves slot 5 as it was, as two table entries holding one function would.
Result StringService::StringLengthAlias(const char* text, std::uint32_t* length) {
  *length = Length(text);
  return kOk;
}

Result StringService::StringCopyAlias(char* destination, const char* source) {
  Copy(destination, source);
  return kOk;
}

Result StringService::StringCompare(const char* first, const char* second) {
  const auto* a = reinterpret_cast<const unsigned char*>(first);
  const auto* b = reinterpret_cast<const unsigned char*>(second);
  for (;; ++a, ++b) {
    if (*a != *b) return *a < *b ? kStringBefore : kStringAfter;
    if (*a == 0) return kStringEqual;
  }
}

Result StringService::StringToLengthPrefixed(LengthPrefixedString* destination, const char* source) {
  std::uint32_t n = 0;
  while (source[n] != '\0') {
    if (n == kLengthPrefixedMax) {
      destination[0] = static_cast<unsigned char>(kLengthPrefixedMax);
      return kStringTooLong;
    }
    destination[1 + n] = static_cast<unsigned char>(source[n]);
    ++n;
  }
  destination[0] = static_cast<unsigned char>(n);
  return kOk;
}

Result StringService::CopyToString(const char* source, std::uint32_t length, char* destination) {
  for (std::uint32_t i = 0; i < length; ++i) destination[i] = source[i];
  destination[length] = '\0';
  return kOk;
}

// ---- case-insensitive comparison ----

Result StringService::CompareLengthPrefixedNoCase(const LengthPrefixedString* first,
                                                  const LengthPrefixedString* second) {
  return CompareFolded(first + 1, first[0], second + 1, second[0]);
}

Result StringService::CompareNoCase(const char* first, std::uint32_t firstLength, const char* second,
                                    std::uint32_t secondLength) {
  return CompareFolded(reinterpret_cast<const unsigned char*>(first), firstLength,
                       reinterpret_cast<const unsigned char*>(second), secondLength);
}

// ---- sorted-table look-ups ----
// The case-insensitive variants compare through this service's own slots and
// the exact ones through the memory service, so a substitute in either slot
// is honoured.

Result StringService::FindLengthPrefixedNoCase(const LengthPrefixedString* const* table, std::uint32_t count,
                                               const LengthPrefixedString* key, std::uint32_t* index) {
  return BinarySearch(table, count, index, [&](const LengthPrefixedString* entry) {
    return Strings()->CompareLengthPrefixedNoCase(key, entry);
  });
}

Result StringService::FindSpanNoCase(const LengthPrefixedString* const* table, std::uint32_t count, const char* key,
                                     std::uint32_t keyLength, std::uint32_t* index) {
  return BinarySearch(table, count, index, [&](const LengthPrefixedString* entry) {
    return Strings()->CompareNoCase(key, keyLength, reinterpret_cast<const char*>(entry + 1), entry[0]);
  });
}

Result StringService::FindLengthPrefixed(const LengthPrefixedString* const* table, std::uint32_t count,
                                         const LengthPrefixedString* key, std::uint32_t* index) {
  return BinarySearch(table, count, index, [&](const LengthPrefixedString* entry) {
    return Memory()->Compare(key + 1, key[0], entry + 1, entry[0]);
  });
}

Result StringService::FindSpan(const LengthPrefixedString* const* table, std::uint32_t count, const char* key,
                               std::uint32_t keyLength, std::uint32_t* index) {
  return BinarySearch(table, count, index, [&](const LengthPrefixedString* entry) {
    return Memory()->Compare(key, keyLength, entry + 1, entry[0]);
  });
}

// ---- number parsing ----

Result StringService::ParseUnsigned(const char* text, std::uint32_t length, std::uint32_t* value) {
  return ParseDigits<false>(text, length, value);
}

Result StringService::ParseHex(const char* text, std::uint32_t length, std::uint32_t* value) {
  return ParseDigits<true>(text, length, value);
}

// ---- text or binary ----

Result StringService::IsText(const void* data, std::uint32_t length, std::uint32_t* isText) {
  const auto* p = static_cast<const unsigned char*>(data);
  // Tab, line feed and carriage return are the only control bytes below 0x20
  // that text may hold; 0x7F and everything from 0x80 up count as text.
  constexpr std::uint32_t kTextControls = (1u << 0x09) | (1u << 0x0A) | (1u << 0x0D);
  for (std::uint32_t i = 0; i < length; ++i) {
    if (p[i] < 0x20 && ((kTextControls >> p[i]) & 1u) == 0) {
      *isText = 0;
      return kOk;
    }
  }
  *isText = 1;
  return kOk;
}

}  // namespace sfx
