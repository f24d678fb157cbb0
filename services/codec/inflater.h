// Raw DEFLATE decoding (no zlib or gzip wrapper): the inflater service and its
// instances. An Inflater reads compressed bytes from a memory block or a range
// of a Stream and writes the decoded bytes through a ring window of a size
// chosen at creation into an output Stream, running the caller's CRC-32 and
// Adler-32 registers over every piece it writes.
//
// The service and its instances share one table: slot 1 is called on the
// service object, slots 2 to 8 on an Inflater (on the service object those
// slots are not available and return kFail).
#pragma once

#include <cstdint>

#include "services/core/service.h"
#include "services/core/stream.h"

namespace sfx {

// Codes of the inflater facility.
inline constexpr Result kInflateInputExhausted = FailureCode(facility::kInflater, 0x0001);  // input used up
inline constexpr Result kInflateNoLeaf = FailureCode(facility::kInflater, 0x0002);          // no code within 16 bits
inline constexpr Result kInflateBadTree = FailureCode(facility::kInflater, 0x0003);         // lengths form no tree
inline constexpr Result kInflateBadCodeLength = FailureCode(facility::kInflater, 0x0004);   // code-length symbol/repeat
inline constexpr Result kInflateBadCounts = FailureCode(facility::kInflater, 0x0005);       // HLIT/HDIST out of range
inline constexpr Result kInflateBadLiteral = FailureCode(facility::kInflater, 0x0006);      // literal/length symbol
inline constexpr Result kInflateBadDistance = FailureCode(facility::kInflater, 0x0007);     // distance symbol or reach
inline constexpr Result kInflateNoOutput = FailureCode(facility::kInflater, 0x0008);        // window full, no stream
inline constexpr Result kInflateBadBlock = FailureCode(facility::kInflater, 0x0009);        // BTYPE 3 or bad NLEN

// The notification a ProgressSink receives after each block (not a failure).
inline constexpr Result kInflateProgress = MakeResult(0, facility::kInflater, 0x0001);  // 0x02020001

// The window every stream needs (the largest distance DEFLATE can express).
inline constexpr std::uint32_t kInflateFullWindow = 32768;

// Receives progress notifications: operation 1 gets a code and a pointer to
// its data (for the inflater, kInflateProgress and the u32 count of bytes
// decoded so far). A failure it returns stops the work and is passed on.
class ProgressSink : public ServiceObject {
 public:
  virtual Result Notify(std::uint32_t code, void* data) = 0;  // 1
  virtual Result ReservedLast() { return kFail; }

 protected:
  ProgressSink() = default;
  ~ProgressSink() = default;
};

class Inflater;

class InflaterService : public ServiceObject {
 public:
  // 1. Creates an Inflater with a ring window of windowSize bytes (at least
  //    32768 for every stream to decode). A window size of 0 is refused with
  //    kFail; allocation failures are returned and leave nothing behind.
  virtual Result CreateInflater(std::uint32_t windowSize, Inflater** out);
  // 2. Frees the window and the instance; returns the window free's failure.
  virtual Result DestroyInflater() { return kFail; }
  // 3. The input is the memory block [data, data + length), read in place; it
  //    must stay unchanged until decoding ends.
  virtual Result InitInput(const void* /*data*/, std::uint32_t /*length*/) { return kFail; }
  // 4. The input is `length` bytes of `stream` from `position`, fetched 512
  //    bytes at a time; the stream must outlive the decoding.
  virtual Result InitInputStream(Stream* /*stream*/, std::uint32_t /*position*/, std::uint32_t /*length*/) {
    return kFail;
  }
  // 5. Reads BFINAL (stored first) and BTYPE: 0 stored (isCompressed 0,
  //    isDynamic untouched), 1 fixed (1, 0), 2 dynamic (1, 1), 3 kInflateBadBlock.
  virtual Result ReadBlockHeader(std::uint32_t* /*isFinal*/, std::uint32_t* /*isCompressed*/,
                                 std::uint32_t* /*isDynamic*/) {
    return kFail;
  }
  // 6. Reads a dynamic block's code lengths and builds both codes.
  virtual Result ReadDynamicTables() { return kFail; }
  // 7. Decodes one compressed block with the current codes into memory: a null
  //    *buffer means the Inflater's window (its address is stored back and the
  //    capacity is the window size); otherwise the capacity is *size. No output
  //    stream, no checksums; back-references reach only this call's bytes. A
  //    block that does not fit is kInflateNoOutput. *size gets the byte count.
  virtual Result InflateBlock(std::uint8_t** /*buffer*/, std::uint32_t* /*size*/) { return kFail; }
  // 8. Decodes the whole stream into `output` (required). Each of size, crc,
  //    adler and progress is optional; the registers are updated, not started
  //    or finished. Input after the final block is neither read nor checked.
  virtual Result Extract(Stream* /*output*/, std::uint32_t* /*size*/, std::uint32_t* /*crc*/, std::uint32_t* /*adler*/,
                         ProgressSink* /*progress*/) {
    return kFail;
  }
  virtual Result ReservedLast() { return kFail; }

  InflaterService() = default;
};

// What callers hold: an instance with the same table as the service. The
// decoder behind it is private to the codec.
class Inflater : public InflaterService {
 protected:
  Inflater() = default;
};

inline InflaterService* Inflaters() { return Service<InflaterService>(Slot::kInflater); }

}  // namespace sfx
