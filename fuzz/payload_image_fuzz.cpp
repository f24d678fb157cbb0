// The payload image reader on hostile bytes: the trailer, the directory and
// every record it serves must stay inside the input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "payload/image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A copy of exactly `size` bytes, so that reading past it is caught.
  std::vector<std::uint8_t> image(data, data + size);
  if (size >= sfx::payload::kPayloadTrailerSize) {
    (void)sfx::payload::PayloadImage::ImageSizeFromTrailer(image.data() + size - sfx::payload::kPayloadTrailerSize,
                                                           size);
  }
  sfx::payload::PayloadImage reader;
  if (!reader.Open(image.data(), image.size())) return 0;
  unsigned sum = 0;
  for (unsigned n = 0; n < 64; ++n) {
    char name[16];
    std::snprintf(name, sizeof name, "F%08X", n);
    const std::uint8_t* record = nullptr;
    std::uint32_t length = 0;
    if (!reader.Find(name, &record, &length)) continue;
    for (std::uint32_t i = 0; i < length; ++i) sum += record[i];
  }
  for (const char* other : {"", "F", "F000000000", "\xff"}) {
    const std::uint8_t* record = nullptr;
    std::uint32_t length = 0;
    if (reader.Find(other, &record, &length) && length > 0) sum += record[length - 1];
  }
  return static_cast<int>(sum & 0);
}
