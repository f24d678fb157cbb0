#include "tools/sfxkit/image_file_stream.h"

#include <cerrno>
#include <cstring>
#include <new>

#include "services/core/memory_service.h"

namespace sfx::cli {

namespace {

std::string SystemReason() { return std::strerror(errno != 0 ? errno : EIO); }

}  // namespace

Status ImageFileStream::Create(const std::string& path, const std::string& shown, std::span<const std::uint8_t> stub,
                               ImageFileStream** out) {
  ImageFileStream* stream = nullptr;
  if (Failed(NewInstance(&stream))) return Status::Error("out of memory");
  errno = 0;
  stream->file_.open(path, std::ios::binary | std::ios::out | std::ios::trunc);
  if (!stream->file_) {
    const std::string reason = SystemReason();
    (void)stream->Close();
    return Status::Error("cannot write '" + shown + "': " + reason);
  }
  stream->imageStart_ = stub.size();
  errno = 0;
  if (!stub.empty() &&
      !stream->file_.write(reinterpret_cast<const char*>(stub.data()), static_cast<std::streamsize>(stub.size()))) {
    const std::string reason = SystemReason();
    (void)stream->Close();
    return Status::Error("cannot write '" + shown + "': " + reason);
  }
  stream->filePosition_ = stub.size();
  *out = stream;
  return Status();
}

Result ImageFileStream::Fail(const std::string& reason) {
  if (failure_.empty()) failure_ = reason;
  return kStreamShortWrite;
}

Status ImageFileStream::Finish() {
  if (!failure_.empty()) return Status::Error(failure_);
  errno = 0;
  file_.close();
  if (file_.fail()) return Status::Error(SystemReason());
  return Status();
}

Result ImageFileStream::Close() { return DeleteInstance(this); }

Result ImageFileStream::Seek(std::int32_t offset, std::uint32_t origin, std::uint32_t* newPosition) {
  std::int64_t base = 0;
  switch (origin) {
    case kSeekStart: base = 0; break;
    case kSeekCurrent: base = position_; break;
    case kSeekEnd: base = size_; break;
    default: return kOriginOutOfRange;
  }
  const std::int64_t target = base + offset;
  if (target < 0 || target > 0xFFFFFFFF) return kOriginOutOfRange;
  position_ = static_cast<std::uint32_t>(target);
  if (newPosition) *newPosition = position_;
  return kOk;
}

Result ImageFileStream::Read(void*, std::uint32_t, std::uint32_t*) { return kFail; }

Result ImageFileStream::Write(const void* buffer, std::uint32_t count, std::uint32_t* done) {
  SFX_TRY(WriteAt(position_, buffer, count, done));
  position_ += count;
  return kOk;
}

Result ImageFileStream::WriteAt(std::uint32_t position, const void* buffer, std::uint32_t count, std::uint32_t* done) {
  if (done) *done = 0;
  if (count == 0) return kOk;
  if (!failure_.empty()) return kStreamShortWrite;
  if (count > 0xFFFFFFFFu - position) return Fail("the image would pass 4 GiB");
  if (std::uint64_t{position} + count > failPast_) return Fail(std::strerror(ENOSPC));
  const std::uint64_t at = imageStart_ + position;
  errno = 0;
  // Sequential writes (nearly all of them) need no seek.
  if (at != filePosition_ && !file_.seekp(static_cast<std::streamoff>(at))) return Fail(SystemReason());
  if (!file_.write(static_cast<const char*>(buffer), static_cast<std::streamsize>(count))) return Fail(SystemReason());
  filePosition_ = at + count;
  if (position + count > size_) size_ = position + count;
  if (done) *done = count;
  return kOk;
}

Result ImageFileStream::GetSize(std::uint32_t* size) {
  if (size == nullptr) return kNullOutput;
  *size = size_;
  return kOk;
}

Result ImageFileStream::SetSize(std::uint32_t) { return kFail; }
Result ImageFileStream::Reserve(std::uint32_t) { return kOk; }
Result ImageFileStream::SetParameter(std::uint32_t) { return kOk; }

}  // namespace sfx::cli
