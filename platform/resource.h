// The program's own module and where its payload travels. On Windows that is
// the executable's raw-data resources; on POSIX systems, which have none, it
// is data appended to the executable file, which the program maps to read.
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
// False when there is none (always, on systems without resources).
bool FindRawResource(const char* name, RawResource* resource);
// The resource's bytes, valid until the process ends; null when they cannot be
// had. The bytes are read-only.
const std::uint8_t* LoadRawResource(const RawResource& resource);

// The program's own executable file, mapped read-only once and kept until the
// process ends: pages come in as they are read and cost the page cache, not
// the heap. False where the payload travels as resources instead (Windows),
// or when the file cannot be mapped.
bool MapOwnExecutable(const std::uint8_t** base, std::size_t* size);
// Lets the pages of [data, data + size) inside that mapping go, so that memory
// does not grow with a payload read once front to back. The bytes stay valid:
// a later read brings them back.
void ReleaseMappedBytes(const std::uint8_t* data, std::size_t size);

}  // namespace sfx::platform
