// The ZIP records this service reads and writes (single disk, no ZIP64), as
// they stand in the stream: every field little-endian, each record after its
// four-byte signature. Fields are decoded from and encoded into byte arrays
// by offset, never by overlaying a struct, so the layout does not depend on
// the compiler's packing.
#pragma once

#include <cstdint>

namespace sfx::zip {

inline constexpr std::uint32_t kSignatureBytes = 4;
inline constexpr std::uint8_t kLocalHeaderSignature[kSignatureBytes] = {0x50, 0x4B, 0x03, 0x04};
inline constexpr std::uint8_t kDirectorySignature[kSignatureBytes] = {0x50, 0x4B, 0x01, 0x02};
inline constexpr std::uint8_t kEndSignature[kSignatureBytes] = {0x50, 0x4B, 0x05, 0x06};

// ---- end of central directory record, after its signature ----
inline constexpr std::uint32_t kEndRecordBytes = 18;
inline constexpr std::uint32_t kEndDiskNumber = 0;        // u16
inline constexpr std::uint32_t kEndDirectoryDisk = 2;     // u16
inline constexpr std::uint32_t kEndRecordsOnDisk = 4;     // u16
inline constexpr std::uint32_t kEndTotalRecords = 6;      // u16
inline constexpr std::uint32_t kEndDirectorySize = 8;     // u32
inline constexpr std::uint32_t kEndDirectoryOffset = 12;  // u32
inline constexpr std::uint32_t kEndCommentLength = 16;    // u16
static_assert(kEndCommentLength + 2 == kEndRecordBytes);
inline constexpr std::uint32_t kEndRecordTotalBytes = kSignatureBytes + kEndRecordBytes;  // 22

// ---- central directory record, after its signature ----
inline constexpr std::uint32_t kEntryRecordBytes = 42;
inline constexpr std::uint32_t kEntryVersionMadeBy = 0;        // u16
inline constexpr std::uint32_t kEntryVersionNeeded = 2;        // u16
inline constexpr std::uint32_t kEntryFlags = 4;                // u16
inline constexpr std::uint32_t kEntryMethod = 6;               // u16
inline constexpr std::uint32_t kEntryDosTime = 8;              // u16
inline constexpr std::uint32_t kEntryDosDate = 10;             // u16
inline constexpr std::uint32_t kEntryCrc = 12;                 // u32
inline constexpr std::uint32_t kEntryCompressedSize = 16;      // u32
inline constexpr std::uint32_t kEntryUncompressedSize = 20;    // u32
inline constexpr std::uint32_t kEntryNameLength = 24;          // u16
inline constexpr std::uint32_t kEntryExtraLength = 26;         // u16
inline constexpr std::uint32_t kEntryCommentLength = 28;       // u16
inline constexpr std::uint32_t kEntryStartDisk = 30;           // u16
inline constexpr std::uint32_t kEntryInternalAttributes = 32;  // u16
inline constexpr std::uint32_t kEntryExternalAttributes = 34;  // u32
inline constexpr std::uint32_t kEntryLocalHeaderOffset = 38;   // u32
static_assert(kEntryLocalHeaderOffset + 4 == kEntryRecordBytes);
inline constexpr std::uint32_t kEntryRecordTotalBytes = kSignatureBytes + kEntryRecordBytes;  // 46

// ---- local file header, after its signature ----
inline constexpr std::uint32_t kLocalHeaderBytes = 26;
inline constexpr std::uint32_t kLocalVersionNeeded = 0;      // u16
inline constexpr std::uint32_t kLocalFlags = 2;              // u16
inline constexpr std::uint32_t kLocalMethod = 4;             // u16
inline constexpr std::uint32_t kLocalDosTime = 6;            // u16
inline constexpr std::uint32_t kLocalDosDate = 8;            // u16
inline constexpr std::uint32_t kLocalCrc = 10;               // u32
inline constexpr std::uint32_t kLocalCompressedSize = 14;    // u32
inline constexpr std::uint32_t kLocalUncompressedSize = 18;  // u32
inline constexpr std::uint32_t kLocalNameLength = 22;        // u16
inline constexpr std::uint32_t kLocalExtraLength = 24;       // u16
static_assert(kLocalExtraLength + 2 == kLocalHeaderBytes);
inline constexpr std::uint32_t kLocalHeaderTotalBytes = kSignatureBytes + kLocalHeaderBytes;  // 30

// ---- field values ----
inline constexpr std::uint16_t kFlagEncrypted = 1u << 0;
// Sizes and CRC follow the data; the local header holds zeros for them.
inline constexpr std::uint16_t kFlagDataDescriptor = 1u << 3;
inline constexpr std::uint16_t kMethodDeflate = 8;
inline constexpr std::uint16_t kVersionNeededDeflate = 10;
inline constexpr std::uint32_t kMaxNameLength = 0xFFFF;

// ---- DOS time and date ----
// time: bits 0-4 second / 2, 5-10 minute, 11-15 hour.
// date: bits 0-4 day, 5-8 month, 9-15 year - 1980.
inline constexpr std::uint32_t kDosYearBase = 1980;
inline constexpr std::uint32_t kDosYearLast = 2099;

inline std::uint16_t Get16(const std::uint8_t* p, std::uint32_t at) {
  return static_cast<std::uint16_t>(p[at] | p[at + 1] << 8);
}
inline std::uint32_t Get32(const std::uint8_t* p, std::uint32_t at) {
  return static_cast<std::uint32_t>(p[at]) | static_cast<std::uint32_t>(p[at + 1]) << 8 |
         static_cast<std::uint32_t>(p[at + 2]) << 16 | static_cast<std::uint32_t>(p[at + 3]) << 24;
}
inline void Put16(std::uint8_t* p, std::uint32_t at, std::uint32_t v) {
  p[at] = static_cast<std::uint8_t>(v);
  p[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Put32(std::uint8_t* p, std::uint32_t at, std::uint32_t v) {
  for (std::uint32_t i = 0; i < 4; ++i) p[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace sfx::zip
