// The DEFLATE compressor. A Deflater turns input into raw DEFLATE (RFC 1951)
// one piece of at most blockSize bytes at a time: each piece is parsed into
// literals and back-references that never reach outside it, Huffman codes are
// built from that piece's symbol counts, and the piece is written as one
// dynamic-Huffman block. Its output is fully determined by its input and
// blockSize: the same bytes in give the same bytes out on every build.
//
// The service and its instances share one operation table: slot 1 is called
// on the service object, slots 2 to 12 on a Deflater.
#pragma once

#include <cstdint>

#include "services/core/service.h"
#include "services/core/stream.h"

namespace sfx {

// Codes of the deflater facility.
inline constexpr Result kDeflatePieceTooLong = FailureCode(facility::kDeflater, 0x0001);  // 0x82010001
inline constexpr Result kDeflateOutputFull = FailureCode(facility::kDeflater, 0x0002);    // 0x82010002

// The largest piece a Deflater accepts: DEFLATE distances reach back at most
// 32768 bytes, and every back-reference stays inside its piece.
inline constexpr std::uint32_t kDeflateMaxBlockSize = 32768;
// The piece size of the packing tool and the ZIP service.
inline constexpr std::uint32_t kDeflateDefaultBlockSize = 32768;

class Deflater;

// The shared operation table. On the service object only CreateDeflater
// works; the instance operations fail there with kFail.
class DeflaterOperations : public ServiceObject {
 public:
  // 1. blockSize 1..32768 (anything else kFail). Allocates the instance and
  //    its buffers; on a failed allocation frees what it had and returns the
  //    allocation's Result.
  virtual Result CreateDeflater(std::uint32_t blockSize, Deflater** out);
  // 2. Frees the buffers and the instance; the Result of the last failing free, or 0.
  virtual Result DestroyDeflater() { return kFail; }
  // 3. Sets every literal/length and distance count to 0.
  virtual Result ResetFrequencies() { return kFail; }
  // 4. Parses length (at most blockSize, else kDeflatePieceTooLong) bytes into
  //    the Deflater's own symbol arrays and adds the symbols to the counts.
  //    Each output is optional; the arrays stay valid until the next ParseBlock.
  //    literals[j] is the byte, or the match length - 3; distances[j] is 0 for
  //    a literal, else the match distance.
  virtual Result ParseBlock(const void* data, std::uint32_t length, std::uint32_t* count, const std::uint8_t** literals,
                            const std::uint16_t** distances) {
    (void)data, (void)length, (void)count, (void)literals, (void)distances;
    return kFail;
  }
  // 5. Builds the three codes from the current counts. forcedLiterals > 0
  //    (at most 20 is used) first sets the count of literal 0 to the
  //    forcedLiterals-th largest literal count.
  virtual Result BuildTrees(std::uint32_t forcedLiterals) {
    (void)forcedLiterals;
    return kFail;
  }
  // 6. Output into a caller's memory block of capacity bytes.
  virtual Result InitOutput(void* buffer, std::uint32_t capacity) {
    (void)buffer, (void)capacity;
    return kFail;
  }
  // 7. Output onto stream from position on, in 512-byte writes.
  virtual Result InitOutputStream(Stream* stream, std::uint32_t position) {
    (void)stream, (void)position;
    return kFail;
  }
  // 8. Pads the last byte with zero bits, writes what is staged and reports
  //    the number of output bytes (total optional).
  virtual Result FinishOutput(std::uint32_t* total) {
    (void)total;
    return kFail;
  }
  // 9. BFINAL and BTYPE: stored (isCompressed 0), fixed or dynamic.
  virtual Result WriteBlockHeader(std::uint32_t isFinal, std::uint32_t isCompressed, std::uint32_t isDynamic) {
    (void)isFinal, (void)isCompressed, (void)isDynamic;
    return kFail;
  }
  // 10. The dynamic block header for the codes of the last BuildTrees.
  virtual Result WriteDynamicTables() { return kFail; }
  // 11. count symbols and the end-of-block code. With literals or distances
  //     null, the symbols of the last ParseBlock. A symbol without a code or a
  //     distance above 32768 fails with kFail.
  virtual Result WriteBlockData(std::uint32_t count, const std::uint8_t* literals, const std::uint16_t* distances) {
    (void)count, (void)literals, (void)distances;
    return kFail;
  }
  // 12. Compresses length bytes of input from position on into the output
  //     (initialised before, finished after by the caller), updating the
  //     optional CRC-32 and Adler-32 registers over the input. Empty input
  //     writes one final block holding only the end-of-block code.
  virtual Result Compress(Stream* input, std::uint32_t position, std::uint32_t length, std::uint32_t* crc,
                          std::uint32_t* adler) {
    (void)input, (void)position, (void)length, (void)crc, (void)adler;
    return kFail;
  }
  virtual Result ReservedLast() { return kFail; }

 protected:
  DeflaterOperations() = default;
  ~DeflaterOperations() = default;
};

class DeflaterService final : public DeflaterOperations {
 public:
  Result CreateDeflater(std::uint32_t blockSize, Deflater** out) override;
  DeflaterService() = default;
};

// An instance; its concrete kind is private to the compressor.
class Deflater : public DeflaterOperations {
 protected:
  Deflater() = default;
  ~Deflater() = default;
};

inline DeflaterService* Deflaters() { return Service<DeflaterService>(Slot::kDeflater); }

}  // namespace sfx
