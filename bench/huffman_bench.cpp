// DecodeSymbols on a skewed byte alphabet (4 MiB of bytes whose values fall
// off geometrically, about 3 bits of entropy each), against decoders of the
// same Huffman-only data as DEFLATE: zlib's inflate, libdeflate and our own
// Inflater. Figures are decoded bytes per second. EncodeSymbols and
// CountSymbols run on the same bytes for scale.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "services/codec/huffman_decoder.h"
#include "services/codec/huffman_encoder.h"
#include "services/codec/inflater.h"
#include "services/core/memory_stream.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void Require(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "huffman_bench: %s failed\n", what);
    std::exit(1);
  }
}

sfx::Stream* NewStream(const Bytes& data) {
  sfx::Stream* s = nullptr;
  Require(sfx::MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, sfx::kMemoryStreamWritable, &s) == sfx::kOk,
          "stream");
  if (!data.empty()) {
    Require(s->WriteAt(0, data.data(), static_cast<std::uint32_t>(data.size()), nullptr) == sfx::kOk, "write");
  }
  return s;
}

struct Fixture {
  Bytes symbols;      // the skewed bytes
  Bytes lengths;      // raw code lengths
  Bytes coded;        // EncodeSymbols' output
  Bytes huffmanOnly;  // the same bytes as Huffman-only raw DEFLATE

  Fixture() {
    (void)sfx::RegisterCoreServices();
    (void)sfx::RegisterCodecServices();
    std::uint32_t state = 12345;
    symbols.resize(4u << 20);
    for (auto& b : symbols) {
      state = state * 1664525u + 1013904223u;
      std::uint32_t r = state >> 8, v = 0;
      while ((r & 1) != 0 && v < 255) {  // P(v) halves per step, with some noise on top
        ++v;
        r >>= 1;
      }
      b = static_cast<std::uint8_t>(v * 3 + ((state >> 4) & 1));
    }
    sfx::HuffmanEncoder* e = nullptr;
    Require(sfx::HuffmanEncoders()->CreateHuffmanEncoder(256, &e) == sfx::kOk, "encoder");
    sfx::Stream* in = NewStream(symbols);
    sfx::Stream* header = NewStream({});
    sfx::Stream* body = NewStream({});
    Require(e->CountSymbols(1, in, 0, sfx::kHuffmanToEndOfStream, 1, nullptr) == sfx::kOk, "count");
    Require(e->BuildCode(15) == sfx::kOk, "build");
    Require(e->WriteCodeLengths(sfx::kHuffmanRawLengths, header, 0, nullptr) == sfx::kOk, "lengths");
    Require(e->EncodeSymbols(0, in, 0, sfx::kHuffmanToEndOfStream, 1, nullptr, body, 0, nullptr) == sfx::kOk, "encode");
    lengths = Read(header);
    coded = Read(body);
    (void)in->Close();
    (void)header->Close();
    (void)body->Close();
    (void)e->DestroyHuffmanEncoder();

    z_stream z{};
    Require(deflateInit2(&z, 6, Z_DEFLATED, -15, 9, Z_HUFFMAN_ONLY) == Z_OK, "zlib");
    huffmanOnly.resize(deflateBound(&z, symbols.size()));
    z.next_in = symbols.data();
    z.avail_in = static_cast<uInt>(symbols.size());
    z.next_out = huffmanOnly.data();
    z.avail_out = static_cast<uInt>(huffmanOnly.size());
    Require(deflate(&z, Z_FINISH) == Z_STREAM_END, "zlib deflate");
    huffmanOnly.resize(z.total_out);
    deflateEnd(&z);
  }

  static Bytes Read(sfx::Stream* s) {
    void* data = nullptr;
    std::uint32_t size = 0;
    (void)sfx::MemoryStreams()->GetMemoryBlock(s, &data, &size, nullptr);
    const auto* p = static_cast<const std::uint8_t*>(data);
    return Bytes(p, p + size);
  }
};

const Fixture& Data() {
  static const Fixture f;
  return f;
}

void Finish(benchmark::State& state) {
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(Data().symbols.size()));
  state.counters["coded_bytes"] = static_cast<double>(Data().coded.size());
}

