#include "platform/resource.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/payload_image.h"
#include "platform/program_path.h"

namespace sfx::platform {
namespace {

PayloadImage g_testImage;
bool g_testImageInstalled = false;
// Where the mapped image of this executable starts, once it is mapped.
const std::uint8_t* g_ownImageBase = nullptr;

// This executable, for reading its payload. /proc/self/exe holds even after
// a rename; without /proc (a bare chroot, an early boot stage) the path the
// program was started by has to do.
int OpenOwnFile() {
  int fd = open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) return fd;
  const std::string path = OwnProgramPath();
  if (!path.empty()) fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    // Without this the user would see only that the setup record is missing.
    if (path.empty()) {
      std::fputs(
          "launcher: cannot find its own file: /proc/self/exe is not readable, and neither the path it was "
          "started by nor argv[0] along PATH names an executable file\n",
          stderr);
    } else {
      std::fprintf(stderr, "launcher: cannot open its own file %s: %s\n", path.c_str(), std::strerror(errno));
    }
  }
  return fd;
}

// The payload image appended to this executable, mapped read-only on first
// use. Pages come in as records are read and stay clean, so the memory it
// costs is the kernel's page cache, not the heap.
struct OwnPayload {
  PayloadImage image;

  OwnPayload() {
    const int fd = OpenOwnFile();
    if (fd < 0) return;
    struct stat st {};
    std::uint8_t trailer[kPayloadTrailerSize];
    if (fstat(fd, &st) == 0 && st.st_size >= static_cast<off_t>(kPayloadTrailerSize) &&
        pread(fd, trailer, sizeof trailer, st.st_size - kPayloadTrailerSize) == static_cast<ssize_t>(sizeof trailer)) {
      const std::uint64_t fileSize = static_cast<std::uint64_t>(st.st_size);
      const std::uint64_t imageSize = PayloadImage::ImageSizeFromTrailer(trailer, fileSize);
      if (imageSize != 0) {
        const std::uint64_t start = fileSize - imageSize;
        const std::uint64_t page = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
        const std::uint64_t mapStart = start - start % page;
        const std::size_t mapLength = static_cast<std::size_t>(fileSize - mapStart);
        void* map = mmap(nullptr, mapLength, PROT_READ, MAP_PRIVATE, fd, static_cast<off_t>(mapStart));
        if (map != MAP_FAILED) {
          // Records are read once, front to back.
          (void)madvise(map, mapLength, MADV_SEQUENTIAL);
          const auto* base = static_cast<const std::uint8_t*>(map) + (start - mapStart);
          if (image.Open(base, static_cast<std::size_t>(imageSize))) {
            g_ownImageBase = base;
          } else {
            munmap(map, mapLength);
          }
        }
      }
    }
    close(fd);
  }
};

const PayloadImage& ActiveImage() {
  if (g_testImageInstalled) return g_testImage;
  static const OwnPayload own;  // thread-safe one-time initialisation
  return own.image;
}

ModuleTag* const kOwnModule = reinterpret_cast<ModuleTag*>(&g_testImage);

}  // namespace

ModuleHandle OwnModule() { return kOwnModule; }

bool FindRawResource(const char* name, RawResource* resource) {
  const std::uint8_t* data = nullptr;
  std::uint32_t size = 0;
  if (!ActiveImage().Find(name, &data, &size)) return false;
  resource->handle = data;
  resource->size = size;
  return true;
}

const std::uint8_t* LoadRawResource(const RawResource& resource) {
  return static_cast<const std::uint8_t*>(resource.handle);
}

void ReleaseRawResource(const RawResource& resource) {
  if (g_testImageInstalled || resource.handle == nullptr || resource.size == 0) return;
  // The mapping is private, read-only and never written: dropping its pages
  // only forgets them, and a later read maps them again from the file. A
  // fault maps the neighbouring pages too (up to 64 KiB around it), so pages
  // of records already done come back while the next ones are read: the
  // release reaches that far behind the record as well.
  constexpr std::uintptr_t kFaultAround = 128 * 1024;
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto first = reinterpret_cast<std::uintptr_t>(g_ownImageBase);
  const auto record = reinterpret_cast<std::uintptr_t>(resource.handle);
  const std::uintptr_t from = record - first > kFaultAround ? record - kFaultAround : first;
  const std::uintptr_t start = from / page * page;
  const std::uintptr_t end = record + resource.size;
  (void)madvise(reinterpret_cast<void*>(start), end - start, MADV_DONTNEED);
}

void SetResourceImageForTesting(const void* image, std::size_t size) {
  g_testImage.Close();
  g_testImageInstalled = image != nullptr;
  if (g_testImageInstalled) (void)g_testImage.Open(static_cast<const std::uint8_t*>(image), size);
}

}  // namespace sfx::platform
