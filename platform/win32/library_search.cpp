// Libraries that are not among the system's known ones are looked for in the
// program's own folder first. A launcher is typically run from a downloads
// folder, where anyone who could place a file could place a library of the
// right name; so the launcher imports only known system libraries statically,
// loads the rest through LoadSystemLibrary, and restricts the search for
// everything loaded later on its behalf (by the system's own libraries too).
#include "platform/library_search.h"

#include <windows.h>

#include <cstring>

#include "platform/win32/system_library_p.h"

namespace sfx::platform {
namespace {

// The search flags and the entry points are newer than the oldest systems the
// launcher starts on, so they are named here and looked up at run time.
constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
constexpr char kKernel32[] = "kernel32.dll";   // a known library: always from the system folder

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
using SetDllDirectoryFunction = BOOL(WINAPI*)(LPCSTR);

FARPROC KernelEntry(const char* name) {
  HMODULE kernel = GetModuleHandleA(kKernel32);
  return kernel == nullptr ? nullptr : GetProcAddress(kernel, name);
}

template <typename Function>
Function KernelFunction(const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(KernelEntry(name)));
}

HMODULE LoadByFullPath(const char* name) {
  char path[MAX_PATH];
  const UINT length = GetSystemDirectoryA(path, MAX_PATH);
  const std::size_t nameLength = std::strlen(name);
  // The folder, a separator, the name and the terminator must fit.
  if (length == 0 || length >= MAX_PATH || length + 1 + nameLength + 1 > MAX_PATH) return nullptr;
  path[length] = '\\';
  std::memcpy(path + length + 1, name, nameLength + 1);
  // With a full path the loader looks nowhere else for the library itself, and
  // the altered search order takes its dependencies from its own (system) folder.
  return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

void RestrictLibrarySearch() {
  if (const auto restrict = KernelFunction<SetDefaultDllDirectoriesFunction>("SetDefaultDllDirectories")) {
    if (restrict(kSearchSystem32)) return;
  }
  // Older systems: at least take the current folder out of the search.
  if (const auto setDirectory = KernelFunction<SetDllDirectoryFunction>("SetDllDirectoryA")) (void)setDirectory("");
}

HMODULE LoadSystemLibrary(const char* name) {
  // Systems without the search flags refuse it as an invalid parameter.
  if (HMODULE module = LoadLibraryExA(name, nullptr, kSearchSystem32)) return module;
  return LoadByFullPath(name);
}

}  // namespace sfx::platform
