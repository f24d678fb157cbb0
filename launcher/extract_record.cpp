#include "launcher/extract_record.h"

#include <cstring>

#include "launcher/entry_names.h"
#include "launcher/form_path.h"
#include "launcher/messages.h"
#include "launcher/payload_records.h"
#include "launcher/progress_queue.h"
#include "launcher/report_step_p.h"
#include "platform/file.h"
#include "platform/memory.h"
#include "platform/resource.h"
#include "platform/time.h"
#include "platform/ui.h"

namespace sfx::launcher {
namespace {

// "Extracting: " and the name exactly as the record has it. Without memory
// the text is skipped: it only feeds the display.
void QueueProgressText(const std::uint8_t* name, std::uint32_t length) {
  constexpr std::uint32_t kPrefix = sizeof kProgressPrefix - 1;
  auto* text = static_cast<char*>(platform::GlobalAllocate(kPrefix + length + 1));
  if (text == nullptr) return;
  std::memcpy(text, kProgressPrefix, kPrefix);
  std::memcpy(text + kPrefix, name, length);
  text[kPrefix + length] = '\0';
  (void)PushProgressText(text);
}

}  // namespace

bool ExtractRecord(const char* folder, std::uint32_t n) {
  char recordName[kRecordNameBytes];
  FormatRecordName(n, recordName);
  platform::RawResource resource;
  if (!platform::FindRawResource(recordName, &resource)) return false;
  if (resource.size <= kFileHeaderSize) return false;
  const std::uint8_t* record = platform::LoadRawResource(resource);
  if (record == nullptr) return false;
  const FileHeader header = DecodeFileHeader(record);
  // In 64 bits: a stored size near 4 GiB must not wrap the sum.
  if (static_cast<std::uint64_t>(kFileHeaderSize) + header.nameLength + header.storedSize != resource.size) {
    return false;
  }
  if (header.nameLength == 0) return false;
  const auto* rawName = reinterpret_cast<const char*>(record + kFileHeaderSize);
  if (!IsSafeEntryName(rawName, header.nameLength)) return false;

  char name[kEntryNameBytes];
  std::memcpy(name, rawName, header.nameLength);
  name[header.nameLength] = '\0';
  QueueProgressText(record + kFileHeaderSize, header.nameLength);
  UsePlatformSeparators(name);

  platform::CalendarTime calendar{};
  calendar.year = header.year;
  calendar.month = header.month;
  calendar.dayOfWeek = 0;
  calendar.day = header.day;
  calendar.hour = header.hour;
  calendar.minute = header.minute;
  calendar.second = header.second;
  calendar.milliseconds = static_cast<std::uint16_t>(header.hundredths * 10u);
  std::uint64_t localTime = 0;
  if (!platform::CalendarToFileTime(calendar, &localTime)) return false;

  if (IsFolderEntryName(rawName, header.nameLength)) {
    if (header.size != 0 || header.crc != 0 || header.storedSize != 0) return false;
    name[header.nameLength - 1] = '\0';
    return CreateFolderEntry(folder, name);
  }
  if (header.method != kMethodDeflate && header.method != kMethodStored) return false;
  const bool extracted = ExtractFileEntry(folder, name, record + kFileHeaderSize + header.nameLength, header.size,
                                          header.crc, header.storedSize, header.method, localTime);
  // Each record is read once: its pages need not stay resident.
  platform::ReleaseRawResource(resource);
  return extracted;
}

bool CreateFolderEntry(const char* folder, const char* name) {
  char path[kPathBytes];
  if (!FormPath(path, sizeof path, folder, name)) {
    ReportStep(name, kStepFormFolderPath);
    return false;
  }
  if (!platform::MakeFolder(path)) {
    ReportStep(path, kStepCreateFolder);
    return false;
  }
  return true;
}

}  // namespace sfx::launcher
