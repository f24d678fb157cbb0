// Decoding the shared corpus, each file compressed as raw DEFLATE (zlib level
// 6, default strategy): our Extract from memory into a memory stream with the
// CRC-32 on, against zlib's raw inflate + crc32 and libdeflate's decompress +
// crc32, each into a buffer prepared beforehand.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <vector>

#include "bench/corpus.h"
#include "services/codec/inflater.h"
#include "services/core/memory_stream.h"

namespace {

struct Registered {
  Registered() {
    (void)sfx::RegisterCoreServices();
    (void)sfx::RegisterCodecServices();
  }
} g_registered;

struct Packed {
  std::vector<unsigned char> compressed;
  std::size_t size = 0;
  std::uint32_t crc = 0;
};

const std::vector<Packed>& PackedCorpus(int level) {
  static std::vector<Packed> byLevel[10];
  std::vector<Packed>& packed = byLevel[level];
  if (packed.empty()) {
    for (const auto& file : sfx::bench::Corpus()) {
      Packed p;
      p.size = file.bytes.size();
      p.crc = static_cast<std::uint32_t>(crc32(0, file.bytes.data(), static_cast<uInt>(file.bytes.size())));
      p.compressed = sfx::bench::ZlibRawDeflate(file.bytes, level);
      packed.push_back(std::move(p));
    }
  }
  return packed;
}

std::int64_t TotalSize(const std::vector<Packed>& packed) {
  std::int64_t total = 0;
  for (const Packed& p : packed) total += static_cast<std::int64_t>(p.size);
  return total;
}

std::vector<unsigned char>& OutputBuffer(const std::vector<Packed>& packed) {
  static std::vector<unsigned char> out;
  std::size_t largest = 0;
  for (const Packed& p : packed) largest = std::max(largest, p.size);
  if (out.size() < largest) out.resize(largest);
  return out;
}

void BM_InflaterExtract(benchmark::State& state) {
  const auto& packed = PackedCorpus(static_cast<int>(state.range(0)));
  auto& buffer = OutputBuffer(packed);
  for (auto _ : state) {
    for (const Packed& p : packed) {
      sfx::Inflater* inflater = nullptr;
      sfx::Stream* out = nullptr;
      // The stream wraps the prepared buffer (no growth, no clearing), as the
      // peers decode into theirs.
      (void)sfx::MemoryStreams()->CreateMemoryStream(buffer.data(), 0, static_cast<std::uint32_t>(buffer.size()),
                                                     sfx::kMemoryStreamWritable | sfx::kMemoryStreamCallerOwns, &out);
      (void)sfx::Inflaters()->CreateInflater(sfx::kInflateFullWindow, &inflater);
      (void)inflater->InitInput(p.compressed.data(), static_cast<std::uint32_t>(p.compressed.size()));
      std::uint32_t size = 0, crc = 0xFFFFFFFFu;
      const sfx::Result r = inflater->Extract(out, &size, &crc, nullptr, nullptr);
      (void)inflater->DestroyInflater();
      (void)out->Close();
      if (sfx::Failed(r) || size != p.size || ~crc != p.crc) {
        state.SkipWithError("decoding failed");
        return;
      }
    }
  }
  state.SetBytesProcessed(state.iterations() * TotalSize(packed));
}
BENCHMARK(BM_InflaterExtract)->Arg(1)->Arg(6)->Arg(9)->Unit(benchmark::kMillisecond);

void BM_ZlibInflate(benchmark::State& state) {
  const auto& packed = PackedCorpus(static_cast<int>(state.range(0)));
  auto& buffer = OutputBuffer(packed);
  for (auto _ : state) {
    for (const Packed& p : packed) {
      z_stream z{};
      inflateInit2(&z, -15);
      z.next_in = const_cast<Bytef*>(p.compressed.data());
      z.avail_in = static_cast<uInt>(p.compressed.size());
      z.next_out = buffer.data();
      z.avail_out = static_cast<uInt>(buffer.size());
      const int r = inflate(&z, Z_FINISH);
      const std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, buffer.data(), static_cast<uInt>(z.total_out)));
      inflateEnd(&z);
      if (r != Z_STREAM_END || crc != p.crc) {
        state.SkipWithError("decoding failed");
        return;
      }
    }
  }
  state.SetBytesProcessed(state.iterations() * TotalSize(packed));
}
BENCHMARK(BM_ZlibInflate)->Arg(1)->Arg(6)->Arg(9)->Unit(benchmark::kMillisecond);

