#include "tools/sfxkit/image_read_back.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <vector>

#include "payload/byte_order.h"
#include "payload/image.h"
#include "payload/records.h"
#include "services/codec/crc.h"

namespace sfx::cli {

namespace {

constexpr std::size_t kReadPiece = 1 << 16;

class ReadBack {
 public:
  explicit ReadBack(const std::string& path) : in_(path, std::ios::binary) {}
  bool ok() const { return static_cast<bool>(in_); }

  std::uint64_t Size() {
    in_.seekg(0, std::ios::end);
    return static_cast<std::uint64_t>(in_.tellg());
  }
  bool ReadAt(std::uint64_t at, void* bytes, std::size_t count) {
    in_.seekg(static_cast<std::streamoff>(at));
    return static_cast<bool>(in_.read(static_cast<char*>(bytes), static_cast<std::streamsize>(count)));
  }
  // The complemented CRC-32 of `count` bytes from `at`; false when short.
  bool CrcAt(std::uint64_t at, std::uint64_t count, std::uint32_t* crc) {
    std::uint32_t c = 0xFFFFFFFFu;
    in_.seekg(static_cast<std::streamoff>(at));
    while (count > 0) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, buffer_.size()));
      if (!in_.read(reinterpret_cast<char*>(buffer_.data()), static_cast<std::streamsize>(n))) return false;
      (void)Crc()->UpdateCrc32(buffer_.data(), static_cast<std::uint32_t>(n), &c);  // cannot fail with data
      count -= n;
    }
    *crc = ~c;
    return true;
  }

 private:
  std::ifstream in_;
  std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(kReadPiece);
};

}  // namespace

Status CheckWrittenImage(const std::string& path, const std::string& shown, std::span<const std::uint8_t> stub,
                         const payload::PayloadWriter& writer) {
  const auto damaged = [&](const std::string& what) {
    return Status::Error("the written launcher '" + shown + "' does not read back: " + what);
  };
  ReadBack file(path);
  if (!file.ok()) return damaged("cannot open it");
  const std::uint64_t imageSize = writer.written();
  if (file.Size() != stub.size() + imageSize) return damaged("its size differs");

  std::uint32_t stubCrc = 0xFFFFFFFFu, found = 0;
  if (!stub.empty()) (void)Crc()->UpdateCrc32(stub.data(), static_cast<std::uint32_t>(stub.size()), &stubCrc);
  if (!file.CrcAt(0, stub.size(), &found) || found != ~stubCrc) return damaged("the stub differs");

  std::uint8_t trailer[payload::kPayloadTrailerSize];
  if (!file.ReadAt(stub.size() + imageSize - sizeof trailer, trailer, sizeof trailer) ||
      payload::PayloadImage::ImageSizeFromTrailer(trailer, imageSize) != imageSize) {
    return damaged("its trailer differs");
  }
  const std::uint32_t count = writer.fileCount() + 1;
  const std::uint32_t directoryOffset = payload::LoadU32(trailer + payload::kTrailerDirectoryOffset);
  constexpr std::uint32_t kNameLength = payload::kRecordNameBytes - 1;
  if (payload::LoadU32(trailer + payload::kTrailerEntryCount) != count ||
      payload::LoadU32(trailer + payload::kTrailerDirectorySize) !=
          std::uint64_t{count} * (payload::kPayloadEntrySize + kNameLength) ||
      std::uint64_t{directoryOffset} + payload::LoadU32(trailer + payload::kTrailerDirectorySize) +
              payload::kPayloadTrailerSize !=
          imageSize) {
    return damaged("its trailer differs");
  }

  // Directory entry i names record i; the setup record, 0, was written last.
  for (std::uint32_t i = 0; i < count; ++i) {
    payload::PayloadWriter::RecordCheck check{};
    if (Failed(writer.CheckOf(i == 0 ? count : i, &check))) return damaged("the writer lost a record");
    std::uint8_t entry[payload::kPayloadEntrySize];
    char name[payload::kRecordNameBytes];
    payload::FormatRecordName(i, name);
    const std::uint32_t nameOffset = count * payload::kPayloadEntrySize + i * kNameLength;
    char nameFound[kNameLength];
    if (!file.ReadAt(stub.size() + directoryOffset + std::uint64_t{i} * sizeof entry, entry, sizeof entry) ||
        payload::LoadU32(entry) != check.offset || payload::LoadU32(entry + 4) != check.size ||
        payload::LoadU32(entry + 8) != nameOffset || payload::LoadU32(entry + 12) != kNameLength ||
        !file.ReadAt(stub.size() + directoryOffset + nameOffset, nameFound, kNameLength) ||
        std::memcmp(nameFound, name, kNameLength) != 0) {
      return damaged(std::string("directory entry ") + name + " differs");
    }
    std::uint32_t head = 0, data = 0;
    const std::uint64_t at = stub.size() + check.offset;
    if (check.headSize > check.size || !file.CrcAt(at, check.headSize, &head) || head != check.headCrc ||
        !file.CrcAt(at + check.headSize, check.size - check.headSize, &data) || data != check.dataCrc) {
      return damaged(std::string("record ") + name + " differs");
    }
  }
  return Status();
}

}  // namespace sfx::cli
