#include "tests/reference/inflate_compare.h"

#include <cstdio>
#include <cstring>

#include "services/codec/inflater.h"
#include "services/core/memory_stream.h"
#include "tests/reference/inflate_ref.h"

namespace sfx::ref {
namespace {

// An output stream that records every write and can fail a chosen one.
class RecordingStream final : public Stream {
 public:
  RecordingStream(InflateObservation* observation, int failAt) : observation_(observation), failAt_(failAt) {}

  Result Close() override { return kOk; }
  Result Seek(std::int32_t, std::uint32_t, std::uint32_t*) override { return kFail; }
  Result Read(void*, std::uint32_t, std::uint32_t*) override { return kFail; }
  Result Write(const void* buffer, std::uint32_t count, std::uint32_t* done) override {
    if (writes_++ == failAt_) return kStreamShortWrite;
    observation_->writes.emplace_back(static_cast<const char*>(buffer), count);
    if (done != nullptr) *done = count;
    return kOk;
  }
  Result GetSize(std::uint32_t* size) override {
    *size = 0;
    return kOk;
  }
  Result SetSize(std::uint32_t) override { return kFail; }
  Result Reserve(std::uint32_t) override { return kOk; }
  Result SetParameter(std::uint32_t) override { return kOk; }

 private:
  InflateObservation* observation_;
  int failAt_;
  int writes_ = 0;
};

class RecordingSink final : public ProgressSink {
 public:
  RecordingSink(InflateObservation* observation, int failAt) : observation_(observation), failAt_(failAt) {}
  Result Notify(std::uint32_t code, void* data) override {
    if (code != static_cast<std::uint32_t>(kInflateProgress)) return kFail;
    observation_->progress.push_back(*static_cast<std::uint32_t*>(data));
    if (static_cast<int>(observation_->progress.size()) - 1 == failAt_) return FailureCode(0x7777, 1);
    return kOk;
  }

 private:
  InflateObservation* observation_;
  int failAt_;
};

std::string Step(const char* what, Result r) {
  char text[64];
  std::snprintf(text, sizeof text, "%s=%08X", what, static_cast<unsigned>(r));
  return text;
}

// Drives either decoder through the same calls.
template <class Decoder>
InflateObservation Drive(Decoder& decoder, const std::uint8_t* data, std::uint32_t length, const InflateRun& run) {
  InflateObservation o;
  // The source stream: the input placed at streamPosition, less the shortfall.
  std::vector<std::uint8_t> image;
  Stream* source = nullptr;
  if (run.streamInput) {
    const std::uint32_t kept = run.streamShortfall < length ? length - run.streamShortfall : 0;
    image.assign(run.streamPosition, 0xA5);
    image.insert(image.end(), data, data + kept);
    if (Failed(MemoryStreams()->CreateMemoryStream(image.data(), static_cast<std::uint32_t>(image.size()),
                                                   static_cast<std::uint32_t>(image.size()), kMemoryStreamCallerOwns,
                                                   &source))) {
      o.result = kOutOfMemory;
      return o;
    }
    decoder.InitInputStream(source, run.streamPosition, length);
  } else {
    decoder.InitInput(data, length);
  }

  if (!run.blockByBlock) {
    RecordingStream output(&o, run.failWriteAt);
    RecordingSink sink(&o, run.failProgressAt);
    o.crc = 0xFFFFFFFFu;
    o.adler = 1;
    o.size = 0xDEADBEEFu;
    o.result = decoder.Extract(&output, run.withSize ? &o.size : nullptr, run.withCrc ? &o.crc : nullptr,
                               run.withAdler ? &o.adler : nullptr, run.withProgress ? &sink : nullptr);
  } else {
    std::vector<std::uint8_t> buffer(run.blockBuffer + 1);
    for (int blocks = 0; blocks < 64; ++blocks) {
      std::uint32_t isFinal = 7, isCompressed = 7, isDynamic = 7;
      Result r = decoder.ReadBlockHeader(&isFinal, &isCompressed, &isDynamic);
      o.steps.push_back(Step("header", r) + " " + std::to_string(isFinal) + std::to_string(isCompressed) +
                        std::to_string(isDynamic));
      if (Failed(r) || isDynamic != 1 || isCompressed != 1) {
        o.result = r;
        break;
      }
      r = decoder.ReadDynamicTables();
      o.steps.push_back(Step("tables", r));
      if (Failed(r)) {
        o.result = r;
        break;
      }
      std::uint8_t* out = run.blockBuffer ? buffer.data() : nullptr;
      std::uint32_t size = run.blockBuffer;
      r = decoder.InflateBlock(&out, &size);
      o.steps.push_back(Step("block", r));
      o.result = r;
      if (Failed(r)) break;
      o.writes.emplace_back(reinterpret_cast<const char*>(out), size);
      if (isFinal) break;
    }
  }
  if (source != nullptr) (void)source->Close();
  return o;
}

class ProductionAdapter {
 public:
  explicit ProductionAdapter(Inflater* inflater) : inflater_(inflater) {}
  void InitInput(const void* data, std::uint32_t length) { (void)inflater_->InitInput(data, length); }
  void InitInputStream(Stream* s, std::uint32_t position, std::uint32_t length) {
    (void)inflater_->InitInputStream(s, position, length);
  }
  Result ReadBlockHeader(std::uint32_t* a, std::uint32_t* b, std::uint32_t* c) {
    return inflater_->ReadBlockHeader(a, b, c);
  }
  Result ReadDynamicTables() { return inflater_->ReadDynamicTables(); }
  Result InflateBlock(std::uint8_t** buffer, std::uint32_t* size) { return inflater_->InflateBlock(buffer, size); }
  Result Extract(Stream* output, std::uint32_t* size, std::uint32_t* crc, std::uint32_t* adler, ProgressSink* p) {
    return inflater_->Extract(output, size, crc, adler, p);
  }

 private:
  Inflater* inflater_;
};

}  // namespace

std::string InflateObservation::Output() const {
  std::string all;
  for (const std::string& w : writes) all += w;
  return all;
}

std::string InflateObservation::Describe() const {
  char text[160];
  std::snprintf(text, sizeof text,
                "result %08X, %zu writes (%zu bytes), %zu progress calls, size %u crc %08X adler %08X",
                static_cast<unsigned>(result), writes.size(), Output().size(), progress.size(), size, crc, adler);
  std::string s = text;
  for (const std::string& step : steps) s += " " + step;
  return s;
}

InflateObservation RunProduction(const std::uint8_t* data, std::uint32_t length, const InflateRun& run) {
  Inflater* inflater = nullptr;
  InflateObservation o;
  o.result = Inflaters()->CreateInflater(run.windowSize, &inflater);
  if (Failed(o.result)) return o;
  ProductionAdapter adapter(inflater);
  o = Drive(adapter, data, length, run);
  const Result destroyed = inflater->DestroyInflater();
  if (Failed(destroyed)) o.result = destroyed;
  return o;
}

InflateObservation RunReference(const std::uint8_t* data, std::uint32_t length, const InflateRun& run) {
  ReferenceInflater decoder(run.windowSize);
  return Drive(decoder, data, length, run);
}

}  // namespace sfx::ref
