#include "platform/file.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

namespace sfx::platform {
namespace {

constexpr std::uint64_t kUnixEpochInFileTime = 116444736000000000ull;  // 1970-01-01 in 100 ns since 1601
constexpr std::uint64_t kFileTimeUnitsPerSecond = 10000000ull;

// A path in the system's form: backslashes become slashes. Paths longer than
// the system allows are refused here rather than cut.
class NativePath {
 public:
  explicit NativePath(const char* path) {
    if (path == nullptr) return;
    std::size_t i = 0;
    for (; path[i] != '\0'; ++i) {
      if (i + 1 >= sizeof(text_)) return;
      text_[i] = path[i] == '\\' ? '/' : path[i];
    }
    text_[i] = '\0';
    ok_ = true;
  }
  bool ok() const { return ok_; }
  const char* c_str() const { return text_; }
  char* data() { return text_; }

 private:
  char text_[PATH_MAX];
  bool ok_ = false;
};

int ToFd(FileHandle file) { return static_cast<int>(file); }

std::uint64_t ToFileTime(const timespec& t) {
  const auto seconds = static_cast<std::int64_t>(t.tv_sec);
  const std::int64_t units = seconds * static_cast<std::int64_t>(kFileTimeUnitsPerSecond) + t.tv_nsec / 100 +
                             static_cast<std::int64_t>(kUnixEpochInFileTime);
  return units < 0 ? 0 : static_cast<std::uint64_t>(units);
}

timespec FromFileTime(std::uint64_t fileTime) {
  const std::int64_t units = static_cast<std::int64_t>(fileTime) - static_cast<std::int64_t>(kUnixEpochInFileTime);
  std::int64_t seconds = units / static_cast<std::int64_t>(kFileTimeUnitsPerSecond);
  std::int64_t rest = units % static_cast<std::int64_t>(kFileTimeUnitsPerSecond);
  if (rest < 0) {
    rest += static_cast<std::int64_t>(kFileTimeUnitsPerSecond);
    --seconds;
  }
  timespec t{};
  t.tv_sec = static_cast<time_t>(seconds);
  t.tv_nsec = static_cast<long>(rest * 100);
  return t;
}

bool WriteAll(int fd, const char* data, std::size_t count) {
  while (count > 0) {
    const ssize_t n = ::write(fd, data, count);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    count -= static_cast<std::size_t>(n);
  }
  return true;
}

// Copies a regular file's bytes, mode and times into a new file beside `to`
// and renames that onto `to`, so `to` never holds a partial copy. Used when
// a move crosses file systems.
bool CopyIntoPlace(const char* from, const char* to, bool replace) {
  const int in = ::open(from, O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st {};
  if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(in);
    return false;
  }
  char staging[PATH_MAX];
  if (std::snprintf(staging, sizeof staging, "%s.XXXXXX", to) >= static_cast<int>(sizeof staging)) {
    ::close(in);
    return false;
  }
  const int out = ::mkstemp(staging);
  if (out < 0) {
    ::close(in);
    return false;
  }
  bool ok = true;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    if (!WriteAll(out, buffer, static_cast<std::size_t>(n))) {
      ok = false;
      break;
    }
  }
  ::close(in);
  if (ok) ok = ::fchmod(out, st.st_mode & 07777) == 0;
  if (ok) {
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ok = ::futimens(out, times) == 0;
  }
  if (::close(out) != 0) ok = false;
  if (ok) {
    // link() refuses an existing target, which keeps the no-replace promise.
    ok = replace ? ::rename(staging, to) == 0 : ::link(staging, to) == 0;
  }
  const int linkError = errno;
  if (!ok || !replace) ::unlink(staging);
  if (!ok) {
    errno = linkError;
    return false;
  }
  return ::unlink(from) == 0;
}

}  // namespace

