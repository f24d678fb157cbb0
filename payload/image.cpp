#include "payload/image.h"

#include <cstring>

#include "payload/byte_order.h"

namespace sfx::payload {
namespace {

// Bytewise order, a proper prefix first.
int CompareNames(const std::uint8_t* a, std::uint32_t aLength, const std::uint8_t* b, std::uint32_t bLength) {
  const std::uint32_t common = aLength < bLength ? aLength : bLength;
  const int c = common == 0 ? 0 : std::memcmp(a, b, common);
  if (c != 0) return c;
  return aLength < bLength ? -1 : (aLength > bLength ? 1 : 0);
}

}  // namespace

std::uint64_t PayloadImage::ImageSizeFromTrailer(const std::uint8_t* trailer, std::uint64_t fileSize) {
  if (fileSize < kPayloadTrailerSize) return 0;
  if (std::memcmp(trailer + kTrailerMagic, kPayloadMagic, sizeof kPayloadMagic) != 0) return 0;
  if (LoadU32(trailer + kTrailerVersion) != kPayloadVersion) return 0;
  const std::uint64_t imageSize = LoadU64(trailer + kTrailerImageSize);
  if (imageSize < kPayloadTrailerSize || imageSize > fileSize) return 0;
  return imageSize;
}

bool PayloadImage::Open(const std::uint8_t* base, std::size_t size) {
  Close();
  if (base == nullptr || size < kPayloadTrailerSize) return false;
  const std::uint8_t* trailer = base + size - kPayloadTrailerSize;
  if (ImageSizeFromTrailer(trailer, size) != size) return false;
  const std::uint32_t entryCount = LoadU32(trailer + kTrailerEntryCount);
  const std::uint32_t directoryOffset = LoadU32(trailer + kTrailerDirectoryOffset);
  const std::uint32_t directorySize = LoadU32(trailer + kTrailerDirectorySize);
  // The directory lies directly before the trailer; the records before it.
  if (static_cast<std::uint64_t>(directoryOffset) + directorySize + kPayloadTrailerSize != size) return false;
  const std::uint64_t entriesSize = static_cast<std::uint64_t>(entryCount) * kPayloadEntrySize;
  if (entriesSize > directorySize) return false;

  // Check every entry once, so that look-ups can trust the directory: records
  // inside the data area, names inside the name area, strictly ascending.
  const std::uint8_t* directory = base + directoryOffset;
  const std::uint8_t* previousName = nullptr;
  std::uint32_t previousLength = 0;
  for (std::uint32_t i = 0; i < entryCount; ++i) {
    const std::uint8_t* entry = directory + static_cast<std::size_t>(i) * kPayloadEntrySize;
    const std::uint32_t offset = LoadU32(entry);
    const std::uint32_t recordSize = LoadU32(entry + 4);
    const std::uint32_t nameOffset = LoadU32(entry + 8);
    const std::uint32_t nameLength = LoadU32(entry + 12);
    if (static_cast<std::uint64_t>(offset) + recordSize > directoryOffset) return false;
    if (nameLength > kPayloadMaxNameLength || nameOffset < entriesSize ||
        static_cast<std::uint64_t>(nameOffset) + nameLength > directorySize) {
      return false;
    }
    const std::uint8_t* name = directory + nameOffset;
    if (previousName != nullptr && CompareNames(previousName, previousLength, name, nameLength) >= 0) return false;
    previousName = name;
    previousLength = nameLength;
  }

  base_ = base;
  size_ = size;
  entryCount_ = entryCount;
  directoryOffset_ = directoryOffset;
  directorySize_ = directorySize;
  return true;
}

bool PayloadImage::Find(const char* name, const std::uint8_t** data, std::uint32_t* size) const {
  if (base_ == nullptr || name == nullptr) return false;
  const std::size_t length = std::strlen(name);
  if (length > kPayloadMaxNameLength) return false;
  const auto* wanted = reinterpret_cast<const std::uint8_t*>(name);
  const std::uint8_t* directory = base_ + directoryOffset_;
  std::uint32_t low = 0;
  std::uint32_t high = entryCount_;
  while (low < high) {
    const std::uint32_t middle = low + (high - low) / 2;
    const std::uint8_t* entry = directory + static_cast<std::size_t>(middle) * kPayloadEntrySize;
    const int c =
        CompareNames(directory + LoadU32(entry + 8), LoadU32(entry + 12), wanted, static_cast<std::uint32_t>(length));
    if (c == 0) {
      *data = base_ + LoadU32(entry);
      *size = LoadU32(entry + 4);
      return true;
    }
    if (c < 0) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return false;
}

std::size_t ImageStart(std::span<const std::uint8_t> file) {
  if (file.size() < kPayloadTrailerSize) return file.size();
  const std::uint64_t imageSize =
      PayloadImage::ImageSizeFromTrailer(file.data() + file.size() - kPayloadTrailerSize, file.size());
  return imageSize == 0 ? file.size() : static_cast<std::size_t>(file.size() - imageSize);
}

}  // namespace sfx::payload
