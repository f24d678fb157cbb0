#include "platform/file.h"

#include <windows.h>

#include <cstring>
#include <new>

namespace sfx::platform {
namespace {

HANDLE ToHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

std::uint64_t FromFileTime(const FILETIME& t) {
  return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

FILETIME ToFileTime(std::uint64_t value) {
  FILETIME t;
  t.dwLowDateTime = static_cast<DWORD>(value);
  t.dwHighDateTime = static_cast<DWORD>(value >> 32);
  return t;
}

}  // namespace

FileHandle OpenFileHandle(const char* path, FileAccess access, FileCreation creation, bool temporary) {
  if (path == nullptr) return kInvalidFile;
  DWORD desired = 0;
  switch (access) {
    case FileAccess::kRead: desired = GENERIC_READ; break;
    case FileAccess::kWrite: desired = GENERIC_WRITE; break;
    case FileAccess::kReadWrite: desired = GENERIC_READ | GENERIC_WRITE; break;
  }
  const DWORD disposition = creation == FileCreation::kCreateAlways ? CREATE_ALWAYS : OPEN_EXISTING;
  const HANDLE h = CreateFileA(path, desired, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                               temporary ? FILE_ATTRIBUTE_TEMPORARY : FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return kInvalidFile;
  return reinterpret_cast<FileHandle>(h);
}

bool CloseFile(FileHandle file) { return CloseHandle(ToHandle(file)) != 0; }

bool ReadFromFile(FileHandle file, void* buffer, std::uint32_t count, std::uint32_t* done) {
  DWORD n = 0;
  if (!ReadFile(ToHandle(file), buffer, count, &n, nullptr)) return false;
  *done = n;
  return true;
}

bool WriteToFile(FileHandle file, const void* buffer, std::uint32_t count, std::uint32_t* done) {
  DWORD n = 0;
  if (!WriteFile(ToHandle(file), buffer, count, &n, nullptr)) return false;
  *done = n;
  return true;
}

bool SeekFile(FileHandle file, std::int64_t offset, std::uint32_t origin, std::uint32_t* newPosition) {
  // The target is worked out first so that a position outside 32 bits leaves
  // the file pointer where it was.
  LARGE_INTEGER base;
  base.QuadPart = 0;
  switch (origin) {
    case 0: break;
    case 1: {
      LARGE_INTEGER zero;
      zero.QuadPart = 0;
      if (!SetFilePointerEx(ToHandle(file), zero, &base, FILE_CURRENT)) return false;
      break;
    }
    case 2:
      if (!GetFileSizeEx(ToHandle(file), &base)) return false;
      break;
    default: return false;
  }
  LARGE_INTEGER target;
  target.QuadPart = base.QuadPart + offset;
  if (target.QuadPart < 0 || target.QuadPart > 0xFFFFFFFFll) return false;
  if (!SetFilePointerEx(ToHandle(file), target, nullptr, FILE_BEGIN)) return false;
  *newPosition = static_cast<std::uint32_t>(target.QuadPart);
  return true;
}

bool GetFileSize64(FileHandle file, std::uint64_t* size) {
  LARGE_INTEGER s;
  if (!GetFileSizeEx(ToHandle(file), &s)) return false;
  *size = static_cast<std::uint64_t>(s.QuadPart);
  return true;
}

bool SetEndOfFileHere(FileHandle file) { return SetEndOfFile(ToHandle(file)) != 0; }

bool GetFileTimes(FileHandle file, std::uint64_t* creation, std::uint64_t* access, std::uint64_t* write) {
  FILETIME c, a, w;
  if (!GetFileTime(ToHandle(file), &c, &a, &w)) return false;
  if (creation) *creation = FromFileTime(c);
  if (access) *access = FromFileTime(a);
  if (write) *write = FromFileTime(w);
  return true;
}

bool SetFileTimes(FileHandle file, const std::uint64_t* creation, const std::uint64_t* access,
                  const std::uint64_t* write) {
  FILETIME c, a, w;
  if (creation) c = ToFileTime(*creation);
  if (access) a = ToFileTime(*access);
  if (write) w = ToFileTime(*write);
  return SetFileTime(ToHandle(file), creation ? &c : nullptr, access ? &a : nullptr, write ? &w : nullptr) != 0;
}

bool RemoveFile(const char* path) { return path != nullptr && DeleteFileA(path) != 0; }

bool RemoveFolder(const char* path) { return path != nullptr && RemoveDirectoryA(path) != 0; }

bool MakeExecutable(const char*) { return true; }

bool MakeFolder(const char* path) { return path != nullptr && CreateDirectoryA(path, nullptr) != 0; }

MoveOutcome MoveFileTo(const char* from, const char* to) {
  if (from == nullptr || to == nullptr) return MoveOutcome::kFailed;
  if (MoveFileA(from, to)) return MoveOutcome::kMoved;
  const DWORD error = GetLastError();
  return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? MoveOutcome::kTargetExists
                                                                     : MoveOutcome::kFailed;
}

bool ReplaceFileWith(const char* from, const char* to) {
  if (from == nullptr || to == nullptr) return false;
  // Only a file replaces a file; some systems would let a folder take its place.
  const DWORD source = GetFileAttributesA(from);
  const DWORD target = GetFileAttributesA(to);
  if (source == INVALID_FILE_ATTRIBUTES || (source & FILE_ATTRIBUTE_DIRECTORY)) return false;
  if (target != INVALID_FILE_ATTRIBUTES && (target & FILE_ATTRIBUTE_DIRECTORY)) return false;
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0;
}

PathKind ProbePath(const char* path) {
  if (path == nullptr) return PathKind::kUnknown;
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::kFolder : PathKind::kFile;
  }
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND: return PathKind::kNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DIRECTORY:  // a file where a folder was expected on the way
      return PathKind::kPathNotFound;
    default: return PathKind::kUnknown;
  }
}

std::uint32_t GetTempFolder(char* buffer, std::uint32_t capacity) { return GetTempPathA(capacity, buffer); }

bool CreateUniqueTempFile(const char* folder, const char* prefix, char* name, std::uint32_t capacity) {
  // The system call writes up to MAX_PATH bytes whatever the caller's size.
  char local[MAX_PATH];
  if (GetTempFileNameA(folder, prefix, 0, local) == 0) return false;
  const std::size_t length = std::strlen(local);
  if (length + 1 > capacity) {
    DeleteFileA(local);
    return false;
  }
  std::memcpy(name, local, length + 1);
  return true;
}

struct FolderListing {
  HANDLE find;
  WIN32_FIND_DATAA data;
  bool pending;  // `data` holds an entry not yet handed out
};

FolderListing* StartFolderListing(const char* folder) {
  char pattern[MAX_PATH + 2];
  const std::size_t length = std::strlen(folder);
  if (length + 3 > sizeof pattern) return nullptr;
  std::memcpy(pattern, folder, length);
  std::size_t end = length;
  if (end > 0 && pattern[end - 1] != '\\' && pattern[end - 1] != '/') pattern[end++] = '\\';
  pattern[end++] = '*';
  pattern[end] = '\0';
  auto* listing = new (std::nothrow) FolderListing{};
  if (listing == nullptr) return nullptr;
  listing->find = FindFirstFileA(pattern, &listing->data);
  if (listing->find == INVALID_HANDLE_VALUE) {
    delete listing;
    return nullptr;
  }
  listing->pending = true;
  return listing;
}

bool NextFolderEntry(FolderListing* listing, char* name, bool* isFolder) {
  for (;;) {
    if (!listing->pending && !FindNextFileA(listing->find, &listing->data)) return false;
    listing->pending = false;
    const char* entry = listing->data.cFileName;
    if (std::strcmp(entry, ".") == 0 || std::strcmp(entry, "..") == 0) continue;
    std::memcpy(name, entry, std::strlen(entry) + 1);
    *isFolder = (listing->data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return true;
  }
}

void EndFolderListing(FolderListing* listing) {
  if (listing == nullptr) return;
  FindClose(listing->find);
  delete listing;
}

}  // namespace sfx::platform
