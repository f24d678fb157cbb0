// MD5 over the concatenated corpus: ours against OpenSSL's (the EVP digest,
// which uses its assembly transform where it has one).
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include "bench/corpus.h"
#include "services/codec/md5.h"

namespace {

struct Registered {
  Registered() { (void)sfx::RegisterCoreServices(); }
} g_registered;

template <class Digest>
void Run(benchmark::State& state, Digest digest) {
  const auto& data = sfx::bench::CorpusConcatenated();
  unsigned char out[16];
  for (auto _ : state) {
    digest(data.data(), data.size(), out);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(data.size()));
}

void BM_Md5(benchmark::State& state) {
  Run(state, [](const unsigned char* p, std::size_t n, unsigned char* out) {
    sfx::Md5Context context;
    (void)sfx::Md5s()->Md5Init(&context);
    (void)sfx::Md5s()->Md5Update(&context, p, static_cast<std::uint32_t>(n));
    (void)sfx::Md5s()->Md5Final(&context, out);
  });
}
void BM_OpenSslMd5(benchmark::State& state) {
  Run(state, [](const unsigned char* p, std::size_t n, unsigned char* out) {
    unsigned int length = 0;
    EVP_Digest(p, n, out, &length, EVP_md5(), nullptr);
  });
}
// Small messages: the per-call cost of init, update and final.
void BM_Md5Small(benchmark::State& state) {
  unsigned char message[64] = {1, 2, 3};
  unsigned char out[16];
  for (auto _ : state) {
    sfx::Md5Context context;
    (void)sfx::Md5s()->Md5Init(&context);
    (void)sfx::Md5s()->Md5Update(&context, message, sizeof message);
    (void)sfx::Md5s()->Md5Final(&context, out);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(state.iterations() * 64);
}
void BM_OpenSslMd5Small(benchmark::State& state) {
  unsigned char message[64] = {1, 2, 3};
  unsigned char out[16];
  for (auto _ : state) {
    unsigned int length = 0;
    EVP_Digest(message, sizeof message, out, &length, EVP_md5(), nullptr);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(state.iterations() * 64);
}
BENCHMARK(BM_Md5);
BENCHMARK(BM_OpenSslMd5);
BENCHMARK(BM_Md5Small);
BENCHMARK(BM_OpenSslMd5Small);

}  // namespace
