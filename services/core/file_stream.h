// A Stream over an open platform file. Positions and sizes are 32-bit: files
// of 4 GiB or more report failures rather than cut sizes.
#pragma once

#include <cstdint>

#include "platform/file.h"
#include "services/core/stream.h"

namespace sfx {

class FileStream : public Stream {
 public:
  enum Flags : std::uint32_t { kDeleteOnClose = 1u << 0 };

  // Makes the instance in one MemoryService block that also holds a copy of
  // the name. On failure the handle is left to the caller.
  static Result Create(platform::FileHandle handle, std::uint32_t flags, const char* name, std::uint32_t nameLength,
                       FileStream** out);

  // Closes the file, deletes it when kDeleteOnClose is set and frees the
  // instance, whatever happens; kFail when the platform reports the close
  // failed (a deferred write error).
  Result Close() override;
  Result Seek(std::int32_t offset, std::uint32_t origin, std::uint32_t* newPosition) override;
  // Short reads without done are kStreamShortRead.
  Result Read(void* buffer, std::uint32_t count, std::uint32_t* done) override;
  Result Write(const void* buffer, std::uint32_t count, std::uint32_t* done) override;
  Result GetSize(std::uint32_t* size) override;
  // Growing writes real zero bytes; the position ends at the new size.
  Result SetSize(std::uint32_t newSize) override;
  Result Reserve(std::uint32_t capacity) override;
  Result SetParameter(std::uint32_t value) override;

  const char* fileName() const { return fileName_; }
  std::uint32_t fileFlags() const { return fileFlags_; }

 private:
  FileStream(platform::FileHandle handle, std::uint32_t flags, char* name)
      : handle_(handle), fileFlags_(flags), fileName_(name) {}
  ~FileStream() = default;

  platform::FileHandle handle_;
  std::uint32_t fileFlags_;
  char* fileName_;  // points into the same block, just past this object
};

}  // namespace sfx
