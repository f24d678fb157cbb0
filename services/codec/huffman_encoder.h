// General canonical Huffman encoding, the other half of HuffmanDecoder. A
// HuffmanEncoder counts the symbols of an alphabet of n symbols read as
// fixed-width little-endian values from a Stream range, builds a
// length-limited code from the counts with the construction the DEFLATE
// compressor uses (limits up to 32 bits), writes the code lengths raw or in
// the compressed header, and encodes the symbols (each optionally followed by
// extra bits) into a bit stream, least significant bit first, on another
// Stream. The input layout is exactly what HuffmanDecoder::DecodeSymbols
// writes: each symbol in `width` bytes, then, when the ExtraBitsFunction gives
// k > 0 for it, an extra value in 1 (k <= 8), 2 (k <= 16) or 4 bytes of which
// the low k bits are coded.
//
// The service and its instances share one table: slot 1 is called on the
// service object, slots 2 to 11 on a HuffmanEncoder.
#pragma once

#include <cstdint>

#include "services/codec/huffman_decoder.h"
#include "services/core/service.h"
#include "services/core/stream.h"

namespace sfx {

// Codes of the Huffman encoder facility.
inline constexpr Result kHuffmanBadWidth = FailureCode(facility::kHuffmanEncoder, 0x0001);          // 0x82040001
inline constexpr Result kHuffmanSymbolOutOfRange = FailureCode(facility::kHuffmanEncoder, 0x0002);  // value >= n
inline constexpr Result kHuffmanBadExtraValue = FailureCode(facility::kHuffmanEncoder, 0x0003);     // k > 32 or cut off
inline constexpr Result kHuffmanOutputFull = FailureCode(facility::kHuffmanEncoder, 0x0004);

// Flags of CountSymbols.
inline constexpr std::uint32_t kHuffmanResetCounts = 1;

class HuffmanEncoder;

class HuffmanEncoderService : public ServiceObject {
 public:
  // 1. Creates an encoder for symbolCount symbols with every count, length
  //    and code 0. kOutOfMemory when the arrays' size does not fit in 32 bits.
  virtual Result CreateHuffmanEncoder(std::uint32_t symbolCount, HuffmanEncoder** out);
  // 2. Frees the arrays and the instance; returns the arrays' free failure.
  virtual Result DestroyHuffmanEncoder() { return kFail; }
  // 3. Sets every count to 0.
  virtual Result ResetSymbolCounts() { return kFail; }
  // 4. The n counts, which the caller may fill directly.
  virtual Result GetSymbolCounts(std::uint32_t** /*counts*/) { return kFail; }
  // 5. Builds lengths and codes from the counts, no code longer than maxBits
  //    (1..32, else kFail). Fewer than two counted symbols are padded with
  //    symbol 0 or 1 as the DEFLATE compressor does. kFail also when more
  //    symbols are counted than 2^maxBits codes hold, or when the counts add
  //    up past 32 bits; the lengths are then all 0.
  virtual Result BuildCode(std::uint32_t /*maxBits*/) { return kFail; }
  // 6. The n code lengths.
  virtual Result GetCodeLengths(std::uint8_t** /*lengths*/) { return kFail; }
  // 7. The bytes EncodeSymbols would write for the counted symbols:
  //    (sum of (length + extra bits) x count + 7) / 8. kFail when a counted
  //    symbol has no code or the size passes 32 bits.
  virtual Result EstimateEncodedSize(ExtraBitsFunction /*extraBits*/, std::uint32_t* /*bytes*/) { return kFail; }
  // 8. Adds the symbols of [position, position + size) to the counts (flags
  //    bit 0: reset them first). size kHuffmanToEndOfStream reads to the end.
  virtual Result CountSymbols(std::uint32_t /*flags*/, Stream* /*input*/, std::uint32_t /*position*/,
                              std::uint32_t /*size*/, std::uint32_t /*width*/, ExtraBitsFunction /*extraBits*/) {
    return kFail;
  }
  // 9. Writes the lengths at position: kHuffmanRawLengths as n bytes, format
  //    bit 0 as the compressed header (kFail if a length is 32, which that
  //    header cannot express). written (optional) gets the bytes written.
  virtual Result WriteCodeLengths(std::uint32_t /*format*/, Stream* /*output*/, std::uint32_t /*position*/,
                                  std::uint32_t* /*written*/) {
    return kFail;
  }
  // 10. Encodes the symbols of the input range into output at outputPosition;
  //     the last byte is completed with zero bits. A symbol without a code is
  //     kFail. written (optional) gets the bytes written.
  virtual Result EncodeSymbols(std::uint32_t /*flags*/, Stream* /*input*/, std::uint32_t /*position*/,
                               std::uint32_t /*size*/, std::uint32_t /*width*/, ExtraBitsFunction /*extraBits*/,
                               Stream* /*output*/, std::uint32_t /*outputPosition*/, std::uint32_t* /*written*/) {
    return kFail;
  }
  // 11. The bytes EncodeSymbols would write for the range, without writing.
  virtual Result MeasureSymbols(Stream* /*input*/, std::uint32_t /*position*/, std::uint32_t /*size*/,
                                std::uint32_t /*width*/, ExtraBitsFunction /*extraBits*/, std::uint32_t* /*bytes*/) {
    return kFail;
  }
  virtual Result ReservedLast() { return kFail; }

  HuffmanEncoderService() = default;
};

// What callers hold: an instance with the same table as the service.
class HuffmanEncoder : public HuffmanEncoderService {
 protected:
  HuffmanEncoder() = default;
};

inline HuffmanEncoderService* HuffmanEncoders() { return Service<HuffmanEncoderService>(Slot::kHuffmanEncoder); }

}  // namespace sfx
