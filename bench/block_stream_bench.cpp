// Block streams against a plain file stream: sequential writes then reads of
// 16 MiB in 4 KiB chunks, the block store on a temporary file and on a
// memory stream. The block stream adds the table, two block buffers and a
// copy per chunk on top of the backing stream's own transfers.
#include <benchmark/benchmark.h>

#include <vector>

#include "services/core/file_system.h"
#include "services/core/memory_stream.h"
#include "services/data/block_store.h"
#include "services/data/block_stream.h"

namespace {

constexpr std::uint32_t kTotalBytes = 16u << 20;
constexpr std::uint32_t kChunk = 4096;

struct Registered {
  Registered() { (void)sfx::RegisterCoreServices(); }
} g_registered;

void WriteThenRead(benchmark::State& state, sfx::Stream* s) {
  std::vector<unsigned char> chunk(kChunk, 0x5A);
  for (std::uint32_t done = 0; done < kTotalBytes; done += kChunk) {
    if (sfx::Failed(s->Write(chunk.data(), kChunk, nullptr))) state.SkipWithError("write failed");
  }
  (void)s->Seek(0, sfx::kSeekStart, nullptr);
  for (std::uint32_t done = 0; done < kTotalBytes; done += kChunk) {
    if (sfx::Failed(s->Read(chunk.data(), kChunk, nullptr))) state.SkipWithError("read failed");
  }
}

void BM_FileStream(benchmark::State& state) {
  for (auto _ : state) {
    sfx::Stream* f = nullptr;
    if (sfx::Failed(sfx::FileSystem()->Open(nullptr, 0, sfx::kOpenTemporary, &f))) {
      state.SkipWithError("no temporary file");
      break;
    }
    WriteThenRead(state, f);
    (void)f->Close();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kTotalBytes * 2);
}
BENCHMARK(BM_FileStream)->Unit(benchmark::kMillisecond);

void BM_BlockStream(benchmark::State& state) {
  const bool onFile = state.range(0) != 0;
  for (auto _ : state) {
    sfx::Stream* backing = nullptr;
    const sfx::Result r =
        onFile ? sfx::FileSystem()->Open(nullptr, 0, sfx::kOpenTemporary, &backing)
               : sfx::MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, sfx::kMemoryStreamWritable, &backing);
    sfx::BlockStore* store = nullptr;
    if (sfx::Failed(r) || sfx::Failed(sfx::BlockStores()->OpenBlockStore(backing, 4096, &store))) {
      state.SkipWithError("no store");
      break;
    }
    sfx::BlockStream* b = nullptr;
    (void)store->CreateBlockStream(nullptr, &b);
    (void)b->SetParameter(1u << 20);  // grow a megabyte at a time
    WriteThenRead(state, b);
    (void)b->Close();
    (void)store->Close();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kTotalBytes * 2);
}
BENCHMARK(BM_BlockStream)->Arg(1)->Arg(0)->ArgName("onFile")->Unit(benchmark::kMillisecond);

}  // namespace
