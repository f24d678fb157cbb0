// The toolbox for 8-bit byte strings: comparison, copies, character classes,
// sorted-table look-ups, number texts, a text/binary test, byte-sequence
// search, and the cursor scanners and header-style list parsers.
//
// No operation knows a code page: classification and case folding concern the
// ASCII range only, and bytes 0x80..0xFF belong to no class and never fold.
// Output buffers are the caller's and must be large enough: nothing here checks
// an output capacity, allocates memory or keeps state between calls.
#pragma once

#include <cstdint>

#include "services/core/service.h"

namespace sfx {

// Outcomes (non-negative) and failures of the string service.
inline constexpr Result kStringFound = 0;
inline constexpr Result kStringNotFound = 1;
inline constexpr Result kStringEqual = 0;
inline constexpr Result kStringBefore = 2;       // the first text sorts before the second
inline constexpr Result kStringAfter = 3;        // the first text sorts after the second
inline constexpr Result kStringEnd = 5;          // no more items, parameters or pairs
inline constexpr Result kStringTooLong = kFail;  // longer than a length-prefixed string can hold
inline constexpr Result kStringUnterminatedQuote = FailureCode(facility::kString, 0x0001);  // 0x800B0001
inline constexpr Result kStringNumberTooLarge = FailureCode(facility::kString, 0x0002);     // 0x800B0002

// Character classes: each entry of kCharacterClassTable is the OR of these.
inline constexpr std::uint16_t kClassUpper = 0x0001;
inline constexpr std::uint16_t kClassLower = 0x0002;
inline constexpr std::uint16_t kClassDigit = 0x0004;
inline constexpr std::uint16_t kClassHexDigit = 0x0008;
inline constexpr std::uint16_t kClassSpace = 0x0010;        // 0x09..0x0D and space
inline constexpr std::uint16_t kClassControl = 0x0020;      // 0x00..0x1F and 0x7F
inline constexpr std::uint16_t kClassPunctuation = 0x0040;  // printable, neither letter nor digit
inline constexpr std::uint16_t kClassSeparator = 0x0100;    // the separators of HTTP header grammar
inline constexpr std::uint16_t kClassTokenChar = 0x0200;    // the token characters of that grammar

// 256 entries indexed by the byte value; zero for 0x80..0xFF.
extern const std::uint16_t kCharacterClassTable[256];

inline bool HasClass(unsigned char byte, std::uint16_t classes) { return (kCharacterClassTable[byte] & classes) != 0; }

// One count byte (0..255) followed by that many bytes, no terminator. Sorted
// tables of names are arrays of pointers to these.
using LengthPrefixedString = unsigned char;
inline constexpr std::uint32_t kLengthPrefixedMax = 255;

// A read position in a caller's text. The caller fills `next` and `remaining`;
// each scan consumes bytes and reports the piece it recognised, which points
// into the caller's text (nothing is copied or terminated). Other services fill
// these fields directly, so their order is fixed.
struct TextCursor {
  const char* next;
  std::uint32_t remaining;
  const char* tokenStart;
  std::uint32_t tokenLength;
};

// The cursor of the parameter, name-value and attribute parsers. A value
// length of 0 means the name had no value (or an empty one).
struct ParameterCursor {
  const char* next;
  std::uint32_t remaining;
  const char* nameStart;
  std::uint32_t nameLength;
  const char* valueStart;
  std::uint32_t valueLength;
};

// Comparisons return 0 (equal), 2 (first sorts before) or 3 (after): bytes
// compare unsigned, the first difference decides, a proper prefix sorts first.
// Case-insensitive variants fold 'A'..'Z' to lower case on both sides.
class StringService : public ServiceObject {
 public:
  // 1. Length without the terminator.
  virtual Result StringLength(const char* text, std::uint32_t* length);
  // 2. Copies the source with its terminator.
  virtual Result StringCopy(char* destination, const char* source);
  // 3. Exact comparison of two NUL-terminated strings.
  virtual Result StringCompare(const char* first, const char* second);
  // 4. kStringTooLong when the source has more than 255 bytes; the destination
  //    (256 bytes) then holds the first 255 with count 255.
  virtual Result StringToLengthPrefixed(LengthPrefixedString* destination, const char* source);
  // 5 and 6. The same operations as slots 1 and 2, at the positions the file
  //    system and URL services call them.
  virtual Result StringLengthAlias(const char* text, std::uint32_t* length);
  virtual Result StringCopyAlias(char* destination, const char* source);
  // 7.
  virtual Result CompareLengthPrefixedNoCase(const LengthPrefixedString* first, const LengthPrefixedString* second);
  // 8.
  virtual Result CompareNoCase(const char* first, std::uint32_t firstLength, const char* second,
                               std::uint32_t secondLength);
  // 9. Copies exactly `length` bytes and appends a zero byte.
  virtual Result CopyToString(const char* source, std::uint32_t length, char* destination);
  // 10. Decimal digits, no padding; stores their count (1..10).
  virtual Result FormatUnsigned(std::uint32_t value, char* output, std::uint32_t* length);
  // 11-14. Binary search in a table sorted under the variant's comparison:
  //    0 found (index stored when given), 1 not found. With equal entries the
  //    first one a probe meets is reported.
  virtual Result FindLengthPrefixedNoCase(const LengthPrefixedString* const* table, std::uint32_t count,
                                          const LengthPrefixedString* key, std::uint32_t* index);
  virtual Result FindSpanNoCase(const LengthPrefixedString* const* table, std::uint32_t count, const char* key,
                                std::uint32_t keyLength, std::uint32_t* index);
  virtual Result FindLengthPrefixed(const LengthPrefixedString* const* table, std::uint32_t count,
                                    const LengthPrefixedString* key, std::uint32_t* index);
  virtual Result FindSpan(const LengthPrefixedString* const* table, std::uint32_t count, const char* key,
                          std::uint32_t keyLength, std::uint32_t* index);
  // 15, 16. Leading white space is skipped; the digit run ends at the first
  //    other byte. More than 10 decimal (8 hex) digits, leading zeros counted,
  //    or a value above 32 bits store 0xFFFFFFFF and fail with
  //    kStringNumberTooLarge. No digits give 0.
  virtual Result ParseUnsigned(const char* text, std::uint32_t length, std::uint32_t* value);
  virtual Result ParseHex(const char* text, std::uint32_t length, std::uint32_t* value);
  // 17-27. Scanners and list parsers over a cursor (text_cursor.cpp).
  virtual Result SkipWhitespace(TextCursor* cursor);
  virtual Result TrimWhitespace(TextCursor* cursor);
  virtual Result ScanUnsigned(TextCursor* cursor, std::uint32_t* value);
  virtual Result ScanHex(TextCursor* cursor, std::uint32_t* value);
  virtual Result ScanToChar(TextCursor* cursor, std::uint32_t byte);
  virtual Result ScanToAnyOf(TextCursor* cursor, const char* set, std::uint32_t setLength);
  virtual Result ScanToken(TextCursor* cursor);
  virtual Result ScanQuoted(TextCursor* cursor);
  virtual Result NextParameter(ParameterCursor* cursor);
  virtual Result NextListItem(TextCursor* cursor, ParameterCursor* parameters);
  virtual Result NextNameValue(ParameterCursor* cursor);
  // 28-31. Number texts; the length out is optional. Hex digits are upper case.
  virtual Result FormatHex(std::uint32_t value, std::uint32_t minimumDigits, char* output, std::uint32_t* length);
  virtual Result FormatUnsignedPadded(std::uint32_t value, std::uint32_t minimumDigits, char* output,
                                      std::uint32_t* length);
  // a..z, aa, ab, ... (bijective base 26); 0 writes 'a'.
  virtual Result FormatLetters(std::uint32_t value, std::uint32_t upperCase, char* output, std::uint32_t* length);
  // 0 writes '0'; 4000 and above write 'MMMM'. At most 15 bytes.
  virtual Result FormatRoman(std::uint32_t value, std::uint32_t upperCase, char* output, std::uint32_t* length);
  // 32. Flag 0 at the first byte 0x00..0x08, 0x0B, 0x0C or 0x0E..0x1F, else 1.
  virtual Result IsText(const void* data, std::uint32_t length, std::uint32_t* isText);
  // 33. Attribute lists; with a non-zero comma flag commas separate too.
  virtual Result NextAttribute(ParameterCursor* cursor, std::uint32_t commaSeparates);
  // 34, 35. First / last occurrence of a byte sequence: 0 found (offset of its
  //    first byte stored when given), 1 not found. An empty pattern is found at
  //    0 by FindBytes and at the data length by FindBytesLast.
  virtual Result FindBytes(const void* data, std::uint32_t dataLength, const void* pattern, std::uint32_t patternLength,
                           std::uint32_t* offset);
  virtual Result FindBytesLast(const void* data, std::uint32_t dataLength, const void* pattern,
                               std::uint32_t patternLength, std::uint32_t* offset);
  virtual Result ReservedLast() { return kFail; }

  StringService() = default;
};

inline StringService* Strings() { return Service<StringService>(Slot::kString); }

}  // namespace sfx
