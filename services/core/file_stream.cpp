#include "services/core/file_stream.h"

#include <new>

#include "services/core/file_system.h"
#include "services/core/memory_service.h"

namespace sfx {
namespace {

constexpr std::uint32_t kZeroChunkBytes = 512;

}  // namespace

Result FileStream::Create(platform::FileHandle handle, std::uint32_t flags, const char* name, std::uint32_t nameLength,
                          FileStream** out) {
  void* block = nullptr;
  SFX_TRY(Memory()->Allocate(static_cast<std::uint32_t>(sizeof(FileStream)) + nameLength + 1, &block));
  char* text = static_cast<char*>(block) + sizeof(FileStream);
  (void)Memory()->Copy(text, name, nameLength);
  text[nameLength] = '\0';
  *out = ::new (block) FileStream(handle, flags, text);
  return kOk;
}

Result FileStream::Close() {
  const bool closed = platform::CloseFile(handle_);
  // The name lives in this block, so the file is deleted before it is freed.
  if (fileFlags_ & kDeleteOnClose) (void)FileSystem()->Delete(fileName_);
  this->~FileStream();
  (void)Memory()->Free(this);
  return closed ? kOk : kFail;
}

Result FileStream::Seek(std::int32_t offset, std::uint32_t origin, std::uint32_t* newPosition) {
  if (origin > kSeekEnd) return kOriginOutOfRange;
  // The offset is signed from every origin: a negative position from the
  // start fails and leaves the position, as the platform's seek does.
  std::uint32_t position = 0;
  if (!platform::SeekFile(handle_, offset, origin, &position)) return kFail;
  if (newPosition) {
    *newPosition = position;
  } else if (origin == kSeekStart && position != static_cast<std::uint32_t>(offset)) {
    return kStreamSeekMismatch;
  }
  return kOk;
}

Result FileStream::Read(void* buffer, std::uint32_t count, std::uint32_t* done) {
  std::uint32_t n = 0;
  if (!platform::ReadFromFile(handle_, buffer, count, &n)) return kFail;
  if (done) {
    *done = n;
  } else if (n < count) {
    return kStreamShortRead;
  }
  return kOk;
}

Result FileStream::Write(const void* buffer, std::uint32_t count, std::uint32_t* done) {
  std::uint32_t n = 0;
  if (!platform::WriteToFile(handle_, buffer, count, &n)) return kFail;
  if (done) {
    *done = n;
  } else if (n < count) {
    return kStreamShortWrite;
  }
  return kOk;
}

Result FileStream::GetSize(std::uint32_t* size) {
  if (size == nullptr) return kNullOutput;
  std::uint64_t full = 0;
  // A size that needs more than 32 bits is not cut down to its low part.
  if (!platform::GetFileSize64(handle_, &full) || full > 0xFFFFFFFFu) return kFail;
  *size = static_cast<std::uint32_t>(full);
  return kOk;
}

Result FileStream::SetSize(std::uint32_t newSize) {
  std::uint32_t current = 0;
  if (GetSize(&current) != kOk) return kFail;
  if (current < newSize) {
    // Written out rather than left to the file system, so the new bytes are
    // real zeros on every target.
    // The end is where the zeros go (also past 2 GiB, which no offset from the start reaches).
    if (Failed(Seek(0, kSeekEnd, nullptr))) return kFail;
    unsigned char zeros[kZeroChunkBytes];
    (void)Memory()->Fill(zeros, 0, kZeroChunkBytes);
    while (current < newSize) {
      const std::uint32_t n = newSize - current < kZeroChunkBytes ? newSize - current : kZeroChunkBytes;
      if (Failed(Write(zeros, n, nullptr))) return kFail;
      current += n;
    }
  }
  std::uint32_t position = 0;
  if (!platform::SeekFile(handle_, newSize, kSeekStart, &position) || position != newSize) {
    return kFail;
  }
  return platform::SetEndOfFileHere(handle_) ? kOk : kFail;
}

Result FileStream::Reserve(std::uint32_t) { return kOk; }

Result FileStream::SetParameter(std::uint32_t) { return kOk; }

}  // namespace sfx
