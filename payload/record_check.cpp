#include "payload/record_check.h"

#include "payload/names.h"
#include "platform/time.h"

namespace sfx::payload {
namespace {

// The platform's conversion is the one rule for a valid time stamp: what it
// refuses, no file could be given.
bool IsValidTimeStamp(const FileHeader& h) {
  platform::CalendarTime calendar{};
  calendar.year = h.year;
  calendar.month = h.month;
  calendar.dayOfWeek = 0;
  calendar.day = h.day;
  calendar.hour = h.hour;
  calendar.minute = h.minute;
  calendar.second = h.second;
  calendar.milliseconds = static_cast<std::uint16_t>(h.hundredths * 10u);
  std::uint64_t localTime = 0;
  return platform::CalendarToFileTime(calendar, &localTime);
}

}  // namespace

RecordFault CheckFileRecord(const std::uint8_t* bytes, std::uint32_t size, FileRecord* record, bool refuseDeviceNames) {
  if (size <= kFileHeaderSize) return RecordFault::kTooShort;
  const FileHeader& h = record->header = DecodeFileHeader(bytes);
  // In 64 bits: a stored size near 4 GiB must not wrap the sum.
  if (std::uint64_t{kFileHeaderSize} + h.nameLength + h.storedSize != size) return RecordFault::kSizeMismatch;
  if (h.nameLength == 0) return RecordFault::kEmptyName;
  record->name = reinterpret_cast<const char*>(bytes + kFileHeaderSize);
  record->data = bytes + kFileHeaderSize + h.nameLength;
  record->isFolder = IsFolderEntryName(record->name, h.nameLength);
  if (!IsSafeEntryName(record->name, h.nameLength, refuseDeviceNames)) return RecordFault::kUnsafeName;
  if (!IsValidTimeStamp(h)) return RecordFault::kBadTimeStamp;
  if (record->isFolder) {
    if (h.size != 0 || h.crc != 0 || h.storedSize != 0) return RecordFault::kFolderWithContent;
  } else if (h.method != kMethodDeflate && h.method != kMethodStored) {
    return RecordFault::kUnknownMethod;
  }
  return RecordFault::kNone;
}

SetupFault CheckSetupRecord(const std::uint8_t* bytes, std::uint32_t size, SetupRecord* record,
                            bool refuseDeviceNames) {
  if (size < kSetupHeaderSize) return SetupFault::kTooShort;
  const SetupHeader& h = record->header = DecodeSetupHeader(bytes);
  // The three lengths are bytes: the sum cannot wrap.
  if (size != kSetupHeaderSize + std::uint32_t{h.titleLength} + h.programLength + h.argumentsLength)
    return SetupFault::kSizeMismatch;
  record->title = reinterpret_cast<const char*>(bytes + kSetupHeaderSize);
  record->program = record->title + h.titleLength;
  record->arguments = record->program + h.programLength;
  if (h.programLength != 0 && !IsSafeEntryName(record->program, h.programLength, refuseDeviceNames))
    return SetupFault::kUnsafeProgramName;
  if (h.programLength == 0 || IsFolderEntryName(record->program, h.programLength)) return SetupFault::kNoProgramFile;
  return SetupFault::kNone;
}

}  // namespace sfx::payload
