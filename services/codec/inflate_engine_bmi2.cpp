// The decoder's hot loop compiled for processors with BMI2; chosen per block
// from the processor's features (crc_dispatch_p.h), so tests can turn it off.
#include "services/codec/inflate_fast_loop_p.h"

namespace sfx::detail {

#if defined(__i386__) || defined(__x86_64__)
__attribute__((target("bmi2"))) Result InflateEngine::FastLoopBmi2(bool* blockEnd) { return FastLoopBody(blockEnd); }
#else
Result InflateEngine::FastLoopBmi2(bool* blockEnd) { return FastLoopBody(blockEnd); }
#endif

}  // namespace sfx::detail
