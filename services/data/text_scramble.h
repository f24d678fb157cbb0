// Turns a text into a printable bracketed hexadecimal form that does not show
// it at sight, and back: "[" + two upper-case hex digits per byte + "]" + a zero
// byte. Each digit is offset by a 4-bit chaining value that starts at a fixed
// constant for every call and moves on by each digit written, so a repeated
// byte gives varying digits. There is no key: this hides a text from casual
// reading (a value in a settings file), it does not protect it.
#pragma once

#include <cstdint>

#include "services/core/service.h"

namespace sfx {

class TextScrambleService : public ServiceObject {
 public:
  // 1. A non-empty zero-terminated text; an empty (or null) one gives kFail.
  //    *out receives a MemoryService block of 2n + 3 bytes (the caller frees it).
  virtual Result ScrambleText(const char* text, char** out);
  // 2. Skips everything up to and including the first "["; the upper-case hex
  //    digits after it must be an even count followed by "]", otherwise kFail.
  //    *out receives a MemoryService block of the decoded bytes and a zero byte.
  //    Anything after the "]" is ignored.
  virtual Result UnscrambleText(const char* text, char** out);
  virtual Result ReservedLast() { return kFail; }

  TextScrambleService() = default;
};

inline TextScrambleService* TextScrambler() { return Service<TextScrambleService>(Slot::kTextScramble); }

// The chaining value every call starts from. Changing it makes every stored
// scrambled text unreadable.
inline constexpr std::uint32_t kScrambleStart = 0x9;

}  // namespace sfx
