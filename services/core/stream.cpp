#include "services/core/stream.h"

#include <cstring>

#include "services/core/memory_service.h"

namespace sfx {
namespace {

// Generic operations never keep more than this on the stack.
constexpr std::uint32_t kLocalBufferBytes = 512;

// count * width without wrapping; false when it does not fit in 32 bits.
bool ByteCount(std::uint32_t count, std::uint32_t width, std::uint32_t* bytes) {
  if (count > 0xFFFFFFFFu / width) return false;
  *bytes = count * width;
  return true;
}

std::uint16_t Swap16(std::uint16_t v) { return static_cast<std::uint16_t>((v >> 8) | (v << 8)); }

std::uint32_t Swap32(std::uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0x0000FF00u) | ((v << 8) & 0x00FF0000u) | (v << 24);
}

template <class T, T (*SwapFn)(T)>
Result WriteSwapped(Stream* stream, const T* values, std::uint32_t count,
                    Result (Stream::*write)(const void*, std::uint32_t, std::uint32_t*)) {
  constexpr std::uint32_t kPerChunk = kLocalBufferBytes / sizeof(T);
  T chunk[kPerChunk];
  while (count > 0) {
    const std::uint32_t n = count < kPerChunk ? count : kPerChunk;
    for (std::uint32_t i = 0; i < n; ++i) chunk[i] = SwapFn(values[i]);
    SFX_TRY((stream->*write)(chunk, n * static_cast<std::uint32_t>(sizeof(T)), nullptr));
    values += n;
    count -= n;
  }
  return kOk;
}

// Reads exactly `bytes`: a kind whose own Read accepts a short read (memory
// streams) must not leave the rest of the caller's array unwritten.
Result ReadArray(Stream* stream, void* values, std::uint32_t bytes) {
  std::uint32_t done = 0;
  SFX_TRY(stream->Read(values, bytes, &done));
  return done == bytes ? kOk : kStreamShortRead;
}

}  // namespace

Result Stream::ReadAt(std::uint32_t position, void* buffer, std::uint32_t count, std::uint32_t* done) {
  SFX_TRY(Seek(static_cast<std::int32_t>(position), kSeekStart, nullptr));
  return Read(buffer, count, done);
}

Result Stream::WriteAt(std::uint32_t position, const void* buffer, std::uint32_t count, std::uint32_t* done) {
  SFX_TRY(Seek(static_cast<std::int32_t>(position), kSeekStart, nullptr));
  return Write(buffer, count, done);
}

Result Stream::ReadUInt16s(std::uint16_t* values, std::uint32_t count) {
  std::uint32_t bytes;
  if (!ByteCount(count, 2, &bytes)) return kFail;
  return ReadArray(this, values, bytes);
}

Result Stream::WriteUInt16s(const std::uint16_t* values, std::uint32_t count) {
  std::uint32_t bytes;
  if (!ByteCount(count, 2, &bytes)) return kFail;
  return WriteExact(values, bytes);
}

Result Stream::ReadUInt32s(std::uint32_t* values, std::uint32_t count) {
  std::uint32_t bytes;
  if (!ByteCount(count, 4, &bytes)) return kFail;
  return ReadArray(this, values, bytes);
}

Result Stream::WriteUInt32s(const std::uint32_t* values, std::uint32_t count) {
  std::uint32_t bytes;
  if (!ByteCount(count, 4, &bytes)) return kFail;
  return WriteExact(values, bytes);
}

Result Stream::ReadUInt16sBigEndian(std::uint16_t* values, std::uint32_t count) {
  SFX_TRY(ReadUInt16s(values, count));
  for (std::uint32_t i = 0; i < count; ++i) values[i] = Swap16(values[i]);
  return kOk;
}

Result Stream::WriteUInt16sBigEndian(const std::uint16_t* values, std::uint32_t count) {
  return WriteSwapped<std::uint16_t, Swap16>(this, values, count, &Stream::Write);
}

Result Stream::ReadUInt32sBigEndian(std::uint32_t* values, std::uint32_t count) {
  SFX_TRY(ReadUInt32s(values, count));
  for (std::uint32_t i = 0; i < count; ++i) values[i] = Swap32(values[i]);
  return kOk;
}

