// Decoding a file record's stored bytes, the one way both the launcher and
// the tool do it: raw DEFLATE through an Inflater with the full window, or a
// copy of the stored bytes, with the CRC-32 of what was written.
#pragma once

#include <cstdint>

#include "payload/record_check.h"
#include "services/core/service.h"
#include "services/core/stream.h"

namespace sfx::payload {

// The step that failed; the launcher names it in its message box.
enum class DecodeStep : std::uint8_t { kNone, kCreateInflater, kInitInput, kExtract, kDestroyInflater, kWrite };

struct Decoded {
  DecodeStep failedStep = DecodeStep::kNone;
  Result result = kOk;     // the failing step's code
  std::uint32_t size = 0;  // bytes written
  std::uint32_t crc = 0;   // CRC-32 of them, complemented
};

// Writes the decoded content of a checked file record to `output` from its
// current position. A failed step ends the decoding; the inflater is
// destroyed on every path.
Decoded DecodeContent(const FileRecord& record, Stream* output);

// kDecodedSizeMismatch, kCrcMismatch or kNone: what was decoded against what
// the record says.
RecordFault CheckContent(const FileRecord& record, const Decoded& decoded);

}  // namespace sfx::payload
