// The checks a record must pass before anything of it is used, in one place
// for the launcher (which fails the record silently, or names the step in a
// message box) and the tool (which says in words what is wrong). Every byte
// of a record is untrusted.
#pragma once

#include <cstdint>

#include "payload/records.h"
#include "platform/file.h"

namespace sfx::payload {

// What is wrong with a file record, in the order the checks run: the first
// fault found is the one reported.
enum class RecordFault : std::uint8_t {
  kNone,
  // The layout: found before anything of the record is used.
  kTooShort,      // no room for the header and a name
  kSizeMismatch,  // not exactly the header, the name and the stored bytes
  kEmptyName,
  kUnsafeName,  // could reach outside the folder, or is not allowed (names.h)
  // What the header says.
  kBadTimeStamp,       // not a calendar time from 1601 on
  kFolderWithContent,  // a folder entry with a size, CRC or stored bytes
  kUnknownMethod,      // a file entry neither stored nor DEFLATE
  // The content, once decoded (CheckContent).
  kDecodedSizeMismatch,
  kCrcMismatch,
};

inline bool IsLayoutFault(RecordFault fault) {
  return fault >= RecordFault::kTooShort && fault <= RecordFault::kUnsafeName;
}

// A file record's parts, pointing into the record's bytes. Filled as far as
// the checks got.
struct FileRecord {
  FileHeader header{};
  const char* name = nullptr;          // header.nameLength bytes, no terminating zero
  const std::uint8_t* data = nullptr;  // header.storedSize bytes
  bool isFolder = false;
};

// `refuseDeviceNames`: names' device parts (CON, AUX.txt, ...) are refused,
// as where they are devices; see IsSafeEntryName.
RecordFault CheckFileRecord(const std::uint8_t* bytes, std::uint32_t size, FileRecord* record,
                            bool refuseDeviceNames = platform::kDeviceNamesReserved);

// What is wrong with the setup record.
enum class SetupFault : std::uint8_t {
  kNone,
  kTooShort,           // shorter than its header
  kSizeMismatch,       // not exactly the header and its three texts
  kUnsafeProgramName,  // could start a program outside the folder
  kNoProgramFile,      // empty, or names a folder: nothing could be started
};

struct SetupRecord {
  SetupHeader header{};
  const char* title = nullptr;  // header.titleLength bytes, no terminating zero
  const char* program = nullptr;
  const char* arguments = nullptr;
};

// The launcher accepts kNoProgramFile (starting the program simply fails
// later); the tool refuses it.
SetupFault CheckSetupRecord(const std::uint8_t* bytes, std::uint32_t size, SetupRecord* record,
                            bool refuseDeviceNames = platform::kDeviceNamesReserved);

}  // namespace sfx::payload
