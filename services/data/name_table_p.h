// Constant tables of LengthPrefixedString names, packed at compile time from a
// list of string literals, for the data services' sorted look-ups.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "services/text/string_service.h"

namespace sfx::detail {

// The order FindSpanNoCase searches in: 'A'..'Z' fold to lower case, bytes
// compare unsigned, a proper prefix first.
constexpr bool NamesSortedNoCase(const std::string_view* names, std::size_t count) {
  auto fold = [](char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u + 32) : u;
  };
  for (std::size_t i = 1; i < count; ++i) {
    const std::string_view a = names[i - 1], b = names[i];
    std::size_t k = 0;
    while (k < a.size() && k < b.size() && fold(a[k]) == fold(b[k])) ++k;
    const bool before = k < a.size() && k < b.size() ? fold(a[k]) < fold(b[k]) : a.size() < b.size();
    if (!before) return false;
  }
  return true;
}

// All names of one list, each a count byte and its characters, back to back in
// read-only data, with a parallel array of pointers to them.
template <const auto& Names>
struct PackedNames {
  static constexpr std::size_t kCount = std::size(Names);
  static constexpr std::size_t kBytes = [] {
    std::size_t n = 0;
    for (std::string_view s : Names) n += 1 + s.size();
    return n;
  }();
  static constexpr std::array<LengthPrefixedString, kBytes> kBlob = [] {
    std::array<LengthPrefixedString, kBytes> blob{};
    std::size_t at = 0;
    for (std::string_view s : Names) {
      blob[at++] = static_cast<LengthPrefixedString>(s.size());
      for (char c : s) blob[at++] = static_cast<LengthPrefixedString>(c);
    }
    return blob;
  }();
  static constexpr std::array<const LengthPrefixedString*, kCount> kTable = [] {
    std::array<const LengthPrefixedString*, kCount> table{};
    std::size_t at = 0;
    for (std::size_t i = 0; i < kCount; ++i) {
      table[i] = &kBlob[at];
      at += 1 + Names[i].size();
    }
    return table;
  }();
};

}  // namespace sfx::detail
