// Number texts of the string service: decimal, padded decimal, hexadecimal,
// letters and roman numerals. Digit counts come from comparisons with powers
// of ten or from the leading zero nibbles, never from floating point.
#include "services/text/string_service.h"

namespace sfx {
namespace {

constexpr std::uint32_t kPowersOfTen[10] = {1u,      10u,      100u,      1000u,      10000u,
                                            100000u, 1000000u, 10000000u, 100000000u, 1000000000u};

// Zero has no digits here; callers decide what a zero value writes.
std::uint32_t DecimalDigitCount(std::uint32_t value) {
  std::uint32_t count = 0;
  while (count < 10 && value >= kPowersOfTen[count]) ++count;
  return count;
}

std::uint32_t HexDigitCount(std::uint32_t value) {
  std::uint32_t count = 8;
  while (count > 0 && (value >> ((count - 1) * 4)) == 0) --count;
  return count;
}

void WriteDecimal(std::uint32_t value, char* end, std::uint32_t count) {
  for (std::uint32_t i = 0; i < count; ++i) {
    *--end = static_cast<char>('0' + value % 10);
    value /= 10;
  }
}

// Writes `count` digits padded with zeros to `minimum`; returns the length.
std::uint32_t WritePadded(std::uint32_t count, std::uint32_t minimum, char* output) {
  const std::uint32_t total = count < minimum ? minimum : count;
  for (std::uint32_t i = 0; i < total - count; ++i) output[i] = '0';
  return total;
}

void Store(std::uint32_t* length, std::uint32_t value) {
  if (length != nullptr) *length = value;
}

}  // namespace

Result StringService::FormatUnsigned(std::uint32_t value, char* output, std::uint32_t* length) {
  std::uint32_t count = DecimalDigitCount(value);
  if (count == 0) count = 1;
  WriteDecimal(value, output + count, count);
  *length = count;
  return kOk;
}

Result StringService::FormatUnsignedPadded(std::uint32_t value, std::uint32_t minimumDigits, char* output,
                                           std::uint32_t* length) {
  std::uint32_t count = DecimalDigitCount(value);
  if (count == 0 && minimumDigits == 0) count = 1;  // zero writes '0' when nothing pads it
  const std::uint32_t total = WritePadded(count, minimumDigits, output);
  WriteDecimal(value, output + total, count);
  Store(length, total);
  return kOk;
}

Result StringService::FormatHex(std::uint32_t value, std::uint32_t minimumDigits, char* output, std::uint32_t* length) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::uint32_t count = HexDigitCount(value);
  if (count == 0 && minimumDigits == 0) count = 1;
  const std::uint32_t total = WritePadded(count, minimumDigits, output);
  for (std::uint32_t i = 0; i < count; ++i) output[total - 1 - i] = kDigits[(value >> (4 * i)) & 0xF];
  Store(length, total);
  return kOk;
}

Result StringService::FormatLetters(std::uint32_t value, std::uint32_t upperCase, char* output, std::uint32_t* length) {
  const char base = upperCase != 0 ? 'A' : 'a';
  if (value == 0) {
    output[0] = base;
    Store(length, 1);
    return kOk;
  }
  // Bijective base 26 has no zero digit: a remainder of 0 stands for 'z' and
  // borrows 26 from the value. Letters come out right to left.
  char letters[8];  // 0xFFFFFFFF needs 7
  std::uint32_t count = 0;
  while (value != 0) {
    std::uint32_t r = value % 26;
    if (r == 0) {
      r = 26;
      value -= 26;
    }
    letters[count++] = static_cast<char>(base + r - 1);
    value /= 26;
  }
  for (std::uint32_t i = 0; i < count; ++i) output[i] = letters[count - 1 - i];
  Store(length, count);
  return kOk;
}

Result StringService::FormatRoman(std::uint32_t value, std::uint32_t upperCase, char* output, std::uint32_t* length) {
  if (value == 0) {
    output[0] = '0';
    Store(length, 1);
    return kOk;
  }
  const char* letters = upperCase != 0 ? "IVXLCDM" : "ivxlcdm";
  if (value >= 4000) {
    for (int i = 0; i < 4; ++i) output[i] = letters[6];
    Store(length, 4);
    return kOk;
  }
  // Letters per decimal digit 0..9, and each digit's pattern over the
  // position's (one, five, ten) letters, 'o', 'f' and 't'.
  static constexpr std::uint32_t kLettersPerDigit[10] = {0, 1, 2, 3, 2, 1, 2, 3, 4, 2};
  static constexpr const char* kPatterns[10] = {"", "o", "oo", "ooo", "of", "f", "fo", "foo", "fooo", "ot"};
  std::uint32_t total = 0;
  for (std::uint32_t v = value; v != 0; v /= 10) total += kLettersPerDigit[v % 10];
  char* end = output + total;
  std::uint32_t position = 0;  // 0 units, 1 tens, 2 hundreds, 3 thousands
  for (std::uint32_t v = value; v != 0; v /= 10, ++position) {
    const char* pattern = kPatterns[v % 10];
    const char* triple = letters + 2 * position;  // the thousands use only their 'one', 'M'
    std::uint32_t n = kLettersPerDigit[v % 10];
    end -= n;
    for (std::uint32_t i = 0; i < n; ++i)
      end[i] = pattern[i] == 'o' ? triple[0] : pattern[i] == 'f' ? triple[1] : triple[2];
  }
  Store(length, total);
  return kOk;
}

}  // namespace sfx
