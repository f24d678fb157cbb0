// Byte-sequence search: FindBytes and FindBytesLast against
// std::string_view::find / rfind and the C library's memmem, over the whole
// corpus and over a periodic input that makes a direct search quadratic.
//
// Patterns are cut from the middle of the corpus and reversed: made of the
// data's own common bytes, so no filter on a rare byte can skip ahead, but
// (beyond a few bytes) absent, so each search reads everything. Throughput
// counts the bytes up to the match, or all of them.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "bench/corpus.h"
#include "services/text/string_service.h"

namespace {

struct Registered {
  Registered() { (void)sfx::RegisterCoreServices(); }
} g_registered;

enum class Engine { kFindBytes, kStringView, kMemmem };
enum class Input { kCorpus, kPeriodic };

struct Case {
  std::string_view data;
  std::string pattern;
};

std::string Periodic(std::size_t size) { return std::string(size, 'a'); }

Case MakeCase(Input input, std::size_t patternLength) {
  if (input == Input::kPeriodic) {
    static const std::string data = Periodic(std::size_t{16} << 20);
    return Case{data, std::string(patternLength - 1, 'a') + "b"};
  }
  const auto& corpus = sfx::bench::CorpusConcatenated();
  const std::string_view data(reinterpret_cast<const char*>(corpus.data()), corpus.size());
  const std::string_view cut = data.substr(data.size() / 3, patternLength);
  return Case{data, std::string(cut.rbegin(), cut.rend())};
}

std::size_t Search(Engine engine, const Case& c, bool last) {
  const std::string_view p = c.pattern;
  switch (engine) {
    case Engine::kFindBytes: {
      std::uint32_t at = 0;
      const auto n = static_cast<std::uint32_t>(c.data.size());
      const auto m = static_cast<std::uint32_t>(p.size());
      const sfx::Result r = last ? sfx::Strings()->FindBytesLast(c.data.data(), n, p.data(), m, &at)
                                 : sfx::Strings()->FindBytes(c.data.data(), n, p.data(), m, &at);
      return r == sfx::kStringFound ? at : std::string_view::npos;
    }
    case Engine::kStringView: return last ? c.data.rfind(p) : c.data.find(p);
    case Engine::kMemmem: {
      const void* hit = memmem(c.data.data(), c.data.size(), p.data(), p.size());
      return hit == nullptr ? std::string_view::npos : static_cast<const char*>(hit) - c.data.data();
    }
  }
  return std::string_view::npos;
}

template <Engine kEngine, Input kInput, bool kLast>
void BM_Search(benchmark::State& state) {
  const Case c = MakeCase(kInput, static_cast<std::size_t>(state.range(0)));
  std::size_t at = 0;
  for (auto _ : state) {
    at = Search(kEngine, c, kLast);
    benchmark::DoNotOptimize(at);
  }
  const std::size_t scanned =
      at == std::string_view::npos ? c.data.size() : (kLast ? c.data.size() - at : at + c.pattern.size());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * scanned));
  state.SetLabel(at == std::string_view::npos ? "absent" : "found");
}

// First occurrence over the corpus.
BENCHMARK(BM_Search<Engine::kFindBytes, Input::kCorpus, false>)->Arg(4)->Arg(16)->Arg(64)->Arg(256)->Arg(4096);
BENCHMARK(BM_Search<Engine::kStringView, Input::kCorpus, false>)->Arg(4)->Arg(16)->Arg(64)->Arg(256)->Arg(4096);
BENCHMARK(BM_Search<Engine::kMemmem, Input::kCorpus, false>)->Arg(4)->Arg(16)->Arg(64)->Arg(256)->Arg(4096);
// Last occurrence over the corpus (memmem has no backward form).
BENCHMARK(BM_Search<Engine::kFindBytes, Input::kCorpus, true>)->Arg(16)->Arg(256);
BENCHMARK(BM_Search<Engine::kStringView, Input::kCorpus, true>)->Arg(16)->Arg(256);
// 16 MiB of 'a' searched for "a...ab": a direct search compares the whole
// pattern at every position.
BENCHMARK(BM_Search<Engine::kFindBytes, Input::kPeriodic, false>)->Arg(64)->Arg(1024);
BENCHMARK(BM_Search<Engine::kStringView, Input::kPeriodic, false>)->Arg(64)->Arg(1024);
BENCHMARK(BM_Search<Engine::kMemmem, Input::kPeriodic, false>)->Arg(64)->Arg(1024);

}  // namespace
