// The payload image: named raw-data records packed into one byte range, with a
// directory and a fixed trailer at the end so that a reader finds it from the
// end of a file. On POSIX systems it is appended to the launcher's executable
// and stands in for the resource section; tests build one in memory on every
// target. docs/payload-format.md describes the layout.
//
//   image     = record data ... | directory | trailer
//   directory = entryCount entries | name bytes
//   entry     = u32 offset (from image start) | u32 size
//               | u32 nameOffset (from directory start) | u32 nameLength
//   trailer   = "SFXPAYLD" | u32 version | u32 entryCount
//               | u32 directoryOffset | u32 directorySize | u64 imageSize
//
// All integers little-endian. Entries have a fixed size and are sorted by name
// (bytewise, a proper prefix first) without duplicates, so a look-up is a
// binary search; the reader checks all of that before it serves any record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "payload/record_source.h"

namespace sfx::payload {

inline constexpr char kPayloadMagic[8] = {'S', 'F', 'X', 'P', 'A', 'Y', 'L', 'D'};
inline constexpr std::uint32_t kPayloadVersion = 1;
inline constexpr std::uint32_t kPayloadTrailerSize = 32;
inline constexpr std::uint32_t kPayloadEntrySize = 16;
inline constexpr std::uint32_t kPayloadMaxNameLength = 255;

// Trailer field offsets.
inline constexpr std::uint32_t kTrailerMagic = 0;
inline constexpr std::uint32_t kTrailerVersion = 8;
inline constexpr std::uint32_t kTrailerEntryCount = 12;
inline constexpr std::uint32_t kTrailerDirectoryOffset = 16;
inline constexpr std::uint32_t kTrailerDirectorySize = 20;
inline constexpr std::uint32_t kTrailerImageSize = 24;

// A validated view of an image. Every byte of it comes from the file and is
// untrusted until Open has checked the trailer and the whole directory.
class PayloadImage final : public RecordSource {
 public:
  // Reads the image size from the last kPayloadTrailerSize bytes of a file of
  // `fileSize` bytes; 0 when the trailer is not there or is not plausible.
  static std::uint64_t ImageSizeFromTrailer(const std::uint8_t* trailer, std::uint64_t fileSize);

  // The image occupies [base, base + size). False (and the view stays empty)
  // unless trailer and directory are sound.
  bool Open(const std::uint8_t* base, std::size_t size);
  void Close() {
    base_ = nullptr;
    size_ = 0;
  }
  bool IsOpen() const { return base_ != nullptr; }

  // False when no record has that name.
  bool Find(const char* name, const std::uint8_t** data, std::uint32_t* size) const override;

 private:
  const std::uint8_t* base_ = nullptr;
  std::size_t size_ = 0;
  std::uint32_t entryCount_ = 0;
  std::uint32_t directoryOffset_ = 0;
  std::uint32_t directorySize_ = 0;
};

// Where the payload image at the end of `file` starts, or `file.size()` when
// the file does not end in one: what a launcher keeps of its stub.
std::size_t ImageStart(std::span<const std::uint8_t> file);

}  // namespace sfx::payload
