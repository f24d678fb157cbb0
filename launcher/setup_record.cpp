#include "launcher/setup_record.h"

#include <cstring>

#include "launcher/entry_names.h"
#include "platform/resource.h"

namespace sfx::launcher {

bool ReadSetupRecord(SetupHeader* header, char* title, char* programName, char* arguments) {
  platform::RawResource resource;
  if (!platform::FindRawResource(kSetupRecordName, &resource)) return false;
  if (resource.size < kSetupHeaderSize) return false;
  const std::uint8_t* record = platform::LoadRawResource(resource);
  if (record == nullptr) return false;
  *header = DecodeSetupHeader(record);
  const std::uint32_t titleLength = header->titleLength;
  const std::uint32_t programLength = header->programLength;
  const std::uint32_t argumentsLength = header->argumentsLength;
  // The three lengths are bytes: the sum cannot wrap.
  if (resource.size != kSetupHeaderSize + titleLength + programLength + argumentsLength) return false;

  const std::uint8_t* text = record + kSetupHeaderSize;
  const std::uint32_t shown = titleLength < kTitleBytes - 1 ? titleLength : kTitleBytes - 1;
  std::memcpy(title, text, shown);
  title[shown] = '\0';
  text += titleLength;
  // An empty program name is allowed here: starting it simply fails later.
  if (programLength != 0 && !IsSafeEntryName(reinterpret_cast<const char*>(text), programLength)) return false;
  std::memcpy(programName, text, programLength);
  programName[programLength] = '\0';
  UsePlatformSeparators(programName);
  text += programLength;
  std::memcpy(arguments, text, argumentsLength);
  arguments[argumentsLength] = '\0';
  return true;
}

}  // namespace sfx::launcher
