#include "platform/resource.h"

#include <windows.h>

#include "platform/payload_image.h"

namespace sfx::platform {
namespace {

PayloadImage g_testImage;
bool g_testImageInstalled = false;

}  // namespace

ModuleHandle OwnModule() { return reinterpret_cast<ModuleHandle>(GetModuleHandleA(nullptr)); }

bool FindRawResource(const char* name, RawResource* resource) {
  if (g_testImageInstalled) {
    const std::uint8_t* data = nullptr;
    std::uint32_t size = 0;
    if (!g_testImage.Find(name, &data, &size)) return false;
    resource->handle = data;
    resource->size = size;
    return true;
  }
  HRSRC found = FindResourceA(nullptr, name, MAKEINTRESOURCEA(10));
  if (found == nullptr) return false;
  resource->handle = found;
  resource->size = SizeofResource(nullptr, found);
  return true;
}

const std::uint8_t* LoadRawResource(const RawResource& resource) {
  if (g_testImageInstalled) return static_cast<const std::uint8_t*>(resource.handle);
  HGLOBAL loaded = LoadResource(nullptr, static_cast<HRSRC>(const_cast<void*>(resource.handle)));
  if (loaded == nullptr) return nullptr;
  return static_cast<const std::uint8_t*>(LockResource(loaded));
}

// Resources are part of the executable's image, which the system pages as it likes.
void ReleaseRawResource(const RawResource&) {}

void SetResourceImageForTesting(const void* image, std::size_t size) {
  g_testImage.Close();
  g_testImageInstalled = image != nullptr;
  if (g_testImageInstalled) (void)g_testImage.Open(static_cast<const std::uint8_t*>(image), size);
}

}  // namespace sfx::platform
