// Files and folders on the operating system's file system.
//
// Paths are zero-terminated single-byte strings. Both backslash and slash
// separate path parts on every target (on POSIX a backslash is turned into a
// slash before the system sees the path). Every file is opened shared for
// reading and writing with other openers. Sizes and positions the services
// see are 32-bit; the calls below report what does not fit as a failure
// instead of cutting it.
#pragma once

#include <cstdint>

namespace sfx::platform {

// The separator the system writes between path parts.
// Whether names such as CON, NUL or AUX.txt are devices rather than files.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
inline constexpr bool kDeviceNamesReserved = true;
#else
inline constexpr char kPathSeparator = '/';
inline constexpr bool kDeviceNamesReserved = false;
#endif

// An open file; kInvalidFile when none.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kInvalidFile = -1;

enum class FileAccess { kRead, kWrite, kReadWrite };
enum class FileCreation {
  kOpenExisting,  // fail when the file does not exist
  kCreateAlways,  // create, or empty an existing file
};

// The longest path a fixed path buffer of the services holds, with its zero.
inline constexpr std::uint32_t kMaxPathBytes = 260;

// kInvalidFile on failure. `temporary` marks the file as short-lived where
// the system has such an attribute (a hint only).
FileHandle OpenFileHandle(const char* path, FileAccess access, FileCreation creation, bool temporary);
// False when the system reports a failure, including one deferred from an
// earlier write. The handle is gone either way.
bool CloseFile(FileHandle file);

// `done` receives the bytes transferred; a short count at the end of the file
// is no failure.
bool ReadFromFile(FileHandle file, void* buffer, std::uint32_t count, std::uint32_t* done);
bool WriteToFile(FileHandle file, const void* buffer, std::uint32_t count, std::uint32_t* done);

// origin 0 start, 1 current position, 2 end. Fails (and
// leaves the position alone) when the new position would be negative or not
// fit in 32 bits.
bool SeekFile(FileHandle file, std::int64_t offset, std::uint32_t origin, std::uint32_t* newPosition);
// The full size, which may exceed 32 bits.
bool GetFileSize64(FileHandle file, std::uint64_t* size);
// Cuts or extends the file at the current position.
bool SetEndOfFileHere(FileHandle file);

// File times: 100-nanosecond units since 1601-01-01 UTC. A null pointer
// leaves that time alone (or is not wanted). Systems without a creation time
// ignore it when setting and report the change time instead.
bool GetFileTimes(FileHandle file, std::uint64_t* creation, std::uint64_t* access, std::uint64_t* write);
bool SetFileTimes(FileHandle file, const std::uint64_t* creation, const std::uint64_t* access,
                  const std::uint64_t* write);

bool RemoveFile(const char* path);
// Removes an empty folder.
bool RemoveFolder(const char* path);
// Lets whoever may read the file run it (POSIX systems); true on Windows,
// where running depends on the name.
bool MakeExecutable(const char* path);
// Makes one folder; its parent must exist and the folder must not.
bool MakeFolder(const char* path);

enum class MoveOutcome { kMoved, kTargetExists, kFailed };
// Moves a file or folder; never replaces an existing target. Files may move
// across volumes.
MoveOutcome MoveFileTo(const char* from, const char* to);
// Moves a file onto `to`, replacing an existing file in one step: at every
// moment `to` names either the old file or the new one.
bool ReplaceFileWith(const char* from, const char* to);

enum class PathKind {
  kFile,
  kFolder,
  kNotFound,      // the last part is missing, its folder exists
  kPathNotFound,  // a folder along the way is missing or is a file
  kUnknown,       // cannot be examined (access denied, bad name, ...)
};
PathKind ProbePath(const char* path);

// Writes the temporary-files folder with a final separator and returns its
// length. When it does not fit (with its zero) the needed size is returned
// and nothing is written; 0 on failure.
std::uint32_t GetTempFolder(char* buffer, std::uint32_t capacity);
// Creates a new empty file in `folder` named from up to three characters of
// `prefix`, four hexadecimal digits and ".tmp", and writes its full name
// (kMaxPathBytes fit always) into `name`. False when no name could be had or
// it does not fit in `capacity`.
bool CreateUniqueTempFile(const char* folder, const char* prefix, char* name, std::uint32_t capacity);

// Lists the entries of a folder, without "." and "..". Start fails when the
// folder cannot be read; Next fills `name` (kMaxPathBytes) and returns false
// at the end.
struct FolderListing;
FolderListing* StartFolderListing(const char* folder);
bool NextFolderEntry(FolderListing* listing, char* name, bool* isFolder);
void EndFolderListing(FolderListing* listing);

}  // namespace sfx::platform
