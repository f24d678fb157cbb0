// Instruction counts of the codec beside its peers, for a machine too busy for
// timings: every benchmark runs exactly once, and each measured loop is a
// function of its own, so that
//
//   valgrind --tool=callgrind --callgrind-out-file=cg.out build/release/bench/codec_instructions_bench
//   callgrind_annotate --inclusive=yes cg.out | grep Measured
//
// gives each contender's instructions for the same work (divide by the bytes
// printed as "MB"). Decoding: raw DEFLATE made by zlib at levels 1, 6 and 9,
// into a prepared buffer, CRC-32 included. Compression: our Compress
// (32768-byte pieces) against libdeflate -6 and zlib -6; "digest" is an
// FNV-1a of our compressed output, which must not change, taken in a pass
// of its own so that the measured function compresses and nothing else.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <vector>

#include "bench/corpus.h"
#include "services/codec/deflater.h"
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

std::vector<Packed> Pack(int level) {
  std::vector<Packed> packed;
  for (const auto& file : sfx::bench::Corpus()) {
    Packed p;
    p.size = file.bytes.size();
    p.crc = static_cast<std::uint32_t>(crc32(0, file.bytes.data(), static_cast<uInt>(file.bytes.size())));
    p.compressed = sfx::bench::ZlibRawDeflate(file.bytes, level);
    packed.push_back(std::move(p));
  }
  return packed;
}

std::size_t Largest() {
  std::size_t n = 0;
  for (const auto& f : sfx::bench::Corpus()) n = std::max(n, f.bytes.size());
  return n;
}

double Megabytes() {
  double n = 0;
  for (const auto& f : sfx::bench::Corpus()) n += static_cast<double>(f.bytes.size());
  return n / 1e6;
}

__attribute__((noinline)) bool MeasuredOursInflate(const std::vector<Packed>& packed, std::vector<unsigned char>& buf) {
  bool ok = true;
  for (const Packed& p : packed) {
    sfx::Inflater* inflater = nullptr;
    sfx::Stream* out = nullptr;
    (void)sfx::MemoryStreams()->CreateMemoryStream(buf.data(), 0, static_cast<std::uint32_t>(buf.size()),
                                                   sfx::kMemoryStreamWritable | sfx::kMemoryStreamCallerOwns, &out);
    (void)sfx::Inflaters()->CreateInflater(sfx::kInflateFullWindow, &inflater);
    (void)inflater->InitInput(p.compressed.data(), static_cast<std::uint32_t>(p.compressed.size()));
    std::uint32_t size = 0, crc = 0xFFFFFFFFu;
    const sfx::Result r = inflater->Extract(out, &size, &crc, nullptr, nullptr);
    (void)inflater->DestroyInflater();
    (void)out->Close();
    ok = ok && sfx::Succeeded(r) && size == p.size && ~crc == p.crc;
  }
  return ok;
}

__attribute__((noinline)) bool MeasuredLibdeflateInflate(const std::vector<Packed>& packed,
                                                         std::vector<unsigned char>& buf) {
  bool ok = true;
  for (const Packed& p : packed) {
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    std::size_t size = 0;
    const auto r =
        libdeflate_deflate_decompress(d, p.compressed.data(), p.compressed.size(), buf.data(), buf.size(), &size);
    const std::uint32_t crc = libdeflate_crc32(0, buf.data(), size);
    libdeflate_free_decompressor(d);
    ok = ok && r == LIBDEFLATE_SUCCESS && crc == p.crc;
  }
  return ok;
}

__attribute__((noinline)) bool MeasuredZlibInflate(const std::vector<Packed>& packed, std::vector<unsigned char>& buf) {
  bool ok = true;
  for (const Packed& p : packed) {
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = const_cast<Bytef*>(p.compressed.data());
    z.avail_in = static_cast<uInt>(p.compressed.size());
    z.next_out = buf.data();
    z.avail_out = static_cast<uInt>(buf.size());
    const int r = inflate(&z, Z_FINISH);
    const auto crc = static_cast<std::uint32_t>(crc32(0, buf.data(), static_cast<uInt>(z.total_out)));
    inflateEnd(&z);
    ok = ok && r == Z_STREAM_END && crc == p.crc;
  }
  return ok;
}

using Decoder = bool (*)(const std::vector<Packed>&, std::vector<unsigned char>&);

void RunDecoder(benchmark::State& state, Decoder decode) {
  const std::vector<Packed> packed = Pack(static_cast<int>(state.range(0)));
  std::vector<unsigned char> buf(Largest());
  for (auto _ : state) {
    if (!decode(packed, buf)) state.SkipWithError("decoding failed");
  }
  state.counters["MB"] = Megabytes();
}

