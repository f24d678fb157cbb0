#include "launcher/setup_record.h"

#include <cstring>

#include "payload/names.h"
#include "payload/record_check.h"

namespace sfx::launcher {

bool ReadSetupRecord(const payload::RecordSource& records, payload::SetupHeader* header, char* title, char* programName,
                     char* arguments) {
  const std::uint8_t* bytes = nullptr;
  std::uint32_t size = 0;
  if (!records.Find(payload::kSetupRecordName, &bytes, &size)) return false;
  payload::SetupRecord record;
  // An empty program name is allowed here: starting it simply fails later.
  const payload::SetupFault fault = payload::CheckSetupRecord(bytes, size, &record);
  if (fault != payload::SetupFault::kNone && fault != payload::SetupFault::kNoProgramFile) return false;
  *header = record.header;

  const std::uint32_t shown = header->titleLength < kTitleBytes - 1 ? header->titleLength : kTitleBytes - 1;
  std::memcpy(title, record.title, shown);
  title[shown] = '\0';
  std::memcpy(programName, record.program, header->programLength);
  programName[header->programLength] = '\0';
  payload::UsePlatformSeparators(programName);
  std::memcpy(arguments, record.arguments, header->argumentsLength);
  arguments[header->argumentsLength] = '\0';
  return true;
}

}  // namespace sfx::launcher
