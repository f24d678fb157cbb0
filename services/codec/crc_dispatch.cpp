#include <atomic>

#include "services/codec/crc_dispatch_p.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace sfx::detail {
namespace {

std::uint32_t DetectFeatures() {
  std::uint32_t features = 0;
#if defined(__i386__) || defined(__x86_64__)
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(1, &a, &b, &c, &d)) {
    const bool osxsave = (c & bit_OSXSAVE) != 0;
    if ((c & bit_PCLMUL) && (c & bit_SSE4_1)) features |= kCpuPclmul;
    if (c & bit_SSSE3) features |= kCpuSsse3;
    if (osxsave && (c & bit_AVX)) {
      // The OS must save the YMM (and for AVX-512 the ZMM) registers.
      unsigned lo = 0, hi = 0;
      __asm__("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
      if ((lo & 6) == 6 && __get_cpuid_count(7, 0, &a, &b, &c, &d)) {
        if (b & bit_AVX2) features |= kCpuAvx2;
        if ((lo & 0xE6) == 0xE6 && (b & bit_AVX512F) && (c & bit_VPCLMULQDQ) && (features & kCpuPclmul))
          features |= kCpuVpclmul;
      }
    }
  }
  if (__get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_BMI2)) features |= kCpuBmi2;
#endif
  return features;
}

const std::uint32_t g_detected = DetectFeatures();
std::atomic<std::uint32_t> g_disabled{0};
std::atomic<Crc32Update> g_crc32{nullptr};
std::atomic<Adler32Update> g_adler32{nullptr};

void Choose() {
  const std::uint32_t features = CpuFeatures();
  Crc32Update crc = SelectCrc32Vpclmul(features);
  if (!crc) crc = SelectCrc32Pclmul(features);
  g_crc32.store(crc ? crc : Crc32Portable, std::memory_order_relaxed);
  Adler32Update adler = SelectAdler32Avx2(features);
  if (!adler) adler = SelectAdler32Ssse3(features);
  g_adler32.store(adler ? adler : Adler32Portable, std::memory_order_relaxed);
}

}  // namespace

std::uint32_t CpuFeatures() { return g_detected & ~g_disabled.load(std::memory_order_relaxed); }

void SetDisabledCpuFeatures(std::uint32_t mask) {
  g_disabled.store(mask, std::memory_order_relaxed);
  Choose();
}

std::vector<std::uint32_t> CpuFeatureSwitches() {
  std::vector<std::uint32_t> masks{0};
  for (std::uint32_t f = 1; f != 0 && f <= kCpuLastFeature; f <<= 1)
    if (g_detected & f) masks.push_back(f);
  masks.push_back(~0u);
  return masks;
}

// Every thread that races here stores the same pointers, so relaxed order is enough.
Crc32Update ChosenCrc32() {
  Crc32Update f = g_crc32.load(std::memory_order_relaxed);
  if (f == nullptr) {
    Choose();
    f = g_crc32.load(std::memory_order_relaxed);
  }
  return f;
}

Adler32Update ChosenAdler32() {
  Adler32Update f = g_adler32.load(std::memory_order_relaxed);
  if (f == nullptr) {
    Choose();
    f = g_adler32.load(std::memory_order_relaxed);
  }
  return f;
}

}  // namespace sfx::detail
