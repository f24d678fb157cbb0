// The one interface for positioned and sequential byte transfer. Every kind
// (memory, file, block streams) supplies the basic operations; the generic
// operations are written once here in terms of them and always call them
// through the instance's own virtual table, so a kind may override any slot.
#pragma once

#include <cstdint>

#include "services/core/service.h"

namespace sfx {

// Codes of the stream facility.
inline constexpr Result kStreamSourceSizeUnavailable = FailureCode(facility::kStream, 0x0001);
inline constexpr Result kStreamSourceBeyondEnd = FailureCode(facility::kStream, 0x0002);
inline constexpr Result kStreamSourceSeekFailed = FailureCode(facility::kStream, 0x0003);
inline constexpr Result kStreamDestinationSeekFailed = FailureCode(facility::kStream, 0x0004);
inline constexpr Result kStreamSourceReadFailed = FailureCode(facility::kStream, 0x0005);
inline constexpr Result kStreamDestinationWriteFailed = FailureCode(facility::kStream, 0x0006);
inline constexpr Result kStreamDestinationSizeUnavailable = FailureCode(facility::kStream, 0x0007);
inline constexpr Result kStreamDestinationGrowFailed = FailureCode(facility::kStream, 0x0008);
inline constexpr Result kStreamShortRead = FailureCode(facility::kStream, 0x0009);
inline constexpr Result kStreamShortWrite = FailureCode(facility::kStream, 0x000A);
inline constexpr Result kStreamSeekMismatch = FailureCode(facility::kStream, 0x000B);

enum SeekOrigin : std::uint32_t { kSeekStart = 0, kSeekCurrent = 1, kSeekEnd = 2 };

// Positions, sizes and counts are unsigned 32-bit byte counts. Offsets wrap
// around in 32 bits.
class Stream : public ServiceObject {
 public:
  // ---- own operations (supplied by each kind) ----
  // 1. Releases everything the instance owns and the instance itself.
  virtual Result Close() = 0;
  // 2. origin 0 start, 1 current, 2 end; anything else kOriginOutOfRange.
  //    With newPosition null and origin 0, landing elsewhere is kStreamSeekMismatch.
  virtual Result Seek(std::int32_t offset, std::uint32_t origin, std::uint32_t* newPosition) = 0;
  // 3./4. With done given, a short transfer is reported there and is no
  //    failure; with done null, the kind decides (writes: kStreamShortWrite).
  virtual Result Read(void* buffer, std::uint32_t count, std::uint32_t* done) = 0;
  virtual Result Write(const void* buffer, std::uint32_t count, std::uint32_t* done) = 0;

  // ---- generic operations ----
  virtual Result ReadAt(std::uint32_t position, void* buffer, std::uint32_t count, std::uint32_t* done);  // 5
  virtual Result WriteAt(std::uint32_t position, const void* buffer, std::uint32_t count,
                         std::uint32_t* done);                                             // 6
  virtual Result ReadUInt16s(std::uint16_t* values, std::uint32_t count);                  // 7
  virtual Result WriteUInt16s(const std::uint16_t* values, std::uint32_t count);           // 8
  virtual Result ReadUInt32s(std::uint32_t* values, std::uint32_t count);                  // 9
  virtual Result WriteUInt32s(const std::uint32_t* values, std::uint32_t count);           // 10
  virtual Result ReadUInt16sBigEndian(std::uint16_t* values, std::uint32_t count);         // 11
  virtual Result WriteUInt16sBigEndian(const std::uint16_t* values, std::uint32_t count);  // 12
  virtual Result ReadUInt32sBigEndian(std::uint32_t* values, std::uint32_t count);         // 13
  virtual Result WriteUInt32sBigEndian(const std::uint32_t* values, std::uint32_t count);  // 14

  // ---- own operations ----
  virtual Result GetSize(std::uint32_t* size) = 0;       // 15: kNullOutput when size is null
  virtual Result SetSize(std::uint32_t newSize) = 0;     // 16
  virtual Result Reserve(std::uint32_t capacity) = 0;    // 17
  virtual Result SetParameter(std::uint32_t value) = 0;  // 18

  // ---- generic operations ----
  // 19. Copies to destination (which may be this stream); an overlapping move
  //     towards the end runs backwards.
  virtual Result CopyRange(std::uint32_t sourcePosition, std::uint32_t count, Stream* destination,
                           std::uint32_t destinationPosition);
  // 20. Writes count copies of the low byte of value.
  virtual Result WriteRepeated(std::uint32_t count, std::uint32_t value, std::uint32_t* written);

  virtual Result ReservedLast() { return kFail; }

 protected:
  Stream() = default;
  ~Stream() = default;

  // Reads and writes whose short transfers follow the kind's own rule.
  Result ReadExact(void* buffer, std::uint32_t count) { return Read(buffer, count, nullptr); }
  Result WriteExact(const void* buffer, std::uint32_t count) { return Write(buffer, count, nullptr); }
};

}  // namespace sfx
