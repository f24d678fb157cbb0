#include "platform/resource.h"

#include <windows.h>

namespace sfx::platform {

ModuleHandle OwnModule() { return reinterpret_cast<ModuleHandle>(GetModuleHandleA(nullptr)); }

bool FindRawResource(const char* name, RawResource* resource) {
  HRSRC found = FindResourceA(nullptr, name, MAKEINTRESOURCEA(10));
  if (found == nullptr) return false;
  resource->handle = found;
  resource->size = SizeofResource(nullptr, found);
  return true;
}

const std::uint8_t* LoadRawResource(const RawResource& resource) {
  HGLOBAL loaded = LoadResource(nullptr, static_cast<HRSRC>(const_cast<void*>(resource.handle)));
  if (loaded == nullptr) return nullptr;
  return static_cast<const std::uint8_t*>(LockResource(loaded));
}

// The payload is in the resources, part of the executable's image, which the
// system pages as it likes.
bool MapOwnExecutable(const std::uint8_t**, std::size_t*) { return false; }
void ReleaseMappedBytes(const std::uint8_t*, std::size_t) {}

}  // namespace sfx::platform
