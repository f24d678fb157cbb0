#include "services/core/file_system.h"

#include "platform/file.h"
#include "platform/time.h"
#include "services/core/file_stream.h"
#include "services/core/memory_service.h"
#include "services/core/path_join.h"
#include "services/core/registry_p.h"

namespace sfx {
namespace {

FileSystemService g_fileSystemService;

// Buffers that hold a path of kMaxPathLength characters and its zero.
constexpr std::uint32_t kPathBufferBytes = kMaxPathLength + 1;
// The temporary-files folder must leave room for a unique name after it.
constexpr std::uint32_t kTempFolderBufferBytes = 248;
// The joined path of OpenInFolder and DeleteInFolder, with its zero.
constexpr std::uint32_t kJoinedPathBytes = kMaxPathLength;

std::uint32_t PathLength(const char* path) { return path::Length(path); }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

ServiceObject* detail::TheFileSystemService() { return &g_fileSystemService; }

Result FileSystemService::GetFileInfo(const char* path, DateTimeRecord* time, std::uint8_t* marker, int markerWanted,
                                      std::uint32_t* size) {
  if (time != nullptr || size != nullptr) {
    const platform::FileHandle file =
        platform::OpenFileHandle(path, platform::FileAccess::kRead, platform::FileCreation::kOpenExisting, false);
    if (file == platform::kInvalidFile) return kCannotOpen;
    Result result = kOk;
    if (time != nullptr) {
      std::uint64_t written = 0;
      platform::CalendarTime calendar{};
      // The write time is reported in UTC, without conversion to local time.
      if (!platform::GetFileTimes(file, nullptr, nullptr, &written) ||
          !platform::FileTimeToCalendar(written, &calendar)) {
        result = kFileTimeUnavailable;
      } else {
        time->year = calendar.year;
        time->month = static_cast<std::uint8_t>(calendar.month);
        time->day = static_cast<std::uint8_t>(calendar.day);
        time->hour = static_cast<std::uint8_t>(calendar.hour);
        time->minute = static_cast<std::uint8_t>(calendar.minute);
        time->second = static_cast<std::uint8_t>(calendar.second);
        time->hundredths = static_cast<std::uint8_t>(calendar.milliseconds / 10);
      }
    }
    if (Succeeded(result) && size != nullptr) {
      std::uint64_t full = 0;
      // Files of 4 GiB or more fail rather than report their low 32 bits.
      if (!platform::GetFileSize64(file, &full) || full > 0xFFFFFFFFu) {
        result = kFileSizeUnavailable;
      } else {
        *size = static_cast<std::uint32_t>(full);
      }
    }
    (void)platform::CloseFile(file);
    SFX_TRY(result);
  }
  if (marker != nullptr && markerWanted != 0) *marker = 0;
  return kOk;
}

Result FileSystemService::SetFileTimes(const char* path, const DateTimeRecord* time) {
  if (path == nullptr || time == nullptr) return kNullOutput;
  platform::CalendarTime calendar{};
  calendar.year = time->year;
  calendar.month = time->month;
  calendar.day = time->day;
  calendar.hour = time->hour;
  calendar.minute = time->minute;
  calendar.second = time->second;
  calendar.milliseconds = static_cast<std::uint16_t>(time->hundredths * 10u);
  std::uint64_t local = 0;
  std::uint64_t universal = 0;
  if (!platform::CalendarToFileTime(calendar, &local) || !platform::LocalFileTimeToUtc(local, &universal))
    return kFileTimeUnavailable;
  const platform::FileHandle file =
      platform::OpenFileHandle(path, platform::FileAccess::kWrite, platform::FileCreation::kOpenExisting, false);
  if (file == platform::kInvalidFile) return kCannotOpen;
  const bool set = platform::SetFileTimes(file, &universal, &universal, &universal);
  // The handle was only written times through; closing it reports nothing new.
  (void)platform::CloseFile(file);
  return set ? kOk : kFail;
}

Result FileSystemService::Open(char* path, std::uint32_t capacity, std::uint32_t mode, Stream** stream) {
  if (stream == nullptr) return kNullOutput;
  char tempName[kPathBufferBytes];
  char* name = path;
  std::uint32_t flags = 0;
  std::uint32_t length = 0;
  bool temporary = false;
  if (mode <= kOpenCreate) {
    if (path == nullptr) return kFail;
    length = PathLength(path);
    if (length > kMaxPathLength) return kPathTooLong;
  } else if (mode == kOpenTemporary) {
    std::uint32_t nameCapacity = capacity;
    if (path == nullptr) {
      name = tempName;
      nameCapacity = kPathBufferBytes;
      flags = FileStream::kDeleteOnClose;
    } else if (capacity < kMaxPathLength) {
      return kNameBufferTooSmall;
    }
    char folder[kTempFolderBufferBytes];
    const std::uint32_t folderLength = platform::GetTempFolder(folder, kTempFolderBufferBytes);
    if (folderLength == 0 || folderLength >= kTempFolderBufferBytes) return kNoTempFolder;
    if (!platform::CreateUniqueTempFile(folder, kTempFilePrefix, name, nameCapacity)) return kNoTempName;
    length = PathLength(name);
    temporary = true;
  } else {
    return kModeOutOfRange;
  }

  const platform::FileHandle file = platform::OpenFileHandle(
      name, mode == kOpenRead ? platform::FileAccess::kRead : platform::FileAccess::kReadWrite,
      mode >= kOpenCreate ? platform::FileCreation::kCreateAlways : platform::FileCreation::kOpenExisting, temporary);
  if (file == platform::kInvalidFile) {
    // A temporary file nobody will get a stream for must not stay behind.
    if (temporary) (void)platform::RemoveFile(name);
    return kFail;
  }
  FileStream* instance = nullptr;
  const Result r = FileStream::Create(file, flags, name, length, &instance);
  if (Failed(r)) {
    (void)platform::CloseFile(file);
    if (temporary) (void)platform::RemoveFile(name);
    return r;
  }
  *stream = instance;
  return kOk;
}

Result FileSystemService::Delete(const char* path) { return platform::RemoveFile(path) ? kOk : kFail; }

Result FileSystemService::OpenInFolder(const char* folder, const char* name, std::int32_t mode, Stream** stream) {
  if (mode < 0 || mode > static_cast<std::int32_t>(kOpenCreate)) return kModeOutOfRange;
  char joined[kJoinedPathBytes];
  SFX_TRY(path::Join(folder, name, joined, kJoinedPathBytes));
  return Open(joined, 0, static_cast<std::uint32_t>(mode), stream);
}

Result FileSystemService::DeleteInFolder(const char* folder, const char* name) {
  char joined[kJoinedPathBytes];
  SFX_TRY(path::Join(folder, name, joined, kJoinedPathBytes));
  return Delete(joined);
}

Result FileSystemService::Move(const char* existingPath, const char* newPath, int replace) {
  switch (platform::MoveFileTo(existingPath, newPath)) {
    case platform::MoveOutcome::kMoved: return kOk;
    case platform::MoveOutcome::kFailed: return kFail;
    case platform::MoveOutcome::kTargetExists: break;
  }
  if (replace == 0) return kMoveTargetExists;
  // One replacing move: the old target stays until the new file takes its name.
  return platform::ReplaceFileWith(existingPath, newPath) ? kOk : kFail;
}

Result FileSystemService::CreateFolders(const char* path) {
  if (path == nullptr) return kFail;
  const std::uint32_t length = PathLength(path);
  if (length > kMaxPathLength) return kPathTooLong;
  if (length == 0) return kOk;
  char buffer[kPathBufferBytes];
  (void)Memory()->Copy(buffer, path, length + 1);

  // Walk back from the full path to the longest prefix that exists, cutting
  // the buffer at each separator on the way.
  std::uint32_t end = length;
  std::uint32_t start = 0;
  for (;;) {
    const platform::PathKind kind = platform::ProbePath(buffer);
    if (kind == platform::PathKind::kFolder) {
      start = end;
      break;
    }
    if (kind == platform::PathKind::kFile) return kPathPartIsFile;
    if (kind == platform::PathKind::kUnknown) return kPathPartUnreadable;
    std::uint32_t cut = end;
    while (cut > 0 && !IsSeparator(buffer[cut - 1])) --cut;
    // No separator, a leading one, or a drive root ("C:\"): nothing left to cut.
    if (cut <= 1 || (cut >= 2 && buffer[cut - 2] == ':')) {
      start = end - 1;
      break;
    }
    end = cut - 1;
    buffer[end] = '\0';
  }

  // Create forwards, putting a backslash back at every cut.
  while (start < length) {
    if (buffer[start] == '\0') {
      buffer[start] = '\\';
      ++start;
    }
    const std::uint32_t segmentStart = start;
    while (start < length && buffer[start] != '\0') ++start;
    // Empty parts (a doubled or final separator) name a folder just made. A
    // drive root ("q:\\") is no empty part: it is tried, and fails when missing.
    if (start == segmentStart) continue;
    // buffer[start] is a cut or the final zero, so the buffer names the folder.
    if (!platform::MakeFolder(buffer)) return kCreateFolderFailed;
  }
  return kOk;
}

}  // namespace sfx
