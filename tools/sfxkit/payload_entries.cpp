#include "tools/sfxkit/payload_entries.h"

#include <cstdio>

#include "payload/content.h"

namespace sfx::cli {

using namespace payload;

namespace {

std::string Text(const char* bytes, std::size_t length) { return std::string(bytes, length); }

}  // namespace

Status ReadSetup(const LauncherPayload& payload, SetupInfo* setup) {
  std::span<const std::uint8_t> bytes;
  if (!payload.Find(kSetupRecordName, &bytes)) return Status::Error("the setup record F00000000 is missing");
  SetupRecord record;
  const SetupFault fault = CheckSetupRecord(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &record,
                                            payload.target() == Target::kWindows);
  const SetupHeader& h = record.header;
  switch (fault) {
    case SetupFault::kNone: break;
    case SetupFault::kTooShort:
      return Status::Error("the setup record is " + std::to_string(bytes.size()) + " bytes, shorter than its header");
    case SetupFault::kSizeMismatch: {
      const std::size_t expected = std::size_t{kSetupHeaderSize} + h.titleLength + h.programLength + h.argumentsLength;
      return Status::Error("the setup record is " + std::to_string(bytes.size()) + " bytes, its header says " +
                           std::to_string(expected));
    }
    case SetupFault::kUnsafeProgramName:
    case SetupFault::kNoProgramFile:
      return Status::Error("the setup program's name '" + Text(record.program, h.programLength) +
                           "' is not a plain relative file name");
  }
  setup->header = h;
  setup->title = Text(record.title, h.titleLength);
  setup->program = Text(record.program, h.programLength);
  setup->arguments = Text(record.arguments, h.argumentsLength);
  return Status();
}

Status ReadEntry(const LauncherPayload& payload, std::uint32_t number, Entry* entry) {
  char recordName[kRecordNameBytes];
  FormatRecordName(number, recordName);
  entry->number = number;
  entry->recordName = recordName;
  const std::string where = std::string("record ") + recordName;
  std::span<const std::uint8_t> bytes;
  if (!payload.Find(recordName, &bytes)) return Status::Error(where + " is missing");
  FileRecord& record = entry->record;
  const RecordFault fault = CheckFileRecord(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &record,
                                            payload.target() == Target::kWindows);
  const FileHeader& h = record.header;
  switch (fault) {
    case RecordFault::kTooShort:
      return Status::Error(where + " is " + std::to_string(bytes.size()) + " bytes, too short for a header and a name");
    case RecordFault::kSizeMismatch:
      return Status::Error(where + " is " + std::to_string(bytes.size()) + " bytes, its header says " +
                           std::to_string(std::uint64_t{kFileHeaderSize} + h.nameLength + h.storedSize));
    case RecordFault::kEmptyName: return Status::Error(where + " has an empty name");
    default: break;
  }
  entry->header = h;
  entry->name = Text(record.name, h.nameLength);
  entry->data = bytes.subspan(kFileHeaderSize + h.nameLength);
  entry->isFolder = record.isFolder;
  const std::string named = where + " ('" + entry->name + "')";
  switch (fault) {
    case RecordFault::kUnsafeName:
      return Status::Error(named + ": the name could reach outside the folder or is not allowed");
    case RecordFault::kBadTimeStamp: return Status::Error(named + ": the time stamp is not a valid date and time");
    case RecordFault::kFolderWithContent: return Status::Error(named + ": a folder entry with a size, CRC or data");
    case RecordFault::kUnknownMethod: return Status::Error(named + ": unknown method " + std::to_string(h.method));
    default: return Status();
  }
}

std::string FormatTimeStamp(const FileHeader& h) {
  char text[40];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%02u", h.year, h.month, h.day, h.hour, h.minute,
                h.second, h.hundredths);
  return text;
}

Result DecodeEntry(const Entry& entry, Stream* output, std::uint32_t* size, std::uint32_t* crc) {
  const Decoded decoded = DecodeContent(entry.record, output);
  SFX_TRY(decoded.result);
  *size = decoded.size;
  *crc = decoded.crc;
  return kOk;
}

Status CheckDecoded(const Entry& entry, std::uint32_t size, std::uint32_t crc) {
  char text[120];
  Decoded decoded;
  decoded.size = size;
  decoded.crc = crc;
  switch (CheckContent(entry.record, decoded)) {
    case RecordFault::kDecodedSizeMismatch:
      std::snprintf(text, sizeof text, ": decodes to %u bytes, the record says %u", size, entry.header.size);
      break;
    case RecordFault::kCrcMismatch:
      std::snprintf(text, sizeof text, ": CRC-32 is %08X, the record says %08X", crc, entry.header.crc);
      break;
    default: return Status();
  }
  return Status::Error("record " + entry.recordName + " ('" + entry.name + "')" + text);
}

}  // namespace sfx::cli
