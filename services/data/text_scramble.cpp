#include "services/data/text_scramble.h"

#include "services/core/memory_service.h"
#include "services/core/registry_p.h"
#include "services/data/text_scramble_p.h"
#include "services/text/string_service.h"

namespace sfx {
namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

// Upper-case only: lower-case digits never appear in the scrambled form.
int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

TextScrambleService g_textScrambleService;

}  // namespace

// Each digit is a nibble offset by the chaining value k, which then moves on by
// the digit itself, so the reader can follow k from the digits alone.
void detail::ScrambleDigits(const unsigned char* bytes, std::uint32_t n, std::uint32_t start, char* digits) {
  std::uint32_t k = start & 0xF;
  for (std::uint32_t i = 0; i < n; ++i) {
    const std::uint32_t d1 = ((bytes[i] & 0xFu) + k) & 0xF;
    k = (k + d1) & 0xF;
    const std::uint32_t d2 = ((bytes[i] >> 4) + k) & 0xF;
    k = (k + d2) & 0xF;
    *digits++ = kDigits[d1];
    *digits++ = kDigits[d2];
  }
}

void detail::UnscrambleDigits(const char* digits, std::uint32_t count, std::uint32_t start, unsigned char* bytes) {
  std::uint32_t k = start & 0xF;
  for (std::uint32_t i = 0; i + 1 < count; i += 2) {
    const auto d1 = static_cast<std::uint32_t>(DigitValue(digits[i]));
    const std::uint32_t low = (d1 - k) & 0xF;
    k = (k + d1) & 0xF;
    const auto d2 = static_cast<std::uint32_t>(DigitValue(digits[i + 1]));
    const std::uint32_t high = (d2 - k) & 0xF;
    k = (k + d2) & 0xF;
    *bytes++ = static_cast<unsigned char>(high << 4 | low);
  }
}

ServiceObject* detail::TheTextScrambleService() { return &g_textScrambleService; }

Result TextScrambleService::ScrambleText(const char* text, char** out) {
  if (out == nullptr) return kNullOutput;
  std::uint32_t n = 0;
  if (text != nullptr) SFX_TRY(Strings()->StringLength(text, &n));
  if (n == 0) return kFail;
  // 2n + 3 must fit the 32-bit size the memory service takes.
  if (n > (0xFFFFFFFFu - 3) / 2) return kOutOfMemory;
  void* block = nullptr;
  SFX_TRY(Memory()->Allocate(2 * n + 3, &block));

  char* o = static_cast<char*>(block);
  o[0] = '[';
  detail::ScrambleDigits(reinterpret_cast<const unsigned char*>(text), n, kScrambleStart, o + 1);
  o[2 * n + 1] = ']';
  o[2 * n + 2] = '\0';
  *out = static_cast<char*>(block);
  return kOk;
}

Result TextScrambleService::UnscrambleText(const char* text, char** out) {
  if (out == nullptr) return kNullOutput;
  if (text == nullptr) return kFail;
  while (*text != '\0' && *text != '[') ++text;
  if (*text != '[') return kFail;
  const char* digits = ++text;
  std::uint32_t count = 0;
  while (DigitValue(digits[count]) >= 0) ++count;
  if (digits[count] != ']' || count % 2 != 0) return kFail;

  void* block = nullptr;
  SFX_TRY(Memory()->Allocate(count / 2 + 1, &block));
  auto* o = static_cast<unsigned char*>(block);
  detail::UnscrambleDigits(digits, count, kScrambleStart, o);
  o[count / 2] = '\0';
  *out = static_cast<char*>(block);
  return kOk;
}

}  // namespace sfx
