// Wildcard matching on adversarial patterns: a run of 'a' as the subject and
// patterns whose segments all match everywhere except the last. The time must
// grow with subject length x longest segment, never faster: each benchmark
// family fits its complexity over the subject length (expect O(N)).
//
// Peers in the same run: the C library's fnmatch on the equivalent anchored
// pattern ("*" + pattern + "*"), and the segment-backtracking matcher this
// service used to have, on short subjects only (it is exponential in the
// number of segments).
#include <benchmark/benchmark.h>
#include <fnmatch.h>

#include <cstdint>
#include <string>
#include <vector>

#include "services/data/pattern.h"

namespace {

struct Registered {
  Registered() { (void)sfx::RegisterCoreServices(); }
} g_registered;

// Segments of 'a', then one as long that ends in a 'b' that never occurs: it
// is compared almost to its end at every offset of the subject.
std::string Adversarial(int segments, int segmentLength) {
  std::string p;
  for (int i = 0; i < segments; ++i) p += std::string(segmentLength, 'a') + "*";
  return p + std::string(segmentLength - 1, 'a') + "b";
}

// The old matcher: place each segment at its next occurrence and, when a
// later one fails, move the previous one right by one and retry.
bool Backtracking(const std::string& pattern, const std::string& subject) {
  struct Segment {
    std::size_t start, length, matched;
  };
  std::vector<Segment> segments;
  for (std::size_t i = 0; i < pattern.size();) {
    while (i < pattern.size() && pattern[i] == '*') ++i;
    const std::size_t start = i;
    while (i < pattern.size() && pattern[i] != '*') ++i;
    if (i > start) segments.push_back({start, i - start, 0});
  }
  if (segments.empty()) return true;
  std::size_t k = 0, position = 0;
  while (true) {
    Segment& s = segments[k];
    bool found = false;
    for (std::size_t at = position; s.length <= subject.size() && at <= subject.size() - s.length; ++at) {
      if (subject.compare(at, s.length, pattern, s.start, s.length) == 0) {
        s.matched = at;
        position = at + s.length;
        found = true;
        break;
      }
    }
    if (found) {
      if (++k == segments.size()) return true;
      continue;
    }
    if (k == 0) return false;
    --k;
    position = segments[k].matched + 1;
  }
}

enum class Engine { kMatchPattern, kFnmatch, kBacktracking };

void BM_Wildcard(benchmark::State& state, Engine engine, int segments, int segmentLength) {
  const std::string subject(static_cast<std::size_t>(state.range(0)), 'a');
  const std::string pattern = Adversarial(segments, segmentLength);
  const std::string anchored = "*" + pattern + "*";
  for (auto _ : state) {
    bool matched = false;
    switch (engine) {
      case Engine::kMatchPattern:
        matched = sfx::Patterns()->MatchPattern(sfx::kPatternWildcard, sfx::kPatternCaseSensitive, pattern.data(),
                                                static_cast<std::uint32_t>(pattern.size()), subject.data(),
                                                static_cast<std::uint32_t>(subject.size())) == sfx::kPatternMatch;
        break;
      case Engine::kFnmatch: matched = fnmatch(anchored.c_str(), subject.c_str(), 0) == 0; break;
      case Engine::kBacktracking: matched = Backtracking(pattern, subject); break;
    }
    if (matched) state.SkipWithError("unexpected match");
  }
  state.SetComplexityN(state.range(0));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

// Fixed pattern (8 segments and a failing one, of 1 and of 16 bytes), subject from 1 KiB to 1 MiB.
BENCHMARK_CAPTURE(BM_Wildcard, MatchPattern_8x1, Engine::kMatchPattern, 8, 1)
    ->RangeMultiplier(4)
    ->Range(1 << 10, 1 << 20)
    ->Complexity();
BENCHMARK_CAPTURE(BM_Wildcard, MatchPattern_8x16, Engine::kMatchPattern, 8, 16)
    ->RangeMultiplier(4)
    ->Range(1 << 10, 1 << 20)
    ->Complexity();
BENCHMARK_CAPTURE(BM_Wildcard, Fnmatch_8x1, Engine::kFnmatch, 8, 1)
    ->RangeMultiplier(4)
    ->Range(1 << 10, 1 << 14)
    ->Complexity();
// Short subjects only: the old matcher's time explodes with the length.
BENCHMARK_CAPTURE(BM_Wildcard, MatchPattern_4x1_short, Engine::kMatchPattern, 4, 1)
    ->DenseRange(16, 64, 16)
    ->Complexity();
BENCHMARK_CAPTURE(BM_Wildcard, Backtracking_4x1_short, Engine::kBacktracking, 4, 1)
    ->DenseRange(16, 64, 16)
    ->Complexity();

}  // namespace