Result Stream::WriteUInt32sBigEndian(const std::uint32_t* values, std::uint32_t count) {
  return WriteSwapped<std::uint32_t, Swap32>(this, values, count, &Stream::Write);
}

Result Stream::CopyRange(std::uint32_t sourcePosition, std::uint32_t count, Stream* destination,
                         std::uint32_t destinationPosition) {
  std::uint32_t sourceSize = 0;
  if (Failed(GetSize(&sourceSize))) return kStreamSourceSizeUnavailable;
  if (sourcePosition > sourceSize) return kStreamSourceBeyondEnd;
  if (count > sourceSize - sourcePosition) count = sourceSize - sourcePosition;
  if (count == 0) return kOk;

  // The largest heap buffer the copy can use, falling back to the stack when
  // memory is short or the copy is small.
  unsigned char local[kLocalBufferBytes];
  unsigned char* buffer = local;
  void* heapBlock = nullptr;
  std::uint32_t chunk = kLocalBufferBytes;
  for (std::uint32_t size = 16384; size >= 1024; size /= 2) {
    if (count >= size && Succeeded(Memory()->Allocate(size, &heapBlock))) {
      buffer = static_cast<unsigned char*>(heapBlock);
      chunk = size;
      break;
    }
  }

  Result result = kOk;
  const bool backwards =
      destination == this && sourcePosition < destinationPosition && destinationPosition - sourcePosition < count;
  if (backwards) {
    std::uint32_t destinationSize = 0;
    if (Failed(destination->GetSize(&destinationSize))) {
      result = kStreamDestinationSizeUnavailable;
    } else if (destinationSize < destinationPosition + count &&
               Failed(destination->SetSize(destinationPosition + count))) {
      result = kStreamDestinationGrowFailed;
    }
    std::uint32_t remaining = count;
    while (Succeeded(result) && remaining > 0) {
      const std::uint32_t n = remaining < chunk ? remaining : chunk;
      remaining -= n;
      if (Failed(Seek(static_cast<std::int32_t>(sourcePosition + remaining), kSeekStart, nullptr))) {
        result = kStreamSourceSeekFailed;
      } else if (Failed(ReadExact(buffer, n))) {
        result = kStreamSourceReadFailed;
      } else if (Failed(destination->Seek(static_cast<std::int32_t>(destinationPosition + remaining), kSeekStart,
                                          nullptr))) {
        result = kStreamDestinationSeekFailed;
      } else if (Failed(destination->WriteExact(buffer, n))) {
        result = kStreamDestinationWriteFailed;
      }
    }
  } else {
    std::uint32_t done = 0;
    while (Succeeded(result) && done < count) {
      const std::uint32_t n = count - done < chunk ? count - done : chunk;
      if (Failed(Seek(static_cast<std::int32_t>(sourcePosition + done), kSeekStart, nullptr))) {
        result = kStreamSourceSeekFailed;
      } else if (Failed(ReadExact(buffer, n))) {
        result = kStreamSourceReadFailed;
      } else if (Failed(
                     destination->Seek(static_cast<std::int32_t>(destinationPosition + done), kSeekStart, nullptr))) {
        result = kStreamDestinationSeekFailed;
      } else if (Failed(destination->WriteExact(buffer, n))) {
        result = kStreamDestinationWriteFailed;
      }
      done += n;
    }
  }

  if (heapBlock != nullptr) (void)Memory()->Free(heapBlock);
  return result;
}

Result Stream::WriteRepeated(std::uint32_t count, std::uint32_t value, std::uint32_t* written) {
  unsigned char local[kLocalBufferBytes];
  std::memset(local, static_cast<unsigned char>(value), count < kLocalBufferBytes ? count : kLocalBufferBytes);
  if (written) *written = count;
  std::uint32_t remaining = count;
  while (remaining > 0) {
    const std::uint32_t n = remaining < kLocalBufferBytes ? remaining : kLocalBufferBytes;
    std::uint32_t done = 0;
    SFX_TRY(Write(local, n, &done));
    if (done < n) {
      if (written == nullptr) return kStreamShortWrite;
      *written = count - remaining + done;
      return kOk;
    }
    remaining -= n;
  }
  return kOk;
}

}  // namespace sfx
