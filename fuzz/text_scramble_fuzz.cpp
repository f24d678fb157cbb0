// Unscrambles arbitrary zero-terminated input and scrambles it back: whatever
// unscrambles must round-trip to the same digits (the form is canonical), and
// every text without a zero byte must come back from its scrambled form.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "services/core/memory_service.h"
#include "services/core/service.h"
#include "services/data/text_scramble.h"

namespace {

using namespace sfx;

void Check(bool condition) {
  if (!condition) std::abort();
}

struct Registered {
  Registered() { (void)RegisterCoreServices(); }
} g_registered;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 8192) return 0;
  // An exact-size zero-terminated copy, so a read past the terminator is caught.
  const std::unique_ptr<char[]> text(new char[size + 1]);
  std::memcpy(text.get(), data, size);
  text[size] = '\0';
  const std::size_t length = std::strlen(text.get());

  char* decoded = nullptr;
  if (TextScrambler()->UnscrambleText(text.get(), &decoded) == kOk) {
    const char* open = std::strchr(text.get(), '[');
    const std::size_t digits = std::strchr(open, ']') - open - 1;
    Check(std::strlen(decoded) <= digits / 2);
    if (std::strlen(decoded) == digits / 2 && digits > 0) {
      char* again = nullptr;
      Check(TextScrambler()->ScrambleText(decoded, &again) == kOk);
      Check(std::memcmp(again, open, digits + 2) == 0 && again[digits + 2] == '\0');
      Check(Memory()->Free(again) == kOk);
    }
    Check(Memory()->Free(decoded) == kOk);
  }

  char* scrambled = nullptr;
  const Result r = TextScrambler()->ScrambleText(text.get(), &scrambled);
  Check(length == 0 ? r == kFail : r == kOk);
  if (r == kOk) {
    Check(std::strlen(scrambled) == 2 * length + 2);
    char* back = nullptr;
    Check(TextScrambler()->UnscrambleText(scrambled, &back) == kOk);
    Check(std::string(back) == std::string(text.get(), length));
    Check(Memory()->Free(back) == kOk);
    Check(Memory()->Free(scrambled) == kOk);
  }
  return 0;
}
