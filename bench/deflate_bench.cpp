// Compression speed and ratio on the shared corpus, file by file: Compress
// (32768-byte pieces) against zlib's raw deflate at levels 1, 6 and 9 and
// libdeflate at level 6. "ratio" is compressed size / original size.
//
// SFX_BENCH_FILE=<name> limits every benchmark to one corpus file.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "bench/corpus.h"
#include "services/codec/deflater.h"
#include "services/core/memory_stream.h"

namespace {

struct Registered {
  Registered() {
    (void)sfx::RegisterCoreServices();
    (void)sfx::RegisterCodecServices();
  }
} g_registered;

std::vector<const sfx::bench::CorpusFile*> Files() {
  std::vector<const sfx::bench::CorpusFile*> out;
  const char* only = std::getenv("SFX_BENCH_FILE");
  for (const auto& f : sfx::bench::Corpus()) {
    if (only == nullptr || f.name == only) out.push_back(&f);
  }
  return out;
}

std::size_t Bound(std::size_t n) { return n + n / 8 + (n / 32768 + 1) * 600 + 64; }

void Report(benchmark::State& state, std::size_t in, std::size_t out) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in));
  state.counters["ratio"] = static_cast<double>(out) / static_cast<double>(in);
  state.counters["MB"] = static_cast<double>(in) / 1e6;
}

void BM_Compress(benchmark::State& state) {
  const auto files = Files();
  std::vector<unsigned char> out;
  sfx::Deflater* d = nullptr;
  if (sfx::Failed(sfx::Deflaters()->CreateDeflater(sfx::kDeflateDefaultBlockSize, &d))) {
    state.SkipWithError("create failed");
    return;
  }
  std::size_t in = 0, packed = 0;
  for (auto _ : state) {
    in = packed = 0;
    for (const auto* f : files) {
      const auto n = static_cast<std::uint32_t>(f->bytes.size());
      out.resize(Bound(n));
      sfx::Stream* s = nullptr;
      (void)sfx::MemoryStreams()->CreateMemoryStream(const_cast<unsigned char*>(f->bytes.data()), n, n,
                                                     sfx::kMemoryStreamCallerOwns, &s);
      std::uint32_t total = 0;
      (void)d->InitOutput(out.data(), static_cast<std::uint32_t>(out.size()));
      sfx::Result r = d->Compress(s, 0, n, nullptr, nullptr);
      if (sfx::Succeeded(r)) r = d->FinishOutput(&total);
      (void)s->Close();
      if (sfx::Failed(r)) state.SkipWithError("compress failed");
      in += n;
      packed += total;
    }
  }
  (void)d->DestroyDeflater();
  Report(state, in, packed);
}
BENCHMARK(BM_Compress)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_Zlib(benchmark::State& state) {
  const auto files = Files();
  const int level = static_cast<int>(state.range(0));
  std::vector<unsigned char> out;
  std::size_t in = 0, packed = 0;
  for (auto _ : state) {
    in = packed = 0;
    for (const auto* f : files) {
      z_stream z{};
      deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
      out.resize(deflateBound(&z, static_cast<uLong>(f->bytes.size())));
      z.next_in = const_cast<Bytef*>(f->bytes.data());
      z.avail_in = static_cast<uInt>(f->bytes.size());
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(out.size());
      if (deflate(&z, Z_FINISH) != Z_STREAM_END) state.SkipWithError("zlib failed");
      in += f->bytes.size();
      packed += z.total_out;
      deflateEnd(&z);
    }
  }
  Report(state, in, packed);
}
BENCHMARK(BM_Zlib)->Arg(1)->Arg(6)->Arg(9)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_Libdeflate(benchmark::State& state) {
  const auto files = Files();
  libdeflate_compressor* c = libdeflate_alloc_compressor(static_cast<int>(state.range(0)));
  std::vector<unsigned char> out;
  std::size_t in = 0, packed = 0;
  for (auto _ : state) {
    in = packed = 0;
    for (const auto* f : files) {
      out.resize(libdeflate_deflate_compress_bound(c, f->bytes.size()));
      const std::size_t n = libdeflate_deflate_compress(c, f->bytes.data(), f->bytes.size(), out.data(), out.size());
      if (n == 0) state.SkipWithError("libdeflate failed");
      in += f->bytes.size();
      packed += n;
    }
  }
  libdeflate_free_compressor(c);
  Report(state, in, packed);
}
BENCHMARK(BM_Libdeflate)->Arg(6)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
