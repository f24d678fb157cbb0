#include "platform/program_path.h"

#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace sfx::platform {
namespace {

const char* g_argv0 = nullptr;

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// A relative path is relative to the folder the program started in; the
// launcher looks for itself before it changes folder, if it ever does.
std::string Absolute(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  char cwd[4096];
  if (getcwd(cwd, sizeof cwd) == nullptr) return {};
  std::string joined = cwd;
  if (joined.back() != '/') joined += '/';
  return joined + path;
}

// The kernel's own record of the file: needs /proc, follows renames.
std::string FromProcfs() {
  char buffer[4096];
  const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof buffer) return {};
  return std::string(buffer, static_cast<std::size_t>(length));
}

// The path given to execve, kept on the initial stack by the kernel; a shell
// that searched PATH passes the path it found.
std::string FromExecPath() {
  const auto* execPath = reinterpret_cast<const char*>(getauxval(AT_EXECFN));
  if (execPath == nullptr || *execPath == '\0') return {};
  const std::string path = Absolute(execPath);
  return IsExecutableFile(path) ? path : std::string();
}

}  // namespace

void RememberProgramName(const char* argv0) { g_argv0 = argv0; }

std::string ProgramOnPath(const char* name, const char* searchPath) {
  if (name == nullptr || *name == '\0') return {};
  // A name with a slash is a path, as for execvp.
  if (std::strchr(name, '/') != nullptr) {
    const std::string path = Absolute(name);
    return IsExecutableFile(path) ? path : std::string();
  }
  if (searchPath == nullptr) return {};
  for (const char* at = searchPath;; ++at) {
    const char* end = std::strchr(at, ':');
    if (end == nullptr) end = at + std::strlen(at);
    // An empty element is the current folder.
    const std::string folder(at, end);
    const std::string candidate = Absolute(folder.empty() ? std::string(name) : folder + "/" + name);
    if (IsExecutableFile(candidate)) return candidate;
    if (*end == '\0') return {};
    at = end;
  }
}

std::string OwnProgramPath() {
  std::string path = FromProcfs();
  if (path.empty()) path = FromExecPath();
  if (path.empty()) path = ProgramOnPath(g_argv0, std::getenv("PATH"));
  return path;
}

}  // namespace sfx::platform
