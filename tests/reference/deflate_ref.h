// A literal, slow DEFLATE compressor that follows the compressor's rules step
// by step with no shortcuts: the hash-chain parse with its 384-candidate walk
// and lazy rule, the heap-based Huffman construction with its tie-breaks and
// length-limit folding, the run-length rules for code lengths, and a bit
// writer that handles one bit at a time. The production compressor must
// produce exactly its bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sfx::reference {

struct ParsedPiece {
  std::vector<std::uint8_t> literals;    // byte, or match length - 3
  std::vector<std::uint16_t> distances;  // 0 for a literal
};

// Parses one piece and adds its symbols and one end-of-block to the counts
// (286 literal/length and 30 distance counts).
ParsedPiece ReferenceParse(const std::uint8_t* data, std::uint32_t length, std::uint16_t* literalLengthCounts,
                           std::uint16_t* distanceCounts);

struct ReferenceCode {
  std::vector<std::uint8_t> lengths;  // per symbol, 0 = no code
  std::vector<std::uint16_t> codes;   // bit-reversed
  std::uint32_t maxCode = 0;
};

// The Huffman construction for n symbols with the given length limit.
ReferenceCode ReferenceHuffman(const std::uint16_t* counts, std::uint32_t n, std::uint32_t maxBits);

// The code-length symbols (with extra value and width) that send `lengths`.
struct CodeLengthSymbol {
  std::uint32_t symbol, extra, bits;
};
std::vector<CodeLengthSymbol> ReferenceCodeLengthSymbols(const std::vector<std::uint8_t>& lengths);

// Compresses data in pieces of blockSize bytes, one dynamic block each; empty
// input gives one final fixed block holding only end-of-block.
std::vector<std::uint8_t> ReferenceDeflate(const std::uint8_t* data, std::size_t length, std::uint32_t blockSize);

// An independent checking decoder for raw DEFLATE: decodes the stream and
// records every block, and whether each of its Huffman codes is a complete
// prefix code (Kraft sum exactly 1).
struct InspectedBlock {
  bool final = false;
  std::uint32_t type = 0;  // 0 stored, 1 fixed, 2 dynamic
  bool codesComplete = true;
  std::vector<std::uint8_t> literalLengthLengths, distanceLengths, codeLengthLengths;
};
struct InspectedStream {
  bool ok = false;
  std::string error;
  std::vector<std::uint8_t> output;
  std::vector<InspectedBlock> blocks;
  std::size_t bytesUsed = 0;  // up to and including the last byte of the final block
};
InspectedStream InspectDeflateStream(const std::uint8_t* data, std::size_t size);

// True when the lengths (0 = unused) form a complete prefix code.
bool IsCompletePrefixCode(const std::vector<std::uint8_t>& lengths);

}  // namespace sfx::reference
