// Sort against std::sort and the C library's qsort, all driven by the same
// three-way callback (the peers through a thin adapter), on random 32-bit
// integers and on 16-byte records keyed by their first word. The Shell sort
// makes O(n^1.3)-ish comparisons against n log n, so the ratio widens with n.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "services/data/sort.h"

namespace {

struct Registered {
  Registered() { (void)sfx::RegisterCoreServices(); }
} g_registered;

struct Record {
  std::uint32_t key;
  std::uint32_t payload[3];
};

template <class T>
sfx::Result ThreeWay(std::uintptr_t, const void* first, const void* second) {
  std::uint32_t a, b;
  std::memcpy(&a, first, 4);
  std::memcpy(&b, second, 4);
  return a == b ? sfx::Result(0) : a < b ? sfx::kSortBefore : sfx::kSortAfter;
}

enum class Engine { kSort, kStdSort, kQsort };

template <class T>
std::vector<T> Input(std::size_t n);

template <>
std::vector<std::uint32_t> Input<std::uint32_t>(std::size_t n) {
  std::mt19937 random(42);
  std::vector<std::uint32_t> v(n);
  for (std::uint32_t& e : v) e = static_cast<std::uint32_t>(random());
  return v;
}

template <>
std::vector<Record> Input<Record>(std::size_t n) {
  std::mt19937 random(42);
  std::vector<Record> v(n);
  for (Record& e : v) e = {static_cast<std::uint32_t>(random()), {1, 2, 3}};
  return v;
}

template <class T>
void BM_Sort(benchmark::State& state, Engine engine) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const std::vector<T> input = Input<T>(n);
  std::vector<T> work;
  const sfx::SortCompareFunction compare = ThreeWay<T>;
  for (auto _ : state) {
    state.PauseTiming();
    work = input;
    state.ResumeTiming();
    switch (engine) {
      case Engine::kSort:
        if (sfx::Sorter()->Sort(work.data(), static_cast<std::uint32_t>(n), sizeof(T), compare, 0) != sfx::kOk) {
          state.SkipWithError("Sort failed");
        }
        break;
      case Engine::kStdSort:
        std::sort(work.begin(), work.end(),
                  [&](const T& a, const T& b) { return compare(0, &a, &b) == sfx::kSortBefore; });
        break;
      case Engine::kQsort:
        std::qsort(work.data(), n, sizeof(T), [](const void* a, const void* b) {
          const sfx::Result r = ThreeWay<T>(0, a, b);
          return r == sfx::kSortBefore ? -1 : r == sfx::kSortAfter ? 1 : 0;
        });
        break;
    }
    benchmark::DoNotOptimize(work.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

void Sizes(benchmark::internal::Benchmark* b) {
  for (int n : {1000, 65536, 1 << 20}) b->Arg(n);
  b->Unit(benchmark::kMillisecond);
}

void BM_SortU32(benchmark::State& state, Engine engine) { BM_Sort<std::uint32_t>(state, engine); }
void BM_SortRecord(benchmark::State& state, Engine engine) { BM_Sort<Record>(state, engine); }

BENCHMARK_CAPTURE(BM_SortU32, Sort_u32, Engine::kSort)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_SortU32, StdSort_u32, Engine::kStdSort)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_SortU32, Qsort_u32, Engine::kQsort)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_SortRecord, Sort_record16, Engine::kSort)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_SortRecord, StdSort_record16, Engine::kStdSort)->Apply(Sizes);
BENCHMARK_CAPTURE(BM_SortRecord, Qsort_record16, Engine::kQsort)->Apply(Sizes);

}  // namespace
