// The payload's two record layouts, their names and their fields. All
// integers little-endian; texts have no terminating zero.
//
// SetupRecord, named "F00000000":
//   0 u32 fileCount      4 u32 maxNameLength   8 u32 maxStoredSize
//  12 u8 titleLength    13 u8 programLength   14 u8 argumentsLength  15 u8 reserved
//  16 title | programName | arguments
//
// FileRecord n (1 <= n <= fileCount), named "F%08lX" with n:
//   0 u16 year   2 u8 month   3 u8 day   4 u8 hour   5 u8 minute   6 u8 second
//   7 u8 hundredths   8 u32 size   12 u32 crc   16 u32 storedSize
//  20 u8 method   21 u8 nameLength   22 two filler bytes (any value; "x" 1 marks an executable file)
//  24 name | data (storedSize bytes)
//
// A name ending in '/' or '\' is a folder entry (size, crc and storedSize 0);
// anything else is a file stored raw (method 1) or as raw DEFLATE (method 0).
#pragma once

#include <cstdint>

namespace sfx::payload {

inline constexpr char kSetupRecordName[] = "F00000000";
inline constexpr std::uint32_t kRecordNameBytes = 10;  // "F" + 8 hex digits + zero

inline constexpr std::uint32_t kSetupHeaderSize = 16;
inline constexpr std::uint32_t kSetupFileCount = 0;
inline constexpr std::uint32_t kSetupMaxNameLength = 4;
inline constexpr std::uint32_t kSetupMaxStoredSize = 8;
inline constexpr std::uint32_t kSetupTitleLength = 12;
inline constexpr std::uint32_t kSetupProgramLength = 13;
inline constexpr std::uint32_t kSetupArgumentsLength = 14;
inline constexpr std::uint32_t kSetupReserved = 15;

inline constexpr std::uint32_t kFileHeaderSize = 24;
inline constexpr std::uint32_t kFileYear = 0;
inline constexpr std::uint32_t kFileMonth = 2;
inline constexpr std::uint32_t kFileDay = 3;
inline constexpr std::uint32_t kFileHour = 4;
inline constexpr std::uint32_t kFileMinute = 5;
inline constexpr std::uint32_t kFileSecond = 6;
inline constexpr std::uint32_t kFileHundredths = 7;
inline constexpr std::uint32_t kFileSize = 8;
inline constexpr std::uint32_t kFileCrc = 12;
inline constexpr std::uint32_t kFileStoredSize = 16;
inline constexpr std::uint32_t kFileMethod = 20;
inline constexpr std::uint32_t kFileNameLength = 21;
inline constexpr std::uint32_t kFileFiller = 22;
static_assert(kFileFiller + 2 == kFileHeaderSize);
static_assert(kSetupReserved + 1 == kSetupHeaderSize);

inline constexpr std::uint8_t kMethodDeflate = 0;
inline constexpr std::uint8_t kMethodStored = 1;

struct SetupHeader {
  std::uint32_t fileCount;
  std::uint32_t maxNameLength;
  std::uint32_t maxStoredSize;
  std::uint8_t titleLength;
  std::uint8_t programLength;
  std::uint8_t argumentsLength;
  std::uint8_t reserved;
};

struct FileHeader {
  std::uint16_t year;
  std::uint8_t month, day, hour, minute, second, hundredths;
  std::uint32_t size;
  std::uint32_t crc;
  std::uint32_t storedSize;
  std::uint8_t method;
  std::uint8_t nameLength;
  std::uint8_t filler[2];
};

// A POSIX payload marks a file its owner may run by these two filler bytes
// ("x", 1); any other value means not executable. The Windows launcher never
// reads the filler.
inline constexpr std::uint8_t kFillerExecutable[2] = {0x78, 0x01};
inline bool IsMarkedExecutable(const FileHeader& h) {
  return h.filler[0] == kFillerExecutable[0] && h.filler[1] == kFillerExecutable[1];
}
inline void MarkExecutable(FileHeader* h) {
  h->filler[0] = kFillerExecutable[0];
  h->filler[1] = kFillerExecutable[1];
}

// From kSetupHeaderSize bytes.
SetupHeader DecodeSetupHeader(const std::uint8_t* bytes);
void EncodeSetupHeader(const SetupHeader& header, std::uint8_t* bytes);
// From kFileHeaderSize bytes.
FileHeader DecodeFileHeader(const std::uint8_t* bytes);
void EncodeFileHeader(const FileHeader& header, std::uint8_t* bytes);

// "F%08lX": record 10 is "F0000000A". `name` holds kRecordNameBytes.
void FormatRecordName(std::uint32_t number, char* name);

}  // namespace sfx::payload
