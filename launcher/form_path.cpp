#include "launcher/form_path.h"

#include <cstring>

#include "platform/file.h"

namespace sfx::launcher {

int FormPath(char* destination, std::uint32_t capacity, const char* base, const char* part1, const char* part2,
             const char* part3, const char* part4, std::uint32_t* needed) {
  const char* parts[4] = {part1, part2, part3, part4};
  // In 64 bits: four parts and a base cannot wrap it.
  std::uint64_t size = std::strlen(base) + 1;
  for (const char* part : parts) {
    if (part != nullptr) size += std::strlen(part) + 1;
  }
  const std::uint32_t clipped = size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(size);
  if (needed != nullptr) *needed = clipped;
  if (capacity < size) return 0;

  std::size_t at = std::strlen(base);
  std::memcpy(destination, base, at);
  for (const char* part : parts) {
    if (part == nullptr) continue;
    destination[at++] = platform::kPathSeparator;
    const std::size_t length = std::strlen(part);
    std::memcpy(destination + at, part, length);
    at += length;
  }
  destination[at] = '\0';
  return 1;
}

}  // namespace sfx::launcher
