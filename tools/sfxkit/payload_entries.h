// The setup record and the file records of a launcher's payload, read and
// checked as the launcher checks them before it extracts anything, with a
// message that names the record and what is wrong. The layouts, the names and
// the name rules are the launcher's own (launcher/payload_records.h,
// launcher/entry_names.h).
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "launcher/payload_records.h"
#include "services/core/service.h"
#include "services/core/stream.h"
#include "tools/sfxkit/launcher_payload.h"

namespace sfx::cli {

using launcher::FileHeader;
using launcher::SetupHeader;

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
};

bool ReadSetup(const LauncherPayload& payload, SetupInfo* setup, std::string* error);
// Record `number` (1-based); false with a message when the launcher would
// refuse it.
bool ReadEntry(const LauncherPayload& payload, std::uint32_t number, Entry* entry, std::string* error);

// True for a time stamp the launcher can give a file (a real calendar date
// and time from 1601 on).
bool IsValidTimeStamp(const FileHeader& header);
// "2024-05-01 13:45:07.25"
std::string FormatTimeStamp(const FileHeader& header);

// Decodes (method 0) or copies (method 1) a file entry's data into `output`
// (any stream, or a DiscardStream), reporting the decoded size and the
// finished CRC-32. Fails with the inflater's or the stream's Result.
Result DecodeEntry(const Entry& entry, Stream* output, std::uint32_t* size, std::uint32_t* crc);
// Compares what DecodeEntry found with the record; false with a message.
bool CheckDecoded(const Entry& entry, std::uint32_t size, std::uint32_t crc, std::string* error);

}  // namespace sfx::cli
