// Named files and folders: opening files as streams, unique temporary files,
// deleting and moving files, creating folder paths and reading a file's
// time stamp and size.
//
// Paths are zero-terminated single-byte strings of at most kMaxPathLength
// characters; both backslash and slash separate their parts.
#pragma once

#include <cstdint>

#include "services/core/service.h"
#include "services/core/stream.h"

namespace sfx {

inline constexpr std::uint32_t kMaxPathLength = 259;

// Codes of the file system facility.
inline constexpr Result kPathTooLong = FailureCode(facility::kFileSystem, 0x0001);
inline constexpr Result kNameBufferTooSmall = FailureCode(facility::kFileSystem, 0x0002);
inline constexpr Result kNoTempFolder = FailureCode(facility::kFileSystem, 0x0003);
inline constexpr Result kNoTempName = FailureCode(facility::kFileSystem, 0x0004);
inline constexpr Result kFileTimeUnavailable = FailureCode(facility::kFileSystem, 0x0005);
inline constexpr Result kFileSizeUnavailable = FailureCode(facility::kFileSystem, 0x0006);
inline constexpr Result kMoveTargetExists = FailureCode(facility::kFileSystem, 0x0008);
inline constexpr Result kPathPartIsFile = FailureCode(facility::kFileSystem, 0x0009);
inline constexpr Result kCreateFolderFailed = FailureCode(facility::kFileSystem, 0x000A);
inline constexpr Result kPathPartUnreadable = FailureCode(facility::kFileSystem, 0x000B);

enum FileOpenMode : std::uint32_t {
  kOpenRead = 0,       // an existing file, read only
  kOpenReadWrite = 1,  // an existing file
  kOpenCreate = 2,     // create, or empty an existing file; read and write
  kOpenTemporary = 3,  // a new unique file in the temporary-files folder
};

// The name prefix of the library's temporary files.
inline constexpr char kTempFilePrefix[] = "iii";

// The shared 8-byte time stamp.
struct DateTimeRecord {
  std::uint16_t year;
  std::uint8_t month;
  std::uint8_t day;
  std::uint8_t hour;
  std::uint8_t minute;
  std::uint8_t second;
  std::uint8_t hundredths;
};
static_assert(sizeof(DateTimeRecord) == 8);

class FileSystemService : public ServiceObject {
 public:
  // 1. Each output optional; only time and size touch the file. The time is
  //    the last write, in UTC. The marker is always reported as 0.
  //    kCannotOpen, kFileTimeUnavailable, kFileSizeUnavailable (also for files
  //    of 4 GiB or more).
  virtual Result GetFileInfo(const char* path, DateTimeRecord* time, std::uint8_t* marker, int markerWanted,
                             std::uint32_t* size);
  // 2. Modes 0-2 open `path`. Mode 3 makes a temporary file: with `path` null
  //    it is deleted when the stream closes; otherwise `path` is a buffer of
  //    `capacity` (at least kMaxPathLength) bytes that receives the name and
  //    the file stays.
  virtual Result Open(char* path, std::uint32_t capacity, std::uint32_t mode, Stream** stream);
  // 3. kFail when the file cannot be deleted.
  virtual Result Delete(const char* path);
  // 4. Modes 0-2 only; the joined path must fit kMaxPathLength - 1 characters.
  virtual Result OpenInFolder(const char* folder, const char* name, std::int32_t mode, Stream** stream);
  // 5.
  virtual Result DeleteInFolder(const char* folder, const char* name);
  // 6. kMoveTargetExists when `newPath` exists and replace is 0; with replace
  //    the target is swapped in one step, never lost.
  virtual Result Move(const char* existingPath, const char* newPath, int replace);
  // 7. Creates every missing folder along `path`, parent first.
  virtual Result CreateFolders(const char* path);
  // 8. Gives the file at `path` the local time `time` as its creation, access
  //    and write time. kFileTimeUnavailable when the time is no calendar time
  //    or has no universal equivalent, kCannotOpen when the file cannot be
  //    opened for writing, kFail when the system refuses the times.
  virtual Result SetFileTimes(const char* path, const DateTimeRecord* time);
  virtual Result ReservedLast() { return kFail; }

  // Open for modes 0-2, which only read the path.
  Result OpenPath(const char* path, std::uint32_t mode, Stream** stream) {
    return mode <= kOpenCreate ? Open(const_cast<char*>(path), 0, mode, stream) : kModeOutOfRange;
  }

  FileSystemService() = default;
};

inline FileSystemService* FileSystem() { return Service<FileSystemService>(Slot::kFileSystem); }

}  // namespace sfx
