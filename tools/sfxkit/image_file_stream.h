// The output of `pack` for an appended payload: a new file that starts with
// the stub and then takes the payload image as it is written. Positions are
// counted from the image start, so the image's own 32-bit offsets are the
// stream's positions while the file itself may pass 4 GiB. Nothing is kept
// in memory but the file library's small buffer.
#pragma once

#include <cstdint>
#include <fstream>
#include <span>
#include <string>

#include "services/core/stream.h"
#include "tools/sfxkit/status.h"

namespace sfx::cli {

class ImageFileStream : public Stream {
 public:
  // Creates (or empties) `path` and writes the stub; messages name `shown`.
  // Made in a MemoryService block like every instance; Close frees it.
  static Status Create(const std::string& path, const std::string& shown, std::span<const std::uint8_t> stub,
                       ImageFileStream** out);

  // Writes what is buffered and closes the file; the system's reason on
  // failure. The stream stays usable only for Close.
  Status Finish();
  // The system's reason for the first failed write, or empty.
  const std::string& failure() const { return failure_; }
  // Writes past `bytes` of the image fail as a full disk would (tests).
  void FailWritesPast(std::uint64_t bytes) { failPast_ = bytes; }

  Result Close() override;
  Result Seek(std::int32_t offset, std::uint32_t origin, std::uint32_t* newPosition) override;
  Result Read(void* buffer, std::uint32_t count, std::uint32_t* done) override;
  Result Write(const void* buffer, std::uint32_t count, std::uint32_t* done) override;
  Result WriteAt(std::uint32_t position, const void* buffer, std::uint32_t count, std::uint32_t* done) override;
  Result GetSize(std::uint32_t* size) override;
  Result SetSize(std::uint32_t newSize) override;
  Result Reserve(std::uint32_t capacity) override;
  Result SetParameter(std::uint32_t value) override;

  ImageFileStream() = default;
  ~ImageFileStream() = default;

 private:
  Result Fail(const std::string& reason);

  std::ofstream file_;
  std::uint64_t imageStart_ = 0;  // the stub's size
  std::uint32_t position_ = 0;    // where the next Write goes, from the image start
  std::uint64_t filePosition_ = 0;
  std::uint32_t size_ = 0;
  std::uint64_t failPast_ = ~std::uint64_t{0};
  std::string failure_;
};

}  // namespace sfx::cli
