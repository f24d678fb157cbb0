#include "platform/command_line.h"

namespace sfx::platform {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::size_t SplitCommandLine(const char* line, char* storage, char** arguments, std::size_t capacity) {
  const char* p = line;
  char* out = storage;
  std::size_t count = 0;
  auto begin = [&] {
    if (count < capacity) arguments[count] = out;
    ++count;
  };

  // The program: quotes toggle, nothing is escaped.
  if (*p != '\0') {
    begin();
    bool quoted = false;
    while (*p != '\0' && (quoted || !IsBlank(*p))) {
      if (*p == '"') {
        quoted = !quoted;
      } else {
        *out++ = *p;
      }
      ++p;
    }
    *out++ = '\0';
  }

  for (;;) {
    while (IsBlank(*p)) ++p;
    if (*p == '\0') break;
    begin();
    bool quoted = false;
    for (;;) {
      bool copy = true;
      std::size_t slashes = 0;
      while (*p == '\\') {
        ++p;
        ++slashes;
      }
      if (*p == '"') {
        if (slashes % 2 == 0) {
          if (quoted && p[1] == '"') {
            ++p;  // "" inside quotes: one literal quote, still quoted
          } else {
            copy = false;
            quoted = !quoted;
          }
        }
        slashes /= 2;
      }
      while (slashes-- > 0) *out++ = '\\';
      if (*p == '\0' || (!quoted && IsBlank(*p))) break;
      if (copy) *out++ = *p;
      ++p;
    }
    *out++ = '\0';
  }
  return count;
}

}  // namespace sfx::platform
