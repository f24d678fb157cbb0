#include "services/data/pattern.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>

#include "services/core/memory_service.h"
#include "tests/support/fault_memory.h"

namespace sfx {
namespace {

Result Match(std::uint32_t kind, std::uint32_t options, std::string_view pattern, std::string_view subject) {
  return Patterns()->MatchPattern(kind, options, pattern.data(), static_cast<std::uint32_t>(pattern.size()),
                                  subject.data(), static_cast<std::uint32_t>(subject.size()));
}

struct MatchCase {
  std::uint32_t kind;
  std::uint32_t options;
  std::string_view pattern;
  std::string_view subject;
  Result expected;
};

void RunCases(const MatchCase* cases, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const MatchCase& c = cases[i];
    EXPECT_EQ(Match(c.kind, c.options, c.pattern, c.subject), c.expected)
        << "kind " << c.kind << " options " << c.options << " pattern '" << c.pattern << "' subject '" << c.subject
        << "'";
  }
}

constexpr std::uint32_t WC = kPatternWildcard, RE = kPatternRegex, PX = kPatternPrefixed;
constexpr std::uint32_t O = kPatternDelimited, C = kPatternCaseSensitive;

// Plain wildcard matching is checked against a reference beside this file;
// these are the bytes and kinds outside its alphabet.
TEST(PatternTest, Wildcards) {
  const MatchCase cases[] = {
      {WC, 0, "*.txt", "README.TXT", 0}, {WC, 0, "?", "\xE9", 0}, {WC, 0, "\xC9", "\xE9", 1},
      {WC, 0, "[a]", "[A]", 0},          {7, 0, "a", "a", 1},     {0, 0, "a", "a", 1},
  };
  RunCases(cases, std::size(cases));
}

TEST(PatternTest, PrefixedPatterns) {
  const MatchCase cases[] = {
      {PX, 0, "wc::*.txt", "README.TXT", 0},
      {PX, 0, "WC:C:*.txt", "README.TXT", 1},
      {PX, C, "WC::*.txt", "README.TXT", 1},  // the caller's bits are ORed in
      {PX, 0, "WC:*.txt", "a.txt", kPatternBadOptions},
      {PX, 0, "XY::a", "a", kPatternBadKind},
      {PX, 0, "::a", "a", kPatternBadKind},
      {PX, 0, "WC::", "a", 1},
      {PX, 0, "WC:", "a", kPatternBadOptions},
      {PX, 0, "WC", "a", kPatternBadKind},  // a bare kind name: nothing is read past the pattern
      {PX, 0, "W", "a", kPatternBadKind},
      {PX, 0, "RE:C:abc", "xABC", 1},
      {PX, 0, "RE::abc", "xABC", 0},
      {PX, C, "RE::abc", "xABC", 1},
      {PX, 0, "re:o:/^a/", "abc", 0},
      {PX, 0, "RE:xyz:^a", "abc", 0},  // unknown option letters are skipped
  };
  RunCases(cases, std::size(cases));
}

TEST(PatternTest, RegularExpressions) {
  const MatchCase cases[] = {
      {RE, O, "/^ab/", "abc", 0},
      {RE, O | C, "/AB/i", "xab", 0},
      {RE, O, "/ab", "x/abc", 0},  // no closing slash: the whole text is the expression
      {RE, O, "/ab", "abc", 1},
      {RE, 0, "/ab/", "ab", 1},  // not delimited without option 1
      {RE, 0, "/ab/", "x/ab/y", 0},
      {RE, 0, "(", "(", kPatternBadRegex},
      {RE, O, "//", "a", 1},  // an empty body
      {RE, O, "/", "/", 0},
      {RE, 0, "b.c", "ABXC", 0},
      {RE, C, "b.c", "ABXC", 1},
      {RE, O, "/^b/m", "a\nb", 0},
      {RE, O, "/^b/", "a\nb", 1},
      {RE, O, "/a.b/s", "a\nb", 0},
      {RE, O, "/a.b/", "a\nb", 1},
      {RE, O, "/a b/x", "ab", 0},
      {RE, O, "/b/A", "ab", 1},
      {RE, O, "/^a/B", "ab", 1},
      {RE, O, "/b$/Z", "ab", 1},
      {RE, O, "/x*/N", "ab", 1},
      {RE, O, "/x*/", "ab", 0},
      {RE, O, "/a+?/U", "aa", 0},
      {RE, O, "/a$/E", "a\n", 1},
      {RE, O, "/a$/", "a\n", 0},
      {RE, O, "/\\j/X", "j", kPatternBadRegex},
      {RE, O, "/ab/qw", "ab", 0},  // unknown modifiers are ignored
      {RE, 0, "[[:digit:]]{3}", "a123", 0},
      {RE, 0, "\xE9", "\xC9", 1},  // case folding is ASCII only
  };
  RunCases(cases, std::size(cases));
}

// The engines differ between the targets (one has UTF-8 and Unicode
// properties, the other neither); each such pattern is refused on both.
TEST(PatternTest, PatternsOnlyOneTargetWouldAcceptAreRefused) {
  const MatchCase cases[] = {
      {RE, O, "/a/8", "a", kPatternBadRegex},
      {RE, O, "/a/i8", "a", kPatternBadRegex},
      {RE, 0, "(*UTF8)a", "a", kPatternBadRegex},
      {RE, 0, "(*UTF)a", "a", kPatternBadRegex},
      {RE, 0, "(*UCP)\\w", "a", kPatternBadRegex},
      {RE, 0, "\\p{L}", "a", kPatternBadRegex},
      {RE, 0, "[\\P{L}]", "1", kPatternBadRegex},
      {RE, 0, "\\X", "a", kPatternBadRegex},
      {RE, 0, "\\\\p", "\\p", 0},      // an escaped backslash, then a plain "p"
      {RE, 0, "\\Q\\p\\E", "\\p", 0},  // quoted: literal
      {RE, 0, "\\Q\\\\E\\X", "\\", kPatternBadRegex},
      {RE, 0, "[\\w]+", "\xE9", 1},  // no locale or Unicode classes on either target
  };
  RunCases(cases, std::size(cases));
}

// An explicit length may cover zero bytes; PCRE would stop at the first one.
TEST(PatternTest, ZeroBytesInARegularExpressionAreRefused) {
  const MatchCase cases[] = {
      {RE, 0, std::string_view("a\0z", 3), "a", kPatternBadRegex},
      {RE, 0, std::string_view("\0z", 2), "a", kPatternBadRegex},
      {RE, O, std::string_view("/a\0/", 4), "a", kPatternBadRegex},
      {RE, O, std::string_view("/a/i\0", 5), "A", 0},  // a zero among the modifiers is just ignored
      {RE, 0, "a.c", std::string_view("a\0c", 3), 0},  // the subject may hold zero bytes
      {WC, 0, std::string_view("a\0c", 3), std::string_view("xa\0c", 4), 0},
  };
  RunCases(cases, std::size(cases));
}

TEST(PatternTest, ZeroLengthMeansZeroTerminated) {
  EXPECT_EQ(Patterns()->MatchPattern(WC, 0, "*.txt", 0, "a.txt", 0), 0);
  EXPECT_EQ(Patterns()->MatchPattern(WC, 0, "*.txt", 0, "a.txt\0xx", 0), 0);
  EXPECT_EQ(Patterns()->MatchPattern(WC, 0, "", 0, "a", 0), 1);
  EXPECT_EQ(Patterns()->MatchPattern(WC, 0, "*", 0, "", 0), 1);
  EXPECT_EQ(Patterns()->MatchPattern(WC, 0, nullptr, 0, nullptr, 0), 1);
  EXPECT_EQ(Patterns()->MatchPattern(RE, 0, "b", 0, "abc", 0), 0);
}

// Deep recursion in the matcher is cut off, not allowed to overflow the stack.
TEST(PatternTest, HostileSubjectsEndWithoutCrashing) {
  const std::string subject(200000, 'a');
  EXPECT_EQ(Match(RE, 0, "^(a|b)*$", subject), 1);  // needs one level per repetition: cut off
  EXPECT_EQ(Match(RE, 0, "^(a|b)*$", subject.substr(0, 500)), 0);
  EXPECT_EQ(Match(RE, 0, "(a+)+c", std::string(30, 'a')), 1);
  EXPECT_EQ(Match(RE, 0, "^(?:a|b)*$", "abab"), 0);
}

TEST(PatternTest, MemoryFailuresArePassedOnAndNothingLeaks) {
  std::uint32_t before = 0, after = 0;
  ASSERT_EQ(Memory()->GetStatistics(nullptr, &before, nullptr, nullptr), kOk);
  EXPECT_EQ(Match(RE, 0, "a(b|c)+d", "xabcbd"), 0);
  EXPECT_EQ(Match(RE, 0, "(", "x"), kPatternBadRegex);
  ASSERT_EQ(Memory()->GetStatistics(nullptr, &after, nullptr, nullptr), kOk);
  EXPECT_EQ(before, after) << "PCRE's blocks go through the memory service and are all freed";

  test::ScopedFaultMemory memory;
  memory->FailNth(1);  // the copy of the expression
  EXPECT_EQ(Match(RE, 0, "abc", "abc"), kOutOfMemory);
  memory->FailNth(2);  // PCRE's own block for the compiled expression
  EXPECT_EQ(Match(RE, 0, "abc", "abc"), kOutOfMemory);
  // More back references than the 30-integer vector holds make the search
  // allocate a larger one.
  const std::string twelve = "(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)(l)\\12";
  memory->FailNth(3);
  EXPECT_EQ(Match(RE, 0, twelve, "abcdefghijkll"), kOutOfMemory);
  memory->Heal();
  EXPECT_EQ(Match(RE, 0, twelve, "abcdefghijkll"), 0);
  memory->FailAll();
  EXPECT_EQ(Match(WC, 0, "a*b*c", "abc"), 0);  // wildcards need no memory
}

TEST(PatternTest, FormatAndParseKind) {
  char buffer[8];
  std::uint32_t length = 3;
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(Patterns()->FormatPatternKind(RE, buffer, &length), kOk);
  EXPECT_EQ(std::string(buffer, 4), "RE:#");
  EXPECT_EQ(length, 3u);
  length = 2;
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(Patterns()->FormatPatternKind(WC, buffer, &length), kOk);
  EXPECT_EQ(buffer[0], '#');
  EXPECT_EQ(length, 3u);
  EXPECT_EQ(Patterns()->FormatPatternKind(WC, nullptr, &length), kOk);
  EXPECT_EQ(length, 3u);
  EXPECT_EQ(Patterns()->FormatPatternKind(WC, buffer, nullptr), kOk);
  EXPECT_EQ(buffer[0], '#');
  EXPECT_EQ(Patterns()->FormatPatternKind(PX, buffer, &length), 1);
  EXPECT_EQ(Patterns()->FormatPatternKind(4, buffer, &length), 1);

  struct Case {
    std::string_view text;
    Result result;
    std::uint32_t consumed;
    std::uint32_t kind;
  };
  const Case cases[] = {
      {"WC::*", 0, 3, WC}, {"re:x", 0, 3, RE}, {"Re", 0, 3, RE},  // no colon: one past the text
      {"WCX:", 1, 0, 0},   {":", 1, 0, 0},     {"", 1, 0, 0},    {"W:C:", 1, 0, 0},
  };
  for (const Case& c : cases) {
    std::uint32_t consumed = static_cast<std::uint32_t>(c.text.size()), kind = 99;
    EXPECT_EQ(Patterns()->ParsePatternKind(c.text.data(), &consumed, &kind), c.result) << c.text;
    if (c.result == 0) {
      EXPECT_EQ(consumed, c.consumed) << c.text;
      EXPECT_EQ(kind, c.kind) << c.text;
    } else {
      EXPECT_EQ(kind, 99u) << "stored on failure: " << c.text;
    }
  }
  std::uint32_t consumed = 2, kind = 0;  // the length limits the search for ":"
  EXPECT_EQ(Patterns()->ParsePatternKind("RE:", &consumed, &kind), 0);
  EXPECT_EQ(consumed, 3u);
}

TEST(PatternTest, FormatAndParseOptions) {
  const std::pair<std::uint32_t, std::string_view> formats[] = {
      {3, "OC:"}, {0, ":"}, {2, "C:"}, {1, "O:"}, {0xFC, ":"}};
  for (const auto& [bits, text] : formats) {
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    std::uint32_t length = sizeof buffer;
    EXPECT_EQ(Patterns()->FormatPatternOptions(bits, buffer, &length), kOk);
    EXPECT_EQ(std::string(buffer, length), text);
    EXPECT_EQ(buffer[length], '#');
    length = static_cast<std::uint32_t>(text.size()) - 1;
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(Patterns()->FormatPatternOptions(bits, buffer, &length), kOk);
    EXPECT_EQ(length, text.size());
    EXPECT_EQ(buffer[0], '#') << "written into a short buffer";
    EXPECT_EQ(Patterns()->FormatPatternOptions(bits, nullptr, &length), kOk);
    EXPECT_EQ(length, text.size());
    EXPECT_EQ(Patterns()->FormatPatternOptions(bits, buffer, nullptr), kOk);
    EXPECT_EQ(std::string(buffer, text.size()), text);
  }

  struct Case {
    std::string_view text;
    Result result;
    std::uint32_t consumed;
    std::uint32_t bits;
  };
  const Case cases[] = {
      {"cx:rest", 0, 3, C}, {":", 0, 1, 0},    {"oC:", 0, 3, O | C}, {"co:/a/", 0, 3, O | C},
      {"OC", kFail, 0, 0},  {"", kFail, 0, 0}, {"c::", 0, 2, C},
  };
  for (const Case& c : cases) {
    std::uint32_t consumed = static_cast<std::uint32_t>(c.text.size()), bits = 99;
    EXPECT_EQ(Patterns()->ParsePatternOptions(c.text.data(), &consumed, &bits), c.result) << c.text;
    EXPECT_EQ(consumed, c.result == 0 ? c.consumed : c.text.size()) << c.text;
    EXPECT_EQ(bits, c.result == 0 ? c.bits : 99u) << c.text;
  }
}

}  // namespace
}  // namespace sfx
