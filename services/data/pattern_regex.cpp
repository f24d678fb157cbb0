// Regular expressions through PCRE (8-bit library), compiled for each call.
//
// The two targets link differently built engines (natively with UTF-8 and
// Unicode-property support, for Windows without either), yet a pattern must
// give the same answer on both. So the service itself refuses everything only
// one of them would accept: UTF-8 mode (the "8" modifier, and "(*UTF8)" inside
// the pattern through PCRE_NEVER_UTF), "(*UCP)", and the property escapes \p,
// \P and \X.
#include <pcre.h>

#include <climits>
#include <cstring>

#include "services/core/memory_service.h"
#include "services/data/pattern_p.h"

namespace sfx::detail {
namespace {

// PCRE's allocation hooks go to the memory service. Its release hook returns
// nothing, so a failure to free has nowhere to go.
void PcreReleaseHook(void* block) {
  if (block != nullptr) (void)PcreRelease(block);
}

void InstallPcreHooks() {
  // Once per process, before the first compile (thread-safe initialisation).
  static const bool installed = [] {
    pcre_malloc = PcreAllocate;
    pcre_free = PcreReleaseHook;
    return true;
  }();
  (void)installed;
}

// PCRE's matcher recurses on the machine stack, about once per repetition of
// a group, in frames of about 430 (64-bit: 500) bytes. The limit keeps a
// hostile subject within about 1 MB of stack, below the 2 MB a thread gets by
// default on Windows; without it a long subject overflowed the stack. A search
// that reaches it (like one that runs out of its step budget) counts as no
// match, the same on both targets.
constexpr unsigned long kRecursionLimit = 2000;
constexpr unsigned long kStepLimit = 10000000;

// pcre_compile2's error code for a failed allocation ("failed to get memory").
constexpr int kPcreNoMemory = 21;

// Modifiers after the closing "/" of the delimited form.
struct Modifier {
  char letter;
  int compileOptions;
  int execOptions;
};
constexpr Modifier kModifiers[] = {
    {'i', PCRE_CASELESS, 0}, {'m', PCRE_MULTILINE, 0},      {'s', PCRE_DOTALL, 0},   {'x', PCRE_EXTENDED, 0},
    {'A', PCRE_ANCHORED, 0}, {'E', PCRE_DOLLAR_ENDONLY, 0}, {'X', PCRE_EXTRA, 0},    {'U', PCRE_UNGREEDY, 0},
    {'B', 0, PCRE_NOTBOL},   {'Z', 0, PCRE_NOTEOL},         {'N', 0, PCRE_NOTEMPTY},
};
constexpr char kUtf8Modifier = '8';

// Whether the body uses \p, \P or \X outside a \Q...\E quote. Over-cautious in
// comments, which is harmless: the answer is the same on both targets.
bool UsesUnicodeProperties(const char* body, std::uint32_t length) {
  bool quoted = false;
  for (std::uint32_t i = 0; i + 1 < length; ++i) {
    if (body[i] != '\\') continue;
    const char next = body[i + 1];
    if (quoted) {
      if (next == 'E') {
        quoted = false;
        ++i;
      }
      continue;  // inside a quote a backslash is literal unless it ends the quote
    }
    if (next == 'p' || next == 'P' || next == 'X') return true;
    if (next == 'Q') quoted = true;
    ++i;  // the escaped byte
  }
  return false;
}

// Compiles a copy of the body (PCRE wants it zero-terminated), then searches
// the subject and releases the compiled pattern.
Result CompileAndSearch(const char* body, std::uint32_t bodyLength, int compileOptions, int execOptions,
                        const char* subject, std::uint32_t subjectLength) {
  if (bodyLength == 0xFFFFFFFFu) return kOutOfMemory;
  void* copy = nullptr;
  SFX_TRY(Memory()->Allocate(bodyLength + 1, &copy));
  (void)Memory()->Copy(copy, body, bodyLength);  // Copy never fails
  static_cast<char*>(copy)[bodyLength] = '\0';
  int errorCode = 0;
  const char* error = nullptr;
  int errorOffset = 0;
  pcre* compiled = pcre_compile2(static_cast<const char*>(copy), compileOptions | PCRE_NEVER_UTF, &errorCode, &error,
                                 &errorOffset, nullptr);
  const Result freed = Memory()->Free(copy);
  // PCRE's allocation hook cannot carry the memory service's Result, only its failure.
  if (compiled == nullptr) return freed < 0 ? freed : errorCode == kPcreNoMemory ? kOutOfMemory : kPatternBadRegex;
  if (freed < 0) {
    pcre_free(compiled);
    return freed;
  }

  unsigned long options = 0;
  if (pcre_fullinfo(compiled, nullptr, PCRE_INFO_OPTIONS, &options) != 0 || (options & PCRE_UCP) != 0) {
    pcre_free(compiled);
    return kPatternBadRegex;
  }
  pcre_extra limits{};
  limits.flags = PCRE_EXTRA_MATCH_LIMIT | PCRE_EXTRA_MATCH_LIMIT_RECURSION;
  limits.match_limit = kStepLimit;
  limits.match_limit_recursion = kRecursionLimit;
  int vector[30];
  const int found =
      subjectLength > static_cast<std::uint32_t>(INT_MAX)
          ? PCRE_ERROR_BADLENGTH
          : pcre_exec(compiled, &limits, subject, static_cast<int>(subjectLength), 0, execOptions, vector, 30);
  pcre_free(compiled);
  if (found == PCRE_ERROR_NOMEMORY) return kOutOfMemory;
  return found < 0 ? kPatternNoMatch : kPatternMatch;
}

}  // namespace

Result MatchRegex(const char* pattern, std::uint32_t patternLength, const char* subject, std::uint32_t subjectLength,
                  std::uint32_t options) {
  InstallPcreHooks();
  int compileOptions = (options & kPatternCaseSensitive) != 0 ? 0 : PCRE_CASELESS;
  int execOptions = 0;
  const char* body = pattern;
  std::uint32_t bodyLength = patternLength;

  // Delimited form: /body/modifiers, split at the last slash. Without a second
  // slash the pattern is used whole, leading slash included.
  if ((options & kPatternDelimited) != 0 && pattern[0] == '/') {
    std::uint32_t last = patternLength - 1;
    while (last > 0 && pattern[last] != '/') --last;
    if (last > 0) {
      body = pattern + 1;
      bodyLength = last - 1;
      for (std::uint32_t i = last + 1; i < patternLength; ++i) {
        if (pattern[i] == kUtf8Modifier) return kPatternBadRegex;
        for (const Modifier& m : kModifiers) {
          if (pattern[i] == m.letter) {
            compileOptions |= m.compileOptions;
            execOptions |= m.execOptions;
          }
        }
      }
    }
  }
  if (bodyLength == 0) return kPatternNoMatch;
  // PCRE reads the body up to a zero byte: one inside would silently cut it.
  if (std::memchr(body, 0, bodyLength) != nullptr) return kPatternBadRegex;
  if (UsesUnicodeProperties(body, bodyLength)) return kPatternBadRegex;
  return CompileAndSearch(body, bodyLength, compileOptions, execOptions, subject, subjectLength);
}

}  // namespace sfx::detail