void BM_LibdeflateDecompress(benchmark::State& state) {
  const auto& packed = PackedCorpus(static_cast<int>(state.range(0)));
  auto& buffer = OutputBuffer(packed);
  for (auto _ : state) {
    for (const Packed& p : packed) {
      libdeflate_decompressor* d = libdeflate_alloc_decompressor();
      std::size_t size = 0;
      const auto r = libdeflate_deflate_decompress(d, p.compressed.data(), p.compressed.size(), buffer.data(),
                                                   buffer.size(), &size);
      const std::uint32_t crc = libdeflate_crc32(0, buffer.data(), size);
      libdeflate_free_decompressor(d);
      if (r != LIBDEFLATE_SUCCESS || crc != p.crc) {
        state.SkipWithError("decoding failed");
        return;
      }
    }
  }
  state.SetBytesProcessed(state.iterations() * TotalSize(packed));
}
BENCHMARK(BM_LibdeflateDecompress)->Arg(1)->Arg(6)->Arg(9)->Unit(benchmark::kMillisecond);

}  // namespace

namespace {

// One corpus file at level 6 (argument: its index in name order), to see
// where the decoders differ.
void BM_InflaterFile(benchmark::State& state) {
  const Packed& p = PackedCorpus(6)[static_cast<std::size_t>(state.range(0))];
  auto& buffer = OutputBuffer(PackedCorpus(6));
  state.SetLabel(sfx::bench::Corpus()[static_cast<std::size_t>(state.range(0))].name);
  for (auto _ : state) {
    sfx::Inflater* inflater = nullptr;
    sfx::Stream* out = nullptr;
    (void)sfx::MemoryStreams()->CreateMemoryStream(buffer.data(), 0, static_cast<std::uint32_t>(buffer.size()),
                                                   sfx::kMemoryStreamWritable | sfx::kMemoryStreamCallerOwns, &out);
    (void)sfx::Inflaters()->CreateInflater(sfx::kInflateFullWindow, &inflater);
    (void)inflater->InitInput(p.compressed.data(), static_cast<std::uint32_t>(p.compressed.size()));
    std::uint32_t size = 0, crc = 0xFFFFFFFFu;
    (void)inflater->Extract(out, &size, &crc, nullptr, nullptr);
    (void)inflater->DestroyInflater();
    (void)out->Close();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(p.size));
}

void BM_LibdeflateFile(benchmark::State& state) {
  const Packed& p = PackedCorpus(6)[static_cast<std::size_t>(state.range(0))];
  auto& buffer = OutputBuffer(PackedCorpus(6));
  state.SetLabel(sfx::bench::Corpus()[static_cast<std::size_t>(state.range(0))].name);
  for (auto _ : state) {
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    std::size_t size = 0;
    (void)libdeflate_deflate_decompress(d, p.compressed.data(), p.compressed.size(), buffer.data(), buffer.size(),
                                        &size);
    benchmark::DoNotOptimize(libdeflate_crc32(0, buffer.data(), size));
    libdeflate_free_decompressor(d);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(p.size));
}

void PerFile(benchmark::internal::Benchmark* b) {
  for (std::size_t i = 0; i < sfx::bench::Corpus().size(); ++i) b->Arg(static_cast<std::int64_t>(i));
}
BENCHMARK(BM_InflaterFile)->Apply(PerFile);
BENCHMARK(BM_LibdeflateFile)->Apply(PerFile);

}  // namespace
