// The program's own module and its raw-data resources, where the launcher's
// payload records travel. On Windows they are RT_RCDATA resources of the
// executable; on POSIX systems they sit in a payload image appended to the
// executable file (platform/payload_image.h describes that image).
#pragma once

#include <cstddef>
#include <cstdint>

namespace sfx::platform {

// The running program's module; never null on a running program.
using ModuleHandle = struct ModuleTag*;
ModuleHandle OwnModule();

struct RawResource {
  const void* handle = nullptr;
  std::uint32_t size = 0;
};

// Looks up a raw-data resource of the program by name (language-neutral).
// False when there is none.
bool FindRawResource(const char* name, RawResource* resource);
// The resource's bytes, valid until the process ends; null when they cannot be
// had. The bytes are read-only.
const std::uint8_t* LoadRawResource(const RawResource& resource);

// Tells the platform that the resource's bytes are not needed any more, so
// that memory does not grow with a payload read once front to back. The bytes
// stay valid: a later read brings them back.
void ReleaseRawResource(const RawResource& resource);

// Test seam: serve lookups from a payload image in memory instead of the
// program's own resources, on every target. Null restores the real look-up.
// The image must stay alive while it is installed.
void SetResourceImageForTesting(const void* image, std::size_t size);

}  // namespace sfx::platform
