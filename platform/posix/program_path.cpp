#include "platform/program_path.h"

#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/posix/program_path_p.h"

namespace sfx::platform {
namespace detail {
namespace {

const char* g_argv0 = nullptr;

bool IsExecutableFile(const char* path) {
  struct stat st {};
  return stat(path, &st) == 0 && S_ISREG(st.st_mode) && access(path, X_OK) == 0;
}

// Appends `length` bytes; false when they and the terminator do not fit.
bool Append(char* path, std::size_t* used, const char* text, std::size_t length) {
  if (length >= kMaxProgramPath - *used) return false;
  std::memcpy(path + *used, text, length);
  *used += length;
  path[*used] = '\0';
  return true;
}

// `folder` (empty: none) and `name` joined. A relative path is relative to
// the folder the program started in; the launcher looks for itself before it
// changes folder, if it ever does. False when the path does not fit.
bool AbsolutePath(const char* folder, std::size_t folderLength, const char* name, char* path) {
  std::size_t used = 0;
  path[0] = '\0';
  if ((folderLength > 0 ? *folder : *name) != '/') {
    if (getcwd(path, kMaxProgramPath) == nullptr) return false;
    used = std::strlen(path);
    if ((used == 0 || path[used - 1] != '/') && !Append(path, &used, "/", 1)) return false;
  }
  if (folderLength > 0 && (!Append(path, &used, folder, folderLength) || !Append(path, &used, "/", 1))) return false;
  return Append(path, &used, name, std::strlen(name));
}

// The kernel's own record of the file: needs /proc, follows renames.
bool FromProcfs(char* path) {
  const ssize_t length = readlink("/proc/self/exe", path, kMaxProgramPath);
  if (length <= 0 || static_cast<std::size_t>(length) >= kMaxProgramPath) return false;
  path[length] = '\0';
  return true;
}

// The path given to execve, kept on the initial stack by the kernel; a shell
// that searched PATH passes the path it found.
bool FromExecPath(char* path) {
  const auto* execPath = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
  if (execPath == nullptr || *execPath == '\0') return false;
  return AbsolutePath(nullptr, 0, execPath, path) && IsExecutableFile(path);
}

}  // namespace

void FindProgramOnPath(const char* name, const char* searchPath, char* path) {
  path[0] = '\0';
  if (name == nullptr || *name == '\0') return;
  // A name with a slash is a path, as for execvp.
  if (std::strchr(name, '/') != nullptr) {
    if (!AbsolutePath(nullptr, 0, name, path) || !IsExecutableFile(path)) path[0] = '\0';
    return;
  }
  if (searchPath == nullptr) return;
  for (const char* at = searchPath;; ++at) {
    const char* end = std::strchr(at, ':');
    if (end == nullptr) end = at + std::strlen(at);
    // An empty element is the current folder.
    if (AbsolutePath(at, static_cast<std::size_t>(end - at), name, path) && IsExecutableFile(path)) return;
    path[0] = '\0';
    if (*end == '\0') return;
    at = end;
  }
}

void FindOwnProgramPath(char* path) {
  if (FromProcfs(path) || FromExecPath(path)) return;
  FindProgramOnPath(g_argv0, std::getenv("PATH"), path);
}

}  // namespace detail

void RememberProgramName(const char* argv0) { detail::g_argv0 = argv0; }

std::string ProgramOnPath(const char* name, const char* searchPath) {
  char path[detail::kMaxProgramPath];
  detail::FindProgramOnPath(name, searchPath, path);
  return path;
}

std::string OwnProgramPath() {
  char path[detail::kMaxProgramPath];
  detail::FindOwnProgramPath(path);
  return path;
}

}  // namespace sfx::platform
