#include "services/codec/inflater.h"

#include "services/codec/inflate_engine_p.h"
#include "services/core/memory_service.h"
#include "services/core/registry_p.h"

namespace sfx {
namespace {

// The instance: the engine holds the whole decoder state; the window is a
// second MemoryService block it owns.
class InflaterInstance final : public Inflater {
 public:
  Result DestroyInflater() override {
    const Result r = engine_.ReleaseWindow();
    (void)DeleteInstance(this);  // the instance's own free is not reported
    return r;
  }
  Result InitInput(const void* data, std::uint32_t length) override {
    engine_.InitInput(data, length);
    return kOk;
  }
  Result InitInputStream(Stream* stream, std::uint32_t position, std::uint32_t length) override {
    engine_.InitInputStream(stream, position, length);
    return kOk;
  }
  Result ReadBlockHeader(std::uint32_t* isFinal, std::uint32_t* isCompressed, std::uint32_t* isDynamic) override {
    return engine_.ReadBlockHeader(isFinal, isCompressed, isDynamic);
  }
  Result ReadDynamicTables() override { return engine_.ReadDynamicTables(); }
  Result InflateBlock(std::uint8_t** buffer, std::uint32_t* size) override {
    if (buffer == nullptr || size == nullptr) return kNullOutput;
    return engine_.InflateBlock(buffer, size);
  }
  Result Extract(Stream* output, std::uint32_t* size, std::uint32_t* crc, std::uint32_t* adler,
                 ProgressSink* progress) override {
    return engine_.Extract(output, size, crc, adler, progress);
  }

  detail::InflateEngine engine_;
};

InflaterService g_inflaterService;

}  // namespace

ServiceObject* detail::TheInflaterService() { return &g_inflaterService; }

Result InflaterService::CreateInflater(std::uint32_t windowSize, Inflater** out) {
  if (out == nullptr) return kNullOutput;
  // A window of 0 bytes could hold nothing; it is refused rather than guessed at.
  if (windowSize == 0) return kFail;
  InflaterInstance* instance = nullptr;
  if (Failed(NewInstance(&instance))) return kOutOfMemory;
  const Result r = instance->engine_.AllocateWindow(windowSize);
  if (Failed(r)) {
    (void)instance->DestroyInflater();
    return r;
  }
  *out = instance;
  return kOk;
}

}  // namespace sfx