void BM_OursInflate(benchmark::State& s) { RunDecoder(s, MeasuredOursInflate); }
void BM_LibdeflateInflate(benchmark::State& s) { RunDecoder(s, MeasuredLibdeflateInflate); }
void BM_ZlibInflate(benchmark::State& s) { RunDecoder(s, MeasuredZlibInflate); }
BENCHMARK(BM_OursInflate)->Arg(1)->Arg(6)->Arg(9)->Iterations(1);
BENCHMARK(BM_LibdeflateInflate)->Arg(1)->Arg(6)->Arg(9)->Iterations(1);
BENCHMARK(BM_ZlibInflate)->Arg(1)->Arg(6)->Arg(9)->Iterations(1);

std::size_t Bound(std::size_t n) { return n + n / 8 + (n / 32768 + 1) * 600 + 64; }

// Compresses every corpus file; visit(bytes, size) sees each output (a
// no-op when measured, the digest otherwise). False on a failure.
template <class Visit>
bool CompressCorpus(sfx::Deflater* d, std::vector<unsigned char>& out, Visit&& visit) {
  for (const auto& f : sfx::bench::Corpus()) {
    const auto n = static_cast<std::uint32_t>(f.bytes.size());
    sfx::Stream* s = nullptr;
    (void)sfx::MemoryStreams()->CreateMemoryStream(const_cast<unsigned char*>(f.bytes.data()), n, n,
                                                   sfx::kMemoryStreamCallerOwns, &s);
    std::uint32_t total = 0;
    (void)d->InitOutput(out.data(), static_cast<std::uint32_t>(out.size()));
    sfx::Result r = d->Compress(s, 0, n, nullptr, nullptr);
    if (sfx::Succeeded(r)) r = d->FinishOutput(&total);
    (void)s->Close();
    if (sfx::Failed(r)) return false;
    visit(out.data(), total);
  }
  return true;
}

// The compression alone, like the peers' measured functions; the digest is
// taken in a second, unmeasured pass.
__attribute__((noinline)) bool MeasuredOursDeflate(sfx::Deflater* d, std::vector<unsigned char>& out) {
  return CompressCorpus(d, out, [](const unsigned char*, std::uint32_t) {});
}

std::uint64_t OursDeflateDigest(sfx::Deflater* d, std::vector<unsigned char>& out) {
  std::uint64_t digest = 1469598103934665603ull;
  const bool ok = CompressCorpus(d, out, [&digest](const unsigned char* bytes, std::uint32_t size) {
    for (std::uint32_t i = 0; i < size; ++i) digest = (digest ^ bytes[i]) * 1099511628211ull;
  });
  return ok ? digest : 0;
}

__attribute__((noinline)) std::size_t MeasuredLibdeflateDeflate(libdeflate_compressor* c,
                                                                std::vector<unsigned char>& out) {
  std::size_t packed = 0;
  for (const auto& f : sfx::bench::Corpus())
    packed += libdeflate_deflate_compress(c, f.bytes.data(), f.bytes.size(), out.data(), out.size());
  return packed;
}

__attribute__((noinline)) std::size_t MeasuredZlibDeflate(int level, std::vector<unsigned char>& out) {
  std::size_t packed = 0;
  for (const auto& f : sfx::bench::Corpus()) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    z.next_in = const_cast<Bytef*>(f.bytes.data());
    z.avail_in = static_cast<uInt>(f.bytes.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    packed += z.total_out;
    deflateEnd(&z);
  }
  return packed;
}

void BM_OursDeflate(benchmark::State& state) {
  std::vector<unsigned char> out(Bound(Largest()));
  sfx::Deflater* d = nullptr;
  if (sfx::Failed(sfx::Deflaters()->CreateDeflater(sfx::kDeflateDefaultBlockSize, &d))) {
    state.SkipWithError("create failed");
    return;
  }
  bool ok = true;
  for (auto _ : state) ok = MeasuredOursDeflate(d, out);
  const std::uint64_t digest = ok ? OursDeflateDigest(d, out) : 0;
  (void)d->DestroyDeflater();
  if (digest == 0) state.SkipWithError("compress failed");
  state.counters["MB"] = Megabytes();
  state.SetLabel("digest " + std::to_string(digest));
}
BENCHMARK(BM_OursDeflate)->Iterations(1);

void BM_LibdeflateDeflate(benchmark::State& state) {
  std::vector<unsigned char> out(Bound(Largest()));
  libdeflate_compressor* c = libdeflate_alloc_compressor(6);
  for (auto _ : state) benchmark::DoNotOptimize(MeasuredLibdeflateDeflate(c, out));
  libdeflate_free_compressor(c);
  state.counters["MB"] = Megabytes();
}
BENCHMARK(BM_LibdeflateDeflate)->Iterations(1);

void BM_ZlibDeflate(benchmark::State& state) {
  std::vector<unsigned char> out(Bound(Largest()));
  for (auto _ : state) benchmark::DoNotOptimize(MeasuredZlibDeflate(6, out));
  state.counters["MB"] = Megabytes();
}
BENCHMARK(BM_ZlibDeflate)->Iterations(1);

}  // namespace