FileHandle OpenFileHandle(const char* path, FileAccess access, FileCreation creation, bool) {
  NativePath native(path);
  if (!native.ok()) return kInvalidFile;
  int flags = O_CLOEXEC;
  switch (access) {
    case FileAccess::kRead: flags |= O_RDONLY; break;
    case FileAccess::kWrite: flags |= O_WRONLY; break;
    case FileAccess::kReadWrite: flags |= O_RDWR; break;
  }
  if (creation == FileCreation::kCreateAlways) flags |= O_CREAT | O_TRUNC;
  int fd;
  do {
    fd = ::open(native.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return kInvalidFile;
  // Folders open fine for reading on POSIX; as files they are refused.
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return kInvalidFile;
  }
  return fd;
}

bool CloseFile(FileHandle file) {
  // The descriptor is released even when close reports an error; retrying
  // could close a descriptor another thread has just been given.
  return ::close(ToFd(file)) == 0;
}

bool ReadFromFile(FileHandle file, void* buffer, std::uint32_t count, std::uint32_t* done) {
  std::uint32_t total = 0;
  auto* out = static_cast<char*>(buffer);
  while (total < count) {
    const ssize_t n = ::read(ToFd(file), out + total, count - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) break;
    total += static_cast<std::uint32_t>(n);
  }
  *done = total;
  return true;
}

bool WriteToFile(FileHandle file, const void* buffer, std::uint32_t count, std::uint32_t* done) {
  std::uint32_t total = 0;
  const auto* in = static_cast<const char*>(buffer);
  while (total < count) {
    const ssize_t n = ::write(ToFd(file), in + total, count - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (total > 0 && errno == ENOSPC) break;  // report the bytes that did land
      return false;
    }
    if (n == 0) break;
    total += static_cast<std::uint32_t>(n);
  }
  *done = total;
  return true;
}

bool SeekFile(FileHandle file, std::int64_t offset, std::uint32_t origin, std::uint32_t* newPosition) {
  std::int64_t base;
  switch (origin) {
    case 0: base = 0; break;
    case 1: {
      const off_t here = ::lseek(ToFd(file), 0, SEEK_CUR);
      if (here < 0) return false;
      base = here;
      break;
    }
    case 2: {
      struct stat st {};
      if (::fstat(ToFd(file), &st) != 0) return false;
      base = st.st_size;
      break;
    }
    default: return false;
  }
  const std::int64_t target = base + offset;
  if (target < 0 || target > 0xFFFFFFFFll) return false;
  if (::lseek(ToFd(file), static_cast<off_t>(target), SEEK_SET) < 0) return false;
  *newPosition = static_cast<std::uint32_t>(target);
  return true;
}

bool GetFileSize64(FileHandle file, std::uint64_t* size) {
  struct stat st {};
  if (::fstat(ToFd(file), &st) != 0) return false;
  *size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

bool SetEndOfFileHere(FileHandle file) {
  const off_t here = ::lseek(ToFd(file), 0, SEEK_CUR);
  return here >= 0 && ::ftruncate(ToFd(file), here) == 0;
}

bool GetFileTimes(FileHandle file, std::uint64_t* creation, std::uint64_t* access, std::uint64_t* write) {
  struct stat st {};
  if (::fstat(ToFd(file), &st) != 0) return false;
  if (creation) *creation = ToFileTime(st.st_ctim);
  if (access) *access = ToFileTime(st.st_atim);
  if (write) *write = ToFileTime(st.st_mtim);
  return true;
}

bool SetFileTimes(FileHandle file, const std::uint64_t*, const std::uint64_t* access, const std::uint64_t* write) {
  timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1] = times[0];
  if (access) times[0] = FromFileTime(*access);
  if (write) times[1] = FromFileTime(*write);
  return ::futimens(ToFd(file), times) == 0;
}

bool RemoveFile(const char* path) {
  NativePath native(path);
  if (!native.ok()) return false;
  struct stat st {};
  // Like the Windows call, this removes files only.
  if (::lstat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return false;
  return ::unlink(native.c_str()) == 0;
}

bool RemoveFolder(const char* path) {
  NativePath native(path);
  return native.ok() && ::rmdir(native.c_str()) == 0;
}

bool MakeExecutable(const char* path) {
  NativePath native(path);
  struct stat st {};
  if (!native.ok() || ::stat(native.c_str(), &st) != 0) return false;
  // Execute follows read: the umask already chose who may read.
  const mode_t read = st.st_mode & (S_IRUSR | S_IRGRP | S_IROTH);
  return ::chmod(native.c_str(), (st.st_mode & 07777) | (read >> 2)) == 0;
}

bool MakeFolder(const char* path) {
  NativePath native(path);
  return native.ok() && ::mkdir(native.c_str(), 0777) == 0;
}

MoveOutcome MoveFileTo(const char* from, const char* to) {
  NativePath source(from), target(to);
  if (!source.ok() || !target.ok()) return MoveOutcome::kFailed;
  if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
    return MoveOutcome::kMoved;
  }
  int error = errno;
  if (error == EINVAL || error == ENOSYS) {
    // The file system cannot refuse an existing target by itself. A hard link
    // can (files only); a folder is checked first and then renamed.
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0) return MoveOutcome::kTargetExists;
    if (::lstat(source.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      return ::rename(source.c_str(), target.c_str()) == 0 ? MoveOutcome::kMoved : MoveOutcome::kFailed;
    }
    if (::link(source.c_str(), target.c_str()) == 0) {
      ::unlink(source.c_str());
      return MoveOutcome::kMoved;
    }
    error = errno;
  }
  if (error == EEXIST || error == ENOTEMPTY) return MoveOutcome::kTargetExists;
  if (error == EXDEV) {
    if (CopyIntoPlace(source.c_str(), target.c_str(), false)) return MoveOutcome::kMoved;
    return errno == EEXIST ? MoveOutcome::kTargetExists : MoveOutcome::kFailed;
  }
  return MoveOutcome::kFailed;
}

bool ReplaceFileWith(const char* from, const char* to) {
  NativePath source(from), target(to);
  if (!source.ok() || !target.ok()) return false;
  struct stat st {};
  // Only a file replaces a file: rename() would also put a folder in place of
  // an empty folder.
  if (::lstat(source.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  if (::lstat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return false;
  if (::rename(source.c_str(), target.c_str()) == 0) return true;
  return errno == EXDEV && CopyIntoPlace(source.c_str(), target.c_str(), true);
}

PathKind ProbePath(const char* path) {
  NativePath native(path);
  if (!native.ok()) return PathKind::kUnknown;
  struct stat st {};
  if (::stat(native.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? PathKind::kFolder : PathKind::kFile;
  if (errno == ENOTDIR) return PathKind::kPathNotFound;
  if (errno != ENOENT) return PathKind::kUnknown;
  // Missing: the last part alone, or a folder on the way?
  char* text = native.data();
  std::size_t end = std::strlen(text);
  while (end > 1 && text[end - 1] == '/') --end;  // "a/b/" names "a/b"
  while (end > 0 && text[end - 1] != '/') --end;
  if (end == 0) return PathKind::kNotFound;  // relative, in the current folder
  text[end == 1 ? 1 : end - 1] = '\0';
  if (::stat(text, &st) == 0 && S_ISDIR(st.st_mode)) return PathKind::kNotFound;
  return PathKind::kPathNotFound;
}

std::uint32_t GetTempFolder(char* buffer, std::uint32_t capacity) {
  const char* folder = std::getenv("TMPDIR");
  if (folder == nullptr || folder[0] == '\0') folder = "/tmp";
  const std::size_t length = std::strlen(folder);
  const bool needsSeparator = folder[length - 1] != '/';
  const std::size_t total = length + (needsSeparator ? 1 : 0);
  if (total >= 0xFFFFFFFFu) return 0;
  if (total + 1 > capacity) return static_cast<std::uint32_t>(total + 1);
  std::memcpy(buffer, folder, length);
  if (needsSeparator) buffer[length] = '/';
  buffer[total] = '\0';
  return static_cast<std::uint32_t>(total);
}

bool CreateUniqueTempFile(const char* folder, const char* prefix, char* name, std::uint32_t capacity) {
  const std::size_t folderLength = std::strlen(folder);
  // A separator is added when the folder lacks one, as on Windows.
  const bool needsSeparator = folderLength > 0 && folder[folderLength - 1] != '/' && folder[folderLength - 1] != '\\';
  char shortPrefix[4] = {};
  for (int i = 0; i < 3 && prefix != nullptr && prefix[i] != '\0'; ++i) shortPrefix[i] = prefix[i];
  // Start at a number that differs between processes and calls, then walk.
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  unsigned start = static_cast<unsigned>(now.tv_nsec / 1000) ^ static_cast<unsigned>(::getpid());
  for (unsigned attempt = 0; attempt < 0x10000u; ++attempt) {
    const unsigned number = ((start + attempt) & 0xFFFFu) == 0 ? 1 : ((start + attempt) & 0xFFFFu);
    char candidate[PATH_MAX];
    const int length = std::snprintf(candidate, sizeof candidate, "%s%s%s%04X.tmp", folder, needsSeparator ? "/" : "",
                                     shortPrefix, number);
    if (length < 0 || static_cast<std::size_t>(length) + 1 > capacity ||
        static_cast<std::size_t>(length) + 1 > sizeof candidate) {
      return false;
    }
    NativePath native(candidate);
    if (!native.ok()) return false;
    const int fd = ::open(native.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0) {
      ::close(fd);
      std::memcpy(name, candidate, static_cast<std::size_t>(length) + 1);
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

struct FolderListing {
  DIR* dir;
};

FolderListing* StartFolderListing(const char* folder) {
  NativePath native(folder);
  if (!native.ok()) return nullptr;
  auto* listing = new (std::nothrow) FolderListing{};
  if (listing == nullptr) return nullptr;
  listing->dir = ::opendir(native.c_str());
  if (listing->dir == nullptr) {
    delete listing;
    return nullptr;
  }
  return listing;
}

bool NextFolderEntry(FolderListing* listing, char* name, bool* isFolder) {
  for (;;) {
    const dirent* entry = ::readdir(listing->dir);
    if (entry == nullptr) return false;
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    const std::size_t length = std::strlen(entry->d_name);
    if (length + 1 > kMaxPathBytes) continue;  // cannot be named through a path buffer anyway
    std::memcpy(name, entry->d_name, length + 1);
    struct stat st {};
    *isFolder = ::fstatat(::dirfd(listing->dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
    return true;
  }
}

void EndFolderListing(FolderListing* listing) {
  if (listing == nullptr) return;
  ::closedir(listing->dir);
  delete listing;
}

}  // namespace sfx::platform
