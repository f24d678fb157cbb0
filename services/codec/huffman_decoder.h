// General canonical Huffman decoding: an alphabet of any size, codes of up to
// 32 bits. A HuffmanDecoder takes its code lengths raw or in the compressed
// code-length header, builds a code tree from them and turns a bit stream
// (least significant bit first) from a Stream range into fixed-width symbol
// values, each optionally followed by extra bits, written to another Stream.
// The stream carries no symbol count and no end code: every code completed
// before the input ends is output, including codes formed by the fill bits of
// the last byte, so a caller that needs an exact count keeps it beside the data.
//
// The service and its instances share one table: slot 1 is called on the
// service object, slots 2 to 6 on a HuffmanDecoder.
#pragma once

#include <cstdint>

#include "services/core/service.h"
#include "services/core/stream.h"

namespace sfx {

// Codes of the Huffman decoder facility.
inline constexpr Result kHuffmanInputExhausted = FailureCode(facility::kHuffmanDecoder, 0x0001);  // 0x82050001
inline constexpr Result kHuffmanNoLeaf = FailureCode(facility::kHuffmanDecoder, 0x0002);          // no code in 32 bits
inline constexpr Result kHuffmanBadLengths = FailureCode(facility::kHuffmanDecoder, 0x0003);    // lengths form no tree
inline constexpr Result kHuffmanBadExtraBits = FailureCode(facility::kHuffmanDecoder, 0x0004);  // more than 32

// Code-length formats.
inline constexpr std::uint32_t kHuffmanRawLengths = 0;         // n bytes, each 0..32
inline constexpr std::uint32_t kHuffmanCompressedLengths = 1;  // the run-length coded header
// A range size meaning "up to the end of the stream".
inline constexpr std::uint32_t kHuffmanToEndOfStream = 0xFFFFFFFFu;

// The number of extra bits (0..32) that follow the code of `symbol`.
using ExtraBitsFunction = std::uint32_t (*)(std::uint32_t symbol);

class HuffmanDecoder;

class HuffmanDecoderService : public ServiceObject {
 public:
  // 1. Creates a decoder for symbolCount symbols with every length 0 and an
  //    empty tree. kOutOfMemory when the arrays' size does not fit in 32 bits.
  virtual Result CreateHuffmanDecoder(std::uint32_t symbolCount, HuffmanDecoder** out);
  // 2. Frees the arrays and the instance; returns the arrays' free failure.
  virtual Result DestroyHuffmanDecoder() { return kFail; }
  // 3. The n code lengths, which the caller may fill before BuildDecodingTree.
  virtual Result GetCodeLengths(std::uint8_t** /*lengths*/) { return kFail; }
  // 4. Builds the tree from the lengths; kHuffmanBadLengths when a length is
  //    above 32 or the lengths over-subscribe the code.
  virtual Result BuildDecodingTree() { return kFail; }
  // 5. Clears the lengths, reads them (kHuffmanRawLengths: n bytes, the range
  //    must hold n; format bit 0: the compressed header, which may end before
  //    the range does) and builds the tree. Other formats are kFail. A short
  //    read of raw lengths is kStreamShortRead. After a failure the tree is
  //    not usable.
  virtual Result LoadCodeLengths(std::uint32_t /*format*/, Stream* /*stream*/, std::uint32_t /*position*/,
                                 std::uint32_t /*size*/) {
    return kFail;
  }
  // 6. Decodes [position, position + size) of input into output at
  //    outputPosition: each symbol as `width` (1, 2 or 4, else kFail) bytes
  //    little-endian, then, when extraBits gives k > 0 for it, its next k bits
  //    in 1, 2 or 4 bytes. Ends successfully when the input ends, inside a
  //    code or inside extra bits (that last symbol is dropped). written
  //    (optional) receives the bytes output.
  virtual Result DecodeSymbols(std::uint32_t /*flags*/, Stream* /*input*/, std::uint32_t /*position*/,
                               std::uint32_t /*size*/, std::uint32_t /*width*/, ExtraBitsFunction /*extraBits*/,
                               Stream* /*output*/, std::uint32_t /*outputPosition*/, std::uint32_t* /*written*/) {
    return kFail;
  }
  virtual Result ReservedLast() { return kFail; }

  HuffmanDecoderService() = default;
};

// What callers hold: an instance with the same table as the service.
class HuffmanDecoder : public HuffmanDecoderService {
 protected:
  HuffmanDecoder() = default;
};

inline HuffmanDecoderService* HuffmanDecoders() { return Service<HuffmanDecoderService>(Slot::kHuffmanDecoder); }

}  // namespace sfx
