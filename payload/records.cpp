#include "payload/records.h"

#include <cstdio>

#include "payload/byte_order.h"

namespace sfx::payload {

SetupHeader DecodeSetupHeader(const std::uint8_t* b) {
  SetupHeader h;
  h.fileCount = LoadU32(b + kSetupFileCount);
  h.maxNameLength = LoadU32(b + kSetupMaxNameLength);
  h.maxStoredSize = LoadU32(b + kSetupMaxStoredSize);
  h.titleLength = b[kSetupTitleLength];
  h.programLength = b[kSetupProgramLength];
  h.argumentsLength = b[kSetupArgumentsLength];
  h.reserved = b[kSetupReserved];
  return h;
}

void EncodeSetupHeader(const SetupHeader& h, std::uint8_t* b) {
  StoreU32(b + kSetupFileCount, h.fileCount);
  StoreU32(b + kSetupMaxNameLength, h.maxNameLength);
  StoreU32(b + kSetupMaxStoredSize, h.maxStoredSize);
  b[kSetupTitleLength] = h.titleLength;
  b[kSetupProgramLength] = h.programLength;
  b[kSetupArgumentsLength] = h.argumentsLength;
  b[kSetupReserved] = h.reserved;
}

FileHeader DecodeFileHeader(const std::uint8_t* b) {
  FileHeader h;
  h.year = LoadU16(b + kFileYear);
  h.month = b[kFileMonth];
  h.day = b[kFileDay];
  h.hour = b[kFileHour];
  h.minute = b[kFileMinute];
  h.second = b[kFileSecond];
  h.hundredths = b[kFileHundredths];
  h.size = LoadU32(b + kFileSize);
  h.crc = LoadU32(b + kFileCrc);
  h.storedSize = LoadU32(b + kFileStoredSize);
  h.method = b[kFileMethod];
  h.nameLength = b[kFileNameLength];
  h.filler[0] = b[kFileFiller];
  h.filler[1] = b[kFileFiller + 1];
  return h;
}

void EncodeFileHeader(const FileHeader& h, std::uint8_t* b) {
  StoreU16(b + kFileYear, h.year);
  b[kFileMonth] = h.month;
  b[kFileDay] = h.day;
  b[kFileHour] = h.hour;
  b[kFileMinute] = h.minute;
  b[kFileSecond] = h.second;
  b[kFileHundredths] = h.hundredths;
  StoreU32(b + kFileSize, h.size);
  StoreU32(b + kFileCrc, h.crc);
  StoreU32(b + kFileStoredSize, h.storedSize);
  b[kFileMethod] = h.method;
  b[kFileNameLength] = h.nameLength;
  b[kFileFiller] = h.filler[0];
  b[kFileFiller + 1] = h.filler[1];
}

void FormatRecordName(std::uint32_t number, char* name) {
  std::snprintf(name, kRecordNameBytes, "F%08lX", static_cast<unsigned long>(number));
}

}  // namespace sfx::payload
