#include "launcher/own_records.h"

#include <span>

#include "payload/image.h"
#include "platform/resource.h"

namespace sfx::launcher {
namespace {

class ResourceRecords final : public payload::RecordSource {
 public:
  bool Find(const char* name, const std::uint8_t** data, std::uint32_t* size) const override {
    platform::RawResource resource;
    if (!platform::FindRawResource(name, &resource)) return false;
    const std::uint8_t* bytes = platform::LoadRawResource(resource);
    if (bytes == nullptr) return false;
    *data = bytes;
    *size = resource.size;
    return true;
  }
};

// The image at the end of the mapped executable. Its records are read in
// place, once each: their pages are let go after use.
class MappedImageRecords final : public payload::RecordSource {
 public:
  bool Open() {
    const std::uint8_t* base = nullptr;
    std::size_t size = 0;
    if (!platform::MapOwnExecutable(&base, &size)) return false;
    const std::size_t start = payload::ImageStart(std::span<const std::uint8_t>(base, size));
    return image_.Open(base + start, size - start);
  }
  bool Find(const char* name, const std::uint8_t** data, std::uint32_t* size) const override {
    return image_.Find(name, data, size);
  }
  void Release(const std::uint8_t* data, std::uint32_t size) const override {
    platform::ReleaseMappedBytes(data, size);
  }

 private:
  payload::PayloadImage image_;
};

struct Own {
  ResourceRecords resources;
  MappedImageRecords image;
  bool hasImage = image.Open();
};

}  // namespace

const payload::RecordSource& OwnRecords() {
  static const Own own;  // thread-safe one-time initialisation
  if (own.hasImage) return own.image;
  return own.resources;
}

}  // namespace sfx::launcher
