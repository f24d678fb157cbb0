// The DEFLATE decoding engine behind an Inflater: blocks, codes and the output
// window. Private to the codec.
//
// The output window. Callers see a ring window of windowSize (W) bytes that is
// written to the output stream only when a byte must go into it while it is
// full; the final partial window is written at the end. Inside, the window is
// one linear buffer, so matches and wide copies never wrap:
//
//   [ history: W bytes ][ region: R bytes ][ slack ]
//                  ^chunkStart      ^pos
//
// Bytes from chunkStart to pos are the unwritten window; the W bytes before
// chunkStart are the previous window, which back-references may still reach
// (distances are checked against W and the output total). When more than W
// bytes are pending, the first W leave as one write (the same write, at the
// same moment relative to the input, as in a ring), and when the region runs
// short the history and pending bytes slide back to the front. The slack
// absorbs the fast path's wide stores past the end of a copy.
#pragma once

#include <cstdint>

#include "services/codec/bit_reader_p.h"
#include "services/codec/decoding_tree_p.h"
#include "services/codec/inflate_tables_p.h"
#include "services/codec/inflater.h"
#include "services/core/stream.h"

namespace sfx::detail {

class InflateEngine {
 public:
  Result AllocateWindow(std::uint32_t windowSize);
  Result ReleaseWindow();

  void InitInput(const void* data, std::uint32_t length) { in_.InitMemory(data, length); }
  void InitInputStream(Stream* stream, std::uint32_t position, std::uint32_t length) {
    in_.InitStream(stream, position, length);
  }
  Result ReadBlockHeader(std::uint32_t* isFinal, std::uint32_t* isCompressed, std::uint32_t* isDynamic);
  Result ReadDynamicTables();
  Result InflateBlock(std::uint8_t** buffer, std::uint32_t* size);
  Result Extract(Stream* output, std::uint32_t* size, std::uint32_t* crc, std::uint32_t* adler, ProgressSink* progress);

 private:
  // Where one decoding call puts its bytes.
  struct Output {
    std::uint8_t* base = nullptr;  // buffer start
    std::size_t chunkStart = 0;    // first unwritten byte
    std::size_t pos = 0;           // next byte to produce
    std::size_t end = 0;           // bytes [pos, end) may be written exactly
    std::size_t fastEnd = 0;       // the fast path may store up to here (wide copies)
    std::uint32_t chunkSize = 0;   // W, or InflateBlock's capacity
    bool canSlide = false;         // the window: history and pending bytes may move to the front
    Stream* stream = nullptr;      // null: a full window is kInflateNoOutput
    std::uint32_t* crc = nullptr;
    std::uint32_t* adler = nullptr;
  };

  Result UseFixedCodes();
  Result BuildCode(const std::uint8_t* lengths, unsigned n, bool literal);
  Result DecodeLiteral(std::uint32_t* entry);
  Result DecodeDistance(std::uint32_t* entry);
  Result StoredBlock();
  Result CompressedBlock();
  // The hot loop (inflate_fast_loop_p.h), for every processor and for BMI2.
  Result FastLoop(bool* blockEnd);
  Result FastLoopBmi2(bool* blockEnd);
  Result FastLoopBody(bool* blockEnd);
  Result CarefulOp(bool* blockEnd);
  Result WriteChunk();
  Result WriteFullChunks();
  void Slide();
  Result WritePending();

  std::uint32_t windowSize_ = 0;
  std::uint8_t* window_ = nullptr;
  std::size_t regionEnd_ = 0;  // W + R: where the exact path must stop

  BitReader in_;
  Output out_;
  std::uint32_t total_ = 0;  // bytes produced by the running call (32-bit, as reported)

  // The current codes: a table when complete, else a tree.
  const std::uint32_t* literalTable_ = nullptr;
  const std::uint32_t* distanceTable_ = nullptr;
  DecodingTree literalTree_;
  DecodingTree distanceTree_;
  std::uint32_t literalTableSpace_[kLiteralTableSize];
  std::uint32_t distanceTableSpace_[kDistanceTableSize];
};

}  // namespace sfx::detail
