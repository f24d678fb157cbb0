#include "services/core/path_join.h"

#include "services/core/memory_service.h"

namespace sfx::path {

std::uint32_t Length(const char* text) {
  std::uint32_t n = 0;
  while (text[n] != '\0') ++n;
  return n;
}

Result Join(const char* folder, const char* name, char* buffer, std::uint32_t capacity) {
  const std::uint32_t folderLength = Length(folder);
  const std::uint32_t nameLength = Length(name);
  if (folderLength >= capacity || nameLength >= capacity) return kUrlTooLong;
  // Only a backslash counts as a final separator; a final slash gets one added.
  const bool addSeparator = folderLength > 0 && folder[folderLength - 1] != '\\';
  const std::uint32_t joined = folderLength + (addSeparator ? 1 : 0);
  if (nameLength + 1 > capacity - joined) return kUrlTooLong;
  (void)Memory()->Copy(buffer, folder, folderLength);  // Copy cannot fail
  if (addSeparator) buffer[folderLength] = '\\';
  (void)Memory()->Copy(buffer + joined, name, nameLength + 1);
  return kOk;
}

Result JoinParts(char* buffer, std::uint32_t capacity, const char* base, const char* const parts[4],
                 std::uint32_t* needed) {
  std::uint32_t lengths[4] = {0, 0, 0, 0};
  const std::uint32_t baseLength = Length(base);
  // Each length is below 2^32 and at most five are added: 64 bits cannot wrap.
  std::uint64_t size = std::uint64_t{baseLength} + 1;
  for (int i = 0; i < 4; ++i) {
    if (parts[i] == nullptr) continue;
    lengths[i] = Length(parts[i]);
    size += std::uint64_t{lengths[i]} + 1;
  }
  const std::uint32_t reported = size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(size);
  if (needed != nullptr) *needed = reported;
  if (size > capacity) return kFail;
  (void)Memory()->Copy(buffer, base, baseLength);  // Copy cannot fail
  std::uint32_t at = baseLength;
  for (int i = 0; i < 4; ++i) {
    if (parts[i] == nullptr) continue;
    buffer[at++] = '\\';
    (void)Memory()->Copy(buffer + at, parts[i], lengths[i]);
    at += lengths[i];
  }
  buffer[at] = '\0';
  return kOk;
}

}  // namespace sfx::path
