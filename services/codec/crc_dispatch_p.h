// CPU dispatch for the checksums. A portable version of each update always
// exists; faster ones (carry-less multiplication for CRC-32, vector sums for
// Adler-32) live in files named after the CPU feature they need and are
// chosen once, on first use, from what the processor reports. Tests can turn
// features off to run every variant.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sfx::detail {

// Features the checksums and the decoder's hot loop can use.
enum CpuFeature : std::uint32_t {
  kCpuPclmul = 1u << 0,  // PCLMULQDQ with SSE4.1
  kCpuSsse3 = 1u << 1,
  kCpuAvx2 = 1u << 2,
  kCpuVpclmul = 1u << 3,  // VPCLMULQDQ with AVX-512F, and the OS saving ZMM state
  kCpuBmi2 = 1u << 4,     // shifts and masks by a register count without the CL register (the decoder)
  kCpuLastFeature = kCpuBmi2,
};

// What the processor offers (cached), less the features disabled for tests.
std::uint32_t CpuFeatures();
// Test switch: the features in `mask` are treated as absent from now on, and
// the update functions are chosen again.
void SetDisabledCpuFeatures(std::uint32_t mask);
// Masks that between them run every variant this processor can run: none
// disabled, each present feature disabled on its own, and all disabled.
std::vector<std::uint32_t> CpuFeatureSwitches();

using Crc32Update = std::uint32_t (*)(std::uint32_t crc, const std::uint8_t* data, std::size_t length);
using Adler32Update = std::uint32_t (*)(std::uint32_t adler, const std::uint8_t* data, std::size_t length);

// The chosen updates.
Crc32Update ChosenCrc32();
Adler32Update ChosenAdler32();

// The variants. The portable ones are always there; the others return null
// from their Select function when the build or the processor lacks them.
std::uint32_t Crc32Portable(std::uint32_t crc, const std::uint8_t* data, std::size_t length);
std::uint32_t Adler32Portable(std::uint32_t adler, const std::uint8_t* data, std::size_t length);
Crc32Update SelectCrc32Pclmul(std::uint32_t features);
Crc32Update SelectCrc32Vpclmul(std::uint32_t features);
Adler32Update SelectAdler32Ssse3(std::uint32_t features);
Adler32Update SelectAdler32Avx2(std::uint32_t features);

// Slicing-by-8 tables (generated data).
extern const std::uint32_t kCrc32Slice8[8][256];

// Adler-32: the longest run whose sums cannot overflow 32 bits before reduction.
inline constexpr std::uint32_t kAdlerChunk = 5552;
inline constexpr std::uint32_t kAdlerModulus = 65521;

}  // namespace sfx::detail
