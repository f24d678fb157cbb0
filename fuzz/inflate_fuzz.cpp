// Runs arbitrary input through the production Inflater and the reference
// decoder and requires the same observable behaviour: the bytes of every
// output write and their order, the Result, the size, both checksum registers
// and every progress call. The first two bytes choose the conditions (window
// size, memory or stream input, a short source stream, block-by-block calls,
// a failing write or progress sink); the rest is the compressed input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "services/core/service.h"
#include "tests/reference/inflate_compare.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  (void)sfx::RegisterCoreServices();
  (void)sfx::RegisterCodecServices();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2 || size > (1u << 20)) return 0;
  static const std::uint32_t kWindows[8] = {32768, 32768, 32768, 1, 7, 300, 4096, 65536};
  const std::uint8_t a = data[0], b = data[1];
  sfx::ref::InflateRun run;
  run.windowSize = kWindows[a & 7];
  run.streamInput = (a >> 3) & 1;
  run.streamPosition = (a >> 4) & 1 ? 3 : 0;
  run.streamShortfall = (a >> 5) & 1 ? (b & 15) : 0;
  run.blockByBlock = (b >> 4) & 1;
  run.blockBuffer = (b >> 5) & 1 ? 1000 : 0;
  run.withProgress = (a >> 6) & 1;
  run.failProgressAt = (b >> 6) & 1 ? 1 : -1;
  run.failWriteAt = (a >> 7) & 1 ? 2 : -1;
  run.withAdler = (b >> 7) & 1;
  const std::uint8_t* input = data + 2;
  const auto length = static_cast<std::uint32_t>(size - 2);

  const sfx::ref::InflateObservation production = sfx::ref::RunProduction(input, length, run);
  const sfx::ref::InflateObservation reference = sfx::ref::RunReference(input, length, run);
  if (!(production == reference)) {
    std::fprintf(stderr, "decoders disagree\nproduction: %s\nreference:  %s\n", production.Describe().c_str(),
                 reference.Describe().c_str());
    std::abort();
  }
  return 0;
}
