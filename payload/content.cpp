#include "payload/content.h"

#include "services/codec/crc.h"
#include "services/codec/inflater.h"

namespace sfx::payload {
namespace {

Decoded Failure(DecodeStep step, Result result) {
  Decoded d;
  d.failedStep = step;
  d.result = result;
  return d;
}

}  // namespace

Decoded DecodeContent(const FileRecord& record, Stream* output) {
  std::uint32_t running = 0xFFFFFFFFu;
  Decoded decoded;
  const std::uint32_t storedSize = record.header.storedSize;
  if (record.header.method == kMethodDeflate) {
    Inflater* inflater = nullptr;
    Result r = Inflaters()->CreateInflater(kInflateFullWindow, &inflater);
    if (Failed(r)) return Failure(DecodeStep::kCreateInflater, r);
    r = inflater->InitInput(record.data, storedSize);
    if (Failed(r)) {
      (void)inflater->DestroyInflater();  // the first failure is the one reported
      return Failure(DecodeStep::kInitInput, r);
    }
    r = inflater->Extract(output, &decoded.size, &running, nullptr, nullptr);
    if (Failed(r)) {
      (void)inflater->DestroyInflater();  // the first failure is the one reported
      return Failure(DecodeStep::kExtract, r);
    }
    r = inflater->DestroyInflater();
    if (Failed(r)) return Failure(DecodeStep::kDestroyInflater, r);
  } else {
    // Its result is not examined: a wrong CRC is caught by the check.
    (void)Crc()->UpdateCrc32(record.data, storedSize, &running);
    const Result r = output->Write(record.data, storedSize, nullptr);
    if (Failed(r)) return Failure(DecodeStep::kWrite, r);
    decoded.size = storedSize;
  }
  decoded.crc = ~running;
  return decoded;
}

RecordFault CheckContent(const FileRecord& record, const Decoded& decoded) {
  if (decoded.size != record.header.size) return RecordFault::kDecodedSizeMismatch;
  if (decoded.crc != record.header.crc) return RecordFault::kCrcMismatch;
  return RecordFault::kNone;
}

}  // namespace sfx::payload