void BM_DecodeSymbols(benchmark::State& state) {
  const Fixture& f = Data();
  sfx::HuffmanDecoder* d = nullptr;
  Require(sfx::HuffmanDecoders()->CreateHuffmanDecoder(256, &d) == sfx::kOk, "decoder");
  sfx::Stream* header = NewStream(f.lengths);
  Require(d->LoadCodeLengths(sfx::kHuffmanRawLengths, header, 0, sfx::kHuffmanToEndOfStream) == sfx::kOk, "load");
  sfx::Stream* in = NewStream(f.coded);
  sfx::Stream* out = NewStream({});
  Require(out->Reserve(static_cast<std::uint32_t>(f.symbols.size() + 16)) == sfx::kOk, "reserve");
  for (auto _ : state) {
    std::uint32_t written = 0;
    Require(d->DecodeSymbols(0, in, 0, sfx::kHuffmanToEndOfStream, 1, nullptr, out, 0, &written) == sfx::kOk, "decode");
    Require(written >= f.symbols.size(), "decoded size");
  }
  Finish(state);
  (void)in->Close();
  (void)out->Close();
  (void)header->Close();
  (void)d->DestroyHuffmanDecoder();
}

void BM_EncodeSymbols(benchmark::State& state) {
  const Fixture& f = Data();
  sfx::HuffmanEncoder* e = nullptr;
  Require(sfx::HuffmanEncoders()->CreateHuffmanEncoder(256, &e) == sfx::kOk, "encoder");
  sfx::Stream* in = NewStream(f.symbols);
  sfx::Stream* out = NewStream({});
  Require(e->CountSymbols(1, in, 0, sfx::kHuffmanToEndOfStream, 1, nullptr) == sfx::kOk, "count");
  Require(e->BuildCode(15) == sfx::kOk, "build");
  for (auto _ : state) {
    std::uint32_t written = 0;
    Require(e->EncodeSymbols(0, in, 0, sfx::kHuffmanToEndOfStream, 1, nullptr, out, 0, &written) == sfx::kOk, "encode");
  }
  Finish(state);
  (void)in->Close();
  (void)out->Close();
  (void)e->DestroyHuffmanEncoder();
}

void BM_ZlibInflateHuffmanOnly(benchmark::State& state) {
  const Fixture& f = Data();
  Bytes out(f.symbols.size());
  for (auto _ : state) {
    z_stream z{};
    Require(inflateInit2(&z, -15) == Z_OK, "zlib");
    z.next_in = const_cast<Bytef*>(f.huffmanOnly.data());
    z.avail_in = static_cast<uInt>(f.huffmanOnly.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    Require(inflate(&z, Z_FINISH) == Z_STREAM_END && z.total_out == out.size(), "zlib inflate");
    inflateEnd(&z);
  }
  Finish(state);
}

void BM_LibdeflateHuffmanOnly(benchmark::State& state) {
  const Fixture& f = Data();
  Bytes out(f.symbols.size());
  libdeflate_decompressor* d = libdeflate_alloc_decompressor();
  for (auto _ : state) {
    std::size_t size = 0;
    Require(libdeflate_deflate_decompress(d, f.huffmanOnly.data(), f.huffmanOnly.size(), out.data(), out.size(),
                                          &size) == LIBDEFLATE_SUCCESS &&
                size == out.size(),
            "libdeflate");
  }
  libdeflate_free_decompressor(d);
  Finish(state);
}

void BM_InflaterHuffmanOnly(benchmark::State& state) {
  const Fixture& f = Data();
  sfx::Inflater* inflater = nullptr;
  Require(sfx::Inflaters()->CreateInflater(sfx::kInflateFullWindow, &inflater) == sfx::kOk, "inflater");
  sfx::Stream* out = NewStream({});
  Require(out->Reserve(static_cast<std::uint32_t>(f.symbols.size() + 16)) == sfx::kOk, "reserve");
  for (auto _ : state) {
    std::uint32_t size = 0;
    Require(out->Seek(0, sfx::kSeekStart, nullptr) == sfx::kOk, "seek");
    Require(inflater->InitInput(f.huffmanOnly.data(), static_cast<std::uint32_t>(f.huffmanOnly.size())) == sfx::kOk,
            "input");
    Require(inflater->Extract(out, &size, nullptr, nullptr, nullptr) == sfx::kOk && size == f.symbols.size(),
            "extract");
  }
  Finish(state);
  (void)out->Close();
  (void)inflater->DestroyInflater();
}

BENCHMARK(BM_DecodeSymbols)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibInflateHuffmanOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibdeflateHuffmanOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InflaterHuffmanOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeSymbols)->Unit(benchmark::kMillisecond);

}  // namespace
