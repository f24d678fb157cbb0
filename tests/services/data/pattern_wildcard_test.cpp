// Wildcard matching against a plain exponential reference, on every small
// pattern and subject over a tiny alphabet, plus adversarial shapes that took
// exponential time when failed segments were backtracked.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "services/data/pattern.h"

namespace sfx {
namespace {

char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// Anchored match of p against s by plain recursion on "*".
bool AnchoredRef(std::string_view p, std::string_view s, bool caseSensitive) {
  if (p.empty()) return s.empty();
  if (p[0] == '*') {
    for (std::size_t skip = 0; skip <= s.size(); ++skip) {
      if (AnchoredRef(p.substr(1), s.substr(skip), caseSensitive)) return true;
    }
    return false;
  }
  if (s.empty()) return false;
  const bool same = p[0] == '?' || (caseSensitive ? p[0] == s[0] : Fold(p[0]) == Fold(s[0]));
  return same && AnchoredRef(p.substr(1), s.substr(1), caseSensitive);
}

// Unanchored: the pattern may sit anywhere, as if wrapped in stars; an empty
// subject never matches.
Result ReferenceMatch(std::string_view p, std::string_view s, bool caseSensitive) {
  if (p.empty() || s.empty()) return 1;
  std::string wrapped(1, '*');
  wrapped.append(p);
  wrapped.push_back('*');
  return AnchoredRef(wrapped, s, caseSensitive) ? 0 : 1;
}

Result Match(std::string_view p, std::string_view s, std::uint32_t options) {
  return Patterns()->MatchPattern(kPatternWildcard, options, p.data(), static_cast<std::uint32_t>(p.size()), s.data(),
                                  static_cast<std::uint32_t>(s.size()));
}

// Every string of length 1..maxLength over an alphabet, in order.
template <class F>
void ForEachString(std::string_view alphabet, std::size_t maxLength, F&& f) {
  std::string s;
  for (std::size_t length = 1; length <= maxLength; ++length) {
    std::vector<std::size_t> digits(length, 0);
    while (true) {
      s.resize(length);
      for (std::size_t i = 0; i < length; ++i) s[i] = alphabet[digits[i]];
      f(s);
      std::size_t i = 0;
      while (i < length && ++digits[i] == alphabet.size()) digits[i++] = 0;
      if (i == length) break;
    }
  }
}

TEST(PatternWildcardTest, AgreesWithExponentialReference) {
  std::vector<std::string> subjects;
  ForEachString("aAb", 4, [&](const std::string& s) { subjects.push_back(s); });
  std::size_t compared = 0;
  ForEachString("ab*?B", 5, [&](const std::string& p) {
    for (const std::string& s : subjects) {
      for (std::uint32_t options : {0u, kPatternCaseSensitive}) {
        const bool cs = options != 0;
        ASSERT_EQ(Match(p, s, options), ReferenceMatch(p, s, cs))
            << "pattern '" << p << "' subject '" << s << "' case-sensitive " << cs;
        ++compared;
      }
    }
  });
  EXPECT_GT(compared, 900000u);
}

// 'a*a*...*b' against a long run of 'a': every placement of the early
// segments fails the same way. With backtracking this ran for ages.
TEST(PatternWildcardTest, AdversarialPatternsEndQuickly) {
  std::string pattern;
  for (int i = 0; i < 30; ++i) pattern += "a*";
  pattern += "b";
  const std::string subject(100000, 'a');
  EXPECT_EQ(Match(pattern, subject, 0), 1);
  EXPECT_EQ(Match(pattern, subject + "b", 0), 0);
  EXPECT_EQ(Match("*?a?a?a?a?a?a?a?a?b*", subject, 0), 1);
}

}  // namespace
}  // namespace sfx
