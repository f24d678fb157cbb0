#include "launcher/extract_record.h"

#include <cstring>

#include "launcher/form_path.h"
#include "launcher/launch_state.h"
#include "launcher/messages.h"
#include "launcher/progress_queue.h"
#include "launcher/report_step_p.h"
#include "payload/names.h"
#include "platform/file.h"
#include "services/core/memory_service.h"

namespace sfx::launcher {
namespace {

// "Extracting: " and the name exactly as the record has it. Without memory
// the text is skipped: it only feeds the display.
void QueueProgressText(const char* name, std::uint32_t length) {
  constexpr std::uint32_t kPrefix = sizeof kProgressPrefix - 1;
  void* block = nullptr;
  if (Failed(Memory()->Allocate(kPrefix + length + 1, &block))) return;
  auto* text = static_cast<char*>(block);
  std::memcpy(text, kProgressPrefix, kPrefix);
  std::memcpy(text + kPrefix, name, length);
  text[kPrefix + length] = '\0';
  (void)PushProgressText(text);  // a text that cannot be queued is freed and not shown
}

}  // namespace

bool CopyWithPlatformSeparators(const char* name, char (&local)[kEntryNameBytes]) {
  const std::size_t length = std::strlen(name);
  if (length >= kEntryNameBytes) return false;
  std::memcpy(local, name, length + 1);
  payload::UsePlatformSeparators(local);
  return true;
}

bool ExtractRecord(const payload::RecordSource& records, const char* folder, std::uint32_t n) {
  char recordName[payload::kRecordNameBytes];
  payload::FormatRecordName(n, recordName);
  const std::uint8_t* bytes = nullptr;
  std::uint32_t size = 0;
  if (!records.Find(recordName, &bytes, &size)) return false;
  payload::FileRecord record;
  const payload::RecordFault fault = payload::CheckFileRecord(bytes, size, &record);
  // The progress text is queued only for a record whose layout is sound.
  if (payload::IsLayoutFault(fault)) return false;

  const std::uint32_t nameLength = record.header.nameLength;
  char name[kEntryNameBytes];
  std::memcpy(name, record.name, nameLength);
  name[nameLength] = '\0';
  QueueProgressText(record.name, nameLength);
  if (fault != payload::RecordFault::kNone) return false;

  if (record.isFolder) {
    name[nameLength - 1] = '\0';
    return CreateFolderEntry(folder, name);
  }
  const bool extracted = ExtractFileEntry(folder, name, record);
  // Each record is read once: its pages need not stay resident.
  records.Release(bytes, size);
  return extracted;
}

bool CreateFolderEntry(const char* folder, const char* name) {
  // Only the path on disk takes the platform's separator; messages show the
  // name as stored, like the progress text.
  char local[kEntryNameBytes];
  if (!CopyWithPlatformSeparators(name, local)) {
    ReportStep(name, kStepFormFolderPath);
    return false;
  }
  char path[kPathBytes];
  if (!FormPath(path, sizeof path, folder, local)) {
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
