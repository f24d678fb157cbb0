// A read-only view of a 32-bit Windows executable: its headers, sections and
// data directories, and the resource tree flattened into one list. Every byte
// comes from a file we did not write and is untrusted: each offset, count and
// size is checked against the bytes that are really there before it is used,
// in 64-bit arithmetic so that nothing wraps.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/sfxkit/status.h"

namespace sfx::pe {

using cli::Status;

struct Section {
  char name[9] = {};  // zero-terminated copy of the 8-byte field
  std::uint32_t virtualSize = 0;
  std::uint32_t virtualAddress = 0;
  std::uint32_t rawSize = 0;
  std::uint32_t rawOffset = 0;
  std::uint32_t characteristics = 0;
  // The extent the loader maps (the raw size when the virtual size is 0).
  std::uint32_t MappedSize() const { return virtualSize ? virtualSize : rawSize; }
};

struct DataDirectory {
  std::uint32_t rva = 0;
  std::uint32_t size = 0;
};

// A resource type or name: an integer id, or a string (UTF-16 code units, as
// stored).
struct ResourceKey {
  bool isString = false;
  std::uint16_t id = 0;
  std::u16string text;

  static ResourceKey Id(std::uint16_t id) { return ResourceKey{false, id, {}}; }
  static ResourceKey Name(const char* ascii);
  // Named keys order before ids; names compare by code unit, which is the
  // order the system's binary search expects (it looks up upper-case names).
  friend bool operator<(const ResourceKey& a, const ResourceKey& b);
  friend bool operator==(const ResourceKey& a, const ResourceKey& b) = default;
  // "10", or the name with non-ASCII code units as '?'.
  std::string Describe() const;
};

// One leaf of the tree. `data` points into the image's file bytes (or, for a
// resource about to be written, into the caller's buffer).
struct Resource {
  ResourceKey type;
  ResourceKey name;
  std::uint16_t language = 0;
  std::uint32_t codePage = 0;
  std::span<const std::uint8_t> data;
};

class PeImage {
 public:
  // Parses headers and section table. The bytes must outlive the image.
  // False with a message in `error` when the file is not a sound PE32 image.
  Status Parse(std::span<const std::uint8_t> file);

  // Reads the whole resource tree into `out`, in tree order. False with a
  // message when the tree is damaged: offsets outside the section, a loop,
  // entries out of order or repeated (the system's look-up could not find
  // them), or data outside the file. An image without resources gives an
  // empty list.
  Status ReadResources(std::vector<Resource>* out) const;

  // The file bytes of [rva, rva + size), which must lie inside one section's
  // raw data; false otherwise.
  bool MapRva(std::uint32_t rva, std::uint32_t size, const std::uint8_t** out) const;

  std::span<const std::uint8_t> file() const { return file_; }
  const std::vector<Section>& sections() const { return sections_; }
  DataDirectory Directory(std::uint32_t index) const {
    return index < directories_.size() ? directories_[index] : DataDirectory{};
  }
  std::uint32_t directoryCount() const { return static_cast<std::uint32_t>(directories_.size()); }
  std::uint32_t sectionAlignment() const { return sectionAlignment_; }
  std::uint32_t fileAlignment() const { return fileAlignment_; }
  std::uint32_t sizeOfHeaders() const { return sizeOfHeaders_; }
  std::uint32_t sizeOfImage() const { return sizeOfImage_; }
  std::uint32_t checkSum() const { return checkSum_; }
  std::uint32_t symbolTableOffset() const { return symbolTableOffset_; }
  // File offsets of the structures, for a writer that patches them.
  std::uint32_t fileHeaderOffset() const { return fileHeaderOffset_; }
  std::uint32_t optionalHeaderOffset() const { return optionalHeaderOffset_; }
  // Where the data directories start within the optional header.
  std::uint32_t dataDirectoriesOffset() const { return dataDirectoriesOffset_; }
  std::uint32_t sectionTableOffset() const { return sectionTableOffset_; }
  // The section that holds the resource directory, or -1.
  int ResourceSectionIndex() const;

 private:
  std::span<const std::uint8_t> file_;
  std::vector<Section> sections_;
  std::vector<DataDirectory> directories_;
  std::uint32_t sectionAlignment_ = 0;
  std::uint32_t fileAlignment_ = 0;
  std::uint32_t sizeOfHeaders_ = 0;
  std::uint32_t sizeOfImage_ = 0;
  std::uint32_t checkSum_ = 0;
  std::uint32_t symbolTableOffset_ = 0;
  std::uint32_t fileHeaderOffset_ = 0;
  std::uint32_t optionalHeaderOffset_ = 0;
  std::uint32_t dataDirectoriesOffset_ = 0;
  std::uint32_t sectionTableOffset_ = 0;
};

// The checksum the loader verifies for drivers: 16-bit one's-complement-style
// sum of the file with the checksum field taken as 0, plus the file length.
std::uint32_t ComputeCheckSum(std::span<const std::uint8_t> file, std::uint32_t checkSumOffset);

}  // namespace sfx::pe
