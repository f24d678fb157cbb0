// Base64 over the concatenated corpus (first 32 MB): our memory encoder and
// decoder against a plain character-at-a-time loop and OpenSSL's
// EVP_EncodeBlock / EVP_DecodeBlock, each into a buffer prepared beforehand.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <algorithm>
#include <vector>

#include "bench/corpus.h"
#include "services/codec/base64.h"

namespace {

struct Registered {
  Registered() { (void)sfx::RegisterCoreServices(); }
} g_registered;

constexpr std::size_t kBytes = 32u << 20;  // a multiple of 3 is not needed; EVP pads like we do

const std::vector<unsigned char>& Data() {
  static const std::vector<unsigned char> data = [] {
    const auto& all = sfx::bench::CorpusConcatenated();
    return std::vector<unsigned char>(all.begin(),
                                      all.begin() + static_cast<std::ptrdiff_t>(std::min(kBytes, all.size())));
  }();
  return data;
}

const std::vector<char>& Text() {
  static const std::vector<char> text = [] {
    const auto& data = Data();
    std::vector<char> t((data.size() + 2) / 3 * 4);
    (void)sfx::Base64s()->EncodeBase64(data.data(), static_cast<std::uint32_t>(data.size()), t.data());
    return t;
  }();
  return text;
}

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The plain loops: one table lookup per character.
void PlainEncode(const unsigned char* p, std::size_t n, char* out) {
  std::size_t i = 0;
  for (; i + 3 <= n; i += 3) {
    *out++ = kAlphabet[p[i] >> 2];
    *out++ = kAlphabet[(p[i] & 3) << 4 | p[i + 1] >> 4];
    *out++ = kAlphabet[(p[i + 1] & 15) << 2 | p[i + 2] >> 6];
    *out++ = kAlphabet[p[i + 2] & 63];
  }
  if (i < n) {
    const unsigned b1 = i + 1 < n ? p[i + 1] : 0;
    *out++ = kAlphabet[p[i] >> 2];
    *out++ = kAlphabet[(p[i] & 3) << 4 | b1 >> 4];
    *out++ = i + 1 < n ? kAlphabet[(b1 & 15) << 2] : '=';
    *out++ = '=';
  }
}
std::size_t PlainDecode(const char* t, std::size_t n, unsigned char* out) {
  static const auto table = [] {
    std::vector<int> v(256, -1);
    for (int i = 0; i < 64; ++i) v[static_cast<unsigned char>(kAlphabet[i])] = i;
    return v;
  }();
  unsigned char* start = out;
  std::uint32_t group = 0;
  int count = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const int v = table[static_cast<unsigned char>(t[i])];
    if (v < 0) break;
    group = group << 6 | static_cast<std::uint32_t>(v);
    if (++count == 4) {
      *out++ = static_cast<unsigned char>(group >> 16);
      *out++ = static_cast<unsigned char>(group >> 8);
      *out++ = static_cast<unsigned char>(group);
      count = 0;
      group = 0;
    }
  }
  return static_cast<std::size_t>(out - start);
}

void BM_Base64Encode(benchmark::State& state) {
  const auto& data = Data();
  std::vector<char> out((data.size() + 2) / 3 * 4);
  for (auto _ : state) {
    (void)sfx::Base64s()->EncodeBase64(data.data(), static_cast<std::uint32_t>(data.size()), out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(data.size()));
}
void BM_PlainEncode(benchmark::State& state) {
  const auto& data = Data();
  std::vector<char> out((data.size() + 2) / 3 * 4);
  for (auto _ : state) {
    PlainEncode(data.data(), data.size(), out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(data.size()));
}
void BM_OpenSslEncode(benchmark::State& state) {
  const auto& data = Data();
  std::vector<unsigned char> out((data.size() + 2) / 3 * 4 + 1);
  for (auto _ : state) {
    benchmark::DoNotOptimize(EVP_EncodeBlock(out.data(), data.data(), static_cast<int>(data.size())));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(data.size()));
}
// Decoding figures count the decoded bytes, so they compare with encoding.
void BM_Base64Decode(benchmark::State& state) {
  const auto& text = Text();
  std::vector<unsigned char> out(text.size() / 4 * 3 + 3);
  for (auto _ : state) {
    std::uint32_t n = 0;
    (void)sfx::Base64s()->DecodeBase64(text.data(), static_cast<std::uint32_t>(text.size()), out.data(), &n);
    benchmark::DoNotOptimize(n);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(Data().size()));
}
void BM_PlainDecode(benchmark::State& state) {
  const auto& text = Text();
  std::vector<unsigned char> out(text.size() / 4 * 3 + 3);
  for (auto _ : state) benchmark::DoNotOptimize(PlainDecode(text.data(), text.size(), out.data()));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(Data().size()));
}
void BM_OpenSslDecode(benchmark::State& state) {
  const auto& text = Text();
  std::vector<unsigned char> out(text.size() / 4 * 3 + 3);
  for (auto _ : state) {
    benchmark::DoNotOptimize(EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(text.data()),
                                             static_cast<int>(text.size())));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(Data().size()));
}
BENCHMARK(BM_Base64Encode);
BENCHMARK(BM_PlainEncode);
BENCHMARK(BM_OpenSslEncode);
BENCHMARK(BM_Base64Decode);
BENCHMARK(BM_PlainDecode);
BENCHMARK(BM_OpenSslDecode);

}  // namespace
