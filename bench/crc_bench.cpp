// CRC-32 and Adler-32 over the concatenated corpus: ours (whatever the CPU
// dispatch picks), zlib's and libdeflate's.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include "bench/corpus.h"
#include "services/codec/crc.h"

namespace {

struct Registered {
  Registered() { (void)sfx::RegisterCoreServices(); }
} g_registered;

template <class Update>
void Run(benchmark::State& state, Update update) {
  const auto& data = sfx::bench::CorpusConcatenated();
  for (auto _ : state) benchmark::DoNotOptimize(update(data.data(), data.size()));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(data.size()));
}

void BM_Crc32(benchmark::State& state) {
  Run(state, [](const unsigned char* p, std::size_t n) {
    std::uint32_t crc = 0xFFFFFFFFu;
    (void)sfx::Crc()->UpdateCrc32(p, static_cast<std::uint32_t>(n), &crc);
    return crc;
  });
}
void BM_ZlibCrc32(benchmark::State& state) {
  Run(state, [](const unsigned char* p, std::size_t n) { return crc32(0, p, static_cast<uInt>(n)); });
}
void BM_LibdeflateCrc32(benchmark::State& state) {
  Run(state, [](const unsigned char* p, std::size_t n) { return libdeflate_crc32(0, p, n); });
}
void BM_Adler32(benchmark::State& state) {
  Run(state, [](const unsigned char* p, std::size_t n) {
    std::uint32_t adler = 1;
    (void)sfx::Crc()->UpdateAdler32(p, static_cast<std::uint32_t>(n), &adler);
    return adler;
  });
}
void BM_ZlibAdler32(benchmark::State& state) {
  Run(state, [](const unsigned char* p, std::size_t n) { return adler32(1, p, static_cast<uInt>(n)); });
}
void BM_LibdeflateAdler32(benchmark::State& state) {
  Run(state, [](const unsigned char* p, std::size_t n) { return libdeflate_adler32(1, p, n); });
}
BENCHMARK(BM_Crc32);
BENCHMARK(BM_ZlibCrc32);
BENCHMARK(BM_LibdeflateCrc32);
BENCHMARK(BM_Adler32);
BENCHMARK(BM_ZlibAdler32);
BENCHMARK(BM_LibdeflateAdler32);

}  // namespace
