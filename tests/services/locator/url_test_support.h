// Calls of the URL service that return their text, for compact expectations.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "services/locator/url_service.h"

namespace sfx::test {

inline std::uint32_t Size(const std::string& s) { return static_cast<std::uint32_t>(s.size()); }

// An operation under the capacity in/out convention, as a member pointer.
using PathOperation = Result (UrlService::*)(const char*, std::uint32_t, char*, std::uint32_t*);
using FullPathOperation = Result (UrlService::*)(const char*, std::uint32_t, const char*, std::uint32_t, char*,
                                                 std::uint32_t*);

// Runs `call(buffer, &capacity)` with a roomy buffer, then checks that a
// buffer one byte short of the result is refused with the exact length needed.
template <class Call>
std::string RunWithCapacity(Call call, Result* result = nullptr) {
  std::string buffer(70000 * 3, '\x7F');
  std::uint32_t capacity = Size(buffer);
  const Result r = call(buffer.data(), &capacity);
  if (result != nullptr) *result = r;
  if (Failed(r)) return "<failed " + std::to_string(static_cast<std::uint32_t>(r)) + ">";
  const std::string text(buffer.data(), capacity);
  if (capacity > 0) {
    std::uint32_t small = capacity - 1;
    EXPECT_EQ(call(buffer.data(), &small), kUrlBufferTooSmall) << text;
    EXPECT_EQ(small, capacity) << text;
  }
  return text;
}

inline std::string Convert(PathOperation op, const std::string& in, Result* result = nullptr) {
  return RunWithCapacity([&](char* b, std::uint32_t* c) { return (Urls()->*op)(in.data(), Size(in), b, c); }, result);
}

inline std::string FullPath(FullPathOperation op, const char* base, const std::string& path, Result* result = nullptr) {
  const std::uint32_t baseLength = base == nullptr ? 0 : static_cast<std::uint32_t>(std::string(base).size());
  return RunWithCapacity(
      [&](char* b, std::uint32_t* c) { return (Urls()->*op)(base, baseLength, path.data(), Size(path), b, c); },
      result);
}

inline std::string Resolve(const std::string& base, const std::string& relative, Result* result = nullptr) {
  return RunWithCapacity(
      [&](char* b, std::uint32_t* c) {
        return Urls()->ResolveUrl(base.data(), Size(base), nullptr, relative.data(), Size(relative), b, c, nullptr);
      },
      result);
}

}  // namespace sfx::test
