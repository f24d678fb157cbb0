// The stream tree against std::map, both in memory: insert, find and remove
// of the same random 32-bit keys. The tree pays a positioned stream transfer
// per node visit (on a memory stream here), so the ratio measures that cost,
// not the algorithm.
#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <random>
#include <vector>

#include "services/core/memory_stream.h"
#include "services/data/stream_tree.h"

namespace {

struct Registered {
  Registered() { (void)sfx::RegisterCoreServices(); }
} g_registered;

sfx::Result CompareU32(void*, const void* search, const void* stored) {
  std::uint32_t a, b;
  std::memcpy(&a, search, 4);
  std::memcpy(&b, stored, 4);
  return a == b ? 0 : a < b ? 2 : 3;
}

std::vector<std::uint32_t> Keys(std::size_t n) {
  std::mt19937 rng(42);
  std::vector<std::uint32_t> keys(n);
  for (auto& k : keys) k = rng();
  return keys;
}

void BM_StreamTreeInsertFindRemove(benchmark::State& state) {
  const auto keys = Keys(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    sfx::Stream* s = nullptr;
    sfx::StreamTree* t = nullptr;
    (void)sfx::MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, sfx::kMemoryStreamWritable, &s);
    (void)sfx::StreamTrees()->CreateTree(s, 4, 4, CompareU32, nullptr, &t);
    for (std::uint32_t k : keys) (void)t->Insert(&k, &k, nullptr);
    std::uint32_t v = 0;
    for (std::uint32_t k : keys) (void)t->Find(&k, &v, nullptr);
    for (std::uint32_t k : keys) (void)t->Remove(&k);
    (void)t->Close();
    (void)s->Close();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(keys.size()) * 3);
}
BENCHMARK(BM_StreamTreeInsertFindRemove)->Arg(1000)->Arg(20000);

void BM_StdMapInsertFindRemove(benchmark::State& state) {
  const auto keys = Keys(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    std::map<std::uint32_t, std::uint32_t> m;
    for (std::uint32_t k : keys) m.emplace(k, k);
    std::uint32_t sum = 0;
    for (std::uint32_t k : keys) sum += m.find(k)->second;
    benchmark::DoNotOptimize(sum);
    for (std::uint32_t k : keys) m.erase(k);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(keys.size()) * 3);
}
BENCHMARK(BM_StdMapInsertFindRemove)->Arg(1000)->Arg(20000);

}  // namespace
