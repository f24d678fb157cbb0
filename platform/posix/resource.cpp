#include "platform/resource.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/posix/program_path_p.h"

namespace sfx::platform {
namespace {

// This executable, for reading its payload. /proc/self/exe holds even after
// a rename; without /proc (a bare chroot, an early boot stage) the path the
// program was started by has to do.
int OpenOwnFile() {
  int fd = open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) return fd;
  char path[detail::kMaxProgramPath];
  detail::FindOwnProgramPath(path);
  if (path[0] != '\0') fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    // Without this the user would see only that the setup record is missing.
    if (path[0] == '\0') {
      std::fputs(
          "launcher: cannot find its own file: /proc/self/exe is not readable, and neither the path it was "
          "started by nor argv[0] along PATH names an executable file\n",
          stderr);
    } else {
      std::fprintf(stderr, "launcher: cannot open its own file %s: %s\n", path, std::strerror(errno));
    }
  }
  return fd;
}

struct OwnMapping {
  const std::uint8_t* base = nullptr;
  std::size_t size = 0;

  OwnMapping() {
    const int fd = OpenOwnFile();
    if (fd < 0) return;
    struct stat st {};
    if (fstat(fd, &st) == 0 && st.st_size > 0) {
      const auto length = static_cast<std::size_t>(st.st_size);
      void* map = mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, 0);
      if (map != MAP_FAILED) {
        // The payload is read once, front to back.
        (void)madvise(map, length, MADV_SEQUENTIAL);
        base = static_cast<const std::uint8_t*>(map);
        size = length;
      }
    }
    close(fd);
  }
};

const OwnMapping& Own() {
  static const OwnMapping own;  // thread-safe one-time initialisation
  return own;
}

int g_moduleTag;
ModuleTag* const kOwnModule = reinterpret_cast<ModuleTag*>(&g_moduleTag);

}  // namespace

ModuleHandle OwnModule() { return kOwnModule; }

bool FindRawResource(const char*, RawResource*) { return false; }

const std::uint8_t* LoadRawResource(const RawResource& resource) {
  return static_cast<const std::uint8_t*>(resource.handle);
}

bool MapOwnExecutable(const std::uint8_t** base, std::size_t* size) {
  const OwnMapping& own = Own();
  if (own.base == nullptr) return false;
  *base = own.base;
  *size = own.size;
  return true;
}

void ReleaseMappedBytes(const std::uint8_t* data, std::size_t size) {
  const OwnMapping& own = Own();
  const auto first = reinterpret_cast<std::uintptr_t>(own.base);
  const auto record = reinterpret_cast<std::uintptr_t>(data);
  if (own.base == nullptr || size == 0 || record < first || record - first > own.size) return;
  // The mapping is private, read-only and never written: dropping its pages
  // only forgets them, and a later read maps them again from the file. A
  // fault maps the neighbouring pages too (up to 64 KiB around it), so pages
  // of records already done come back while the next ones are read: the
  // release reaches that far behind the record as well.
  constexpr std::uintptr_t kFaultAround = 128 * 1024;
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const std::uintptr_t from = record - first > kFaultAround ? record - kFaultAround : first;
  const std::uintptr_t start = from / page * page;
  const std::uintptr_t end = record + size;
  (void)madvise(reinterpret_cast<void*>(start), end - start, MADV_DONTNEED);
}

}  // namespace sfx::platform
