// Field offsets and constants of Windows executables (PE32, and PE32+ for the
// 64-bit build that the Windows tests run under 64-bit Wine), gathered
// in one place and named after the format's own fields. Offsets are relative
// to the start of the structure they belong to; every integer is
// little-endian.
#pragma once

#include <cstdint>
#include <cstring>

#include "payload/byte_order.h"

namespace sfx::pe {

// ---- DOS header ----
inline constexpr std::uint32_t kDosHeaderSize = 64;
inline constexpr std::uint32_t kDosMagicOffset = 0;      // u16 "MZ"
inline constexpr std::uint32_t kDosLfanewOffset = 0x3C;  // u32, file offset of "PE\0\0"
inline constexpr std::uint16_t kDosMagic = 0x5A4D;

// ---- "PE\0\0" and the COFF file header that follows it ----
inline constexpr std::uint32_t kPeSignature = 0x00004550;
inline constexpr std::uint32_t kSignatureSize = 4;
inline constexpr std::uint32_t kFileHeaderSize = 20;
inline constexpr std::uint32_t kFhMachine = 0;                // u16
inline constexpr std::uint32_t kFhNumberOfSections = 2;       // u16
inline constexpr std::uint32_t kFhPointerToSymbolTable = 8;   // u32, file offset or 0
inline constexpr std::uint32_t kFhSizeOfOptionalHeader = 16;  // u16
inline constexpr std::uint16_t kMachineI386 = 0x014C;
inline constexpr std::uint16_t kMachineAmd64 = 0x8664;

// ---- PE32 optional header ----
inline constexpr std::uint32_t kOhMagic = 0;                  // u16
inline constexpr std::uint32_t kOhSizeOfInitializedData = 8;  // u32
inline constexpr std::uint32_t kOhSectionAlignment = 32;      // u32
inline constexpr std::uint32_t kOhFileAlignment = 36;         // u32
inline constexpr std::uint32_t kOhSizeOfImage = 56;           // u32
inline constexpr std::uint32_t kOhSizeOfHeaders = 60;         // u32
inline constexpr std::uint32_t kOhCheckSum = 64;              // u32
inline constexpr std::uint32_t kOhNumberOfRvaAndSizes = 92;   // u32
inline constexpr std::uint32_t kOhDataDirectories = 96;       // 8 bytes each: u32 rva, u32 size
inline constexpr std::uint16_t kPe32Magic = 0x010B;
// PE32+ moves only the fields after the 64-bit image base and stack sizes:
// the count of data directories and the directories themselves.
inline constexpr std::uint16_t kPe32PlusMagic = 0x020B;
inline constexpr std::uint32_t kOhPlusNumberOfRvaAndSizes = 108;  // u32
inline constexpr std::uint32_t kOhPlusDataDirectories = 112;
inline constexpr std::uint32_t kDataDirectorySize = 8;
inline constexpr std::uint32_t kDirResource = 2;
inline constexpr std::uint32_t kDirSecurity = 4;  // its "rva" is a file offset
inline constexpr std::uint32_t kDirDebug = 6;

// ---- debug directory entries ----
inline constexpr std::uint32_t kDebugEntrySize = 28;
inline constexpr std::uint32_t kDebugPointerToRawData = 24;  // u32, a file offset

// ---- section header ----
inline constexpr std::uint32_t kSectionHeaderSize = 40;
inline constexpr std::uint32_t kShName = 0;  // 8 bytes, zero-padded
inline constexpr std::uint32_t kShVirtualSize = 8;
inline constexpr std::uint32_t kShVirtualAddress = 12;
inline constexpr std::uint32_t kShSizeOfRawData = 16;
inline constexpr std::uint32_t kShPointerToRawData = 20;
inline constexpr std::uint32_t kShCharacteristics = 36;
inline constexpr std::uint32_t kScnInitializedData = 0x00000040;
inline constexpr std::uint32_t kScnMemRead = 0x40000000;

// ---- resource directory tree (three levels: type, name, language) ----
inline constexpr std::uint32_t kRdHeaderSize = 16;
inline constexpr std::uint32_t kRdNumberOfNamedEntries = 12;  // u16
inline constexpr std::uint32_t kRdNumberOfIdEntries = 14;     // u16
inline constexpr std::uint32_t kRdEntrySize = 8;              // u32 name or id, u32 offset
inline constexpr std::uint32_t kRdHighBit = 0x80000000u;      // name is a string / offset is a directory
inline constexpr std::uint32_t kRdDataEntrySize = 16;         // u32 rva, u32 size, u32 code page, u32 reserved
inline constexpr std::uint32_t kRdLevels = 3;

inline constexpr std::uint16_t kRtIcon = 3;
inline constexpr std::uint16_t kRtDialog = 5;
inline constexpr std::uint16_t kRtRcData = 10;
inline constexpr std::uint16_t kRtGroupIcon = 14;

// ---- little-endian access to bytes whose bounds the caller has checked ----
using payload::LoadU16;
using payload::LoadU32;
using payload::StoreU16;
using payload::StoreU32;

// Rounds up to a power-of-two alignment; the caller keeps the result within
// 64 bits.
inline std::uint64_t AlignUp(std::uint64_t value, std::uint32_t alignment) {
  return (value + alignment - 1) & ~static_cast<std::uint64_t>(alignment - 1);
}

}  // namespace sfx::pe
