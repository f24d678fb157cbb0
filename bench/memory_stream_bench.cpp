// Memory streams: sequential writes that grow a stream, and CopyRange.
#include <benchmark/benchmark.h>

#include <vector>

#include "services/core/memory_service.h"
#include "services/core/memory_stream.h"

namespace {

struct Registered {
  Registered() { (void)sfx::RegisterCoreServices(); }
} g_registered;

void BM_MemoryStreamSequentialWrite(benchmark::State& state) {
  const auto chunk = static_cast<std::uint32_t>(state.range(0));
  const std::uint32_t total = 16u << 20;
  std::vector<unsigned char> data(chunk, 0x5A);
  for (auto _ : state) {
    sfx::Stream* s = nullptr;
    if (sfx::Failed(sfx::MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, sfx::kMemoryStreamWritable, &s))) {
      state.SkipWithError("create failed");
      break;
    }
    for (std::uint32_t done = 0; done < total; done += chunk) (void)s->Write(data.data(), chunk, nullptr);
    std::uint32_t size = 0;
    (void)s->GetSize(&size);
    if (size != total) state.SkipWithError("short stream");
    (void)s->Close();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * total);
}
BENCHMARK(BM_MemoryStreamSequentialWrite)->Arg(512)->Arg(4096)->Arg(65536);

void BM_MemoryStreamCopyRange(benchmark::State& state) {
  const std::uint32_t total = 16u << 20;
  sfx::Stream *a = nullptr, *b = nullptr;
  (void)sfx::MemoryStreams()->CreateMemoryStream(nullptr, total, total, sfx::kMemoryStreamWritable, &a);
  (void)sfx::MemoryStreams()->CreateMemoryStream(nullptr, total, total, sfx::kMemoryStreamWritable, &b);
  for (auto _ : state) {
    if (sfx::Failed(a->CopyRange(0, total, b, 0))) state.SkipWithError("copy failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * total);
  (void)a->Close();
  (void)b->Close();
}
BENCHMARK(BM_MemoryStreamCopyRange);

void BM_PlainVectorAppend(benchmark::State& state) {
  const auto chunk = static_cast<std::uint32_t>(state.range(0));
  const std::uint32_t total = 16u << 20;
  std::vector<unsigned char> data(chunk, 0x5A);
  for (auto _ : state) {
    std::vector<unsigned char> v;
    for (std::uint32_t done = 0; done < total; done += chunk) v.insert(v.end(), data.begin(), data.end());
    benchmark::DoNotOptimize(v.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * total);
}
BENCHMARK(BM_PlainVectorAppend)->Arg(512)->Arg(4096)->Arg(65536);

}  // namespace
