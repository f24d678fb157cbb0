// The setup record and the file records of a launcher's payload, read and
// checked by the launcher's own checks (payload/record_check.h) before
// anything is extracted, with a message that names the record and what is
// wrong.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "payload/record_check.h"
#include "payload/records.h"
#include "services/core/service.h"
#include "services/core/stream.h"
#include "tools/sfxkit/launcher_payload.h"
#include "tools/sfxkit/status.h"

namespace sfx::cli {

using payload::FileHeader;
using payload::SetupHeader;

struct SetupInfo {
  SetupHeader header{};
  std::string title;  // in full; the launcher shows the first 31 bytes
  std::string program;
  std::string arguments;
};

struct Entry {
  std::uint32_t number = 0;
  std::string recordName;  // "F00000001", ...
  FileHeader header{};
  std::string name;  // as stored, with a folder's trailing separator
  bool isFolder = false;
  std::span<const std::uint8_t> data;  // the stored bytes
  payload::FileRecord record;          // the checked record, pointing into the payload
};

Status ReadSetup(const LauncherPayload& payload, SetupInfo* setup);
// Record `number` (1-based); fails with a message when the launcher would
// refuse it.
Status ReadEntry(const LauncherPayload& payload, std::uint32_t number, Entry* entry);

// "2024-05-01 13:45:07.25"
std::string FormatTimeStamp(const FileHeader& header);

// Decodes (method 0) or copies (method 1) a file entry's data into `output`
// (any stream, or a DiscardStream), reporting the decoded size and the
// finished CRC-32. Fails with the inflater's or the stream's Result.
Result DecodeEntry(const Entry& entry, Stream* output, std::uint32_t* size, std::uint32_t* crc);
// Compares what DecodeEntry found with the record; fails with a message.
Status CheckDecoded(const Entry& entry, std::uint32_t size, std::uint32_t crc);

}  // namespace sfx::cli
