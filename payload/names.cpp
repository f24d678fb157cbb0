#include "payload/names.h"

#include <cstring>

#include "platform/file.h"

namespace sfx::payload {
namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualsNoCase(const char* part, std::uint32_t length, const char* word) {
  if (std::strlen(word) != length) return false;
  for (std::uint32_t i = 0; i < length; ++i) {
    if (Upper(part[i]) != word[i]) return false;
  }
  return true;
}

// Windows opens these devices in every folder, whatever follows a dot.
bool IsDeviceName(const char* part, std::uint32_t length) {
  std::uint32_t stem = 0;
  while (stem < length && part[stem] != '.') ++stem;
  while (stem > 0 && part[stem - 1] == ' ') --stem;
  static constexpr const char* kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
  for (const char* device : kDevices) {
    if (EqualsNoCase(part, stem, device)) return true;
  }
  if (stem == 4 && (EqualsNoCase(part, 3, "COM") || EqualsNoCase(part, 3, "LPT"))) {
    const auto digit = static_cast<unsigned char>(part[3]);
    // 1 to 9, and the superscript digits 1, 2 and 3 of the Windows code page.
    return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
  }
  return false;
}

bool IsSafePart(const char* part, std::uint32_t length, bool refuseDeviceNames) {
  if (length == 0) return false;
  bool onlyDotsAndSpaces = true;
  for (std::uint32_t i = 0; i < length; ++i) {
    if (part[i] != '.' && part[i] != ' ') onlyDotsAndSpaces = false;
  }
  return !onlyDotsAndSpaces && !(refuseDeviceNames && IsDeviceName(part, length));
}

}  // namespace

bool IsSafeEntryName(const char* name, std::uint32_t length, bool refuseDeviceNames) {
  if (length == 0 || IsSeparator(name[0])) return false;
  if (std::memchr(name, '\0', length) != nullptr || std::memchr(name, ':', length) != nullptr) return false;
  if (IsSeparator(name[length - 1])) --length;  // a folder entry's marker
  std::uint32_t start = 0;
  for (std::uint32_t i = 0; i <= length; ++i) {
    if (i == length || IsSeparator(name[i])) {
      if (!IsSafePart(name + start, i - start, refuseDeviceNames)) return false;
      start = i + 1;
    }
  }
  return true;
}

void UsePlatformSeparators(char* name) {
  for (; *name != '\0'; ++name) {
    if (IsSeparator(*name)) *name = platform::kPathSeparator;
  }
}

}  // namespace sfx::payload
