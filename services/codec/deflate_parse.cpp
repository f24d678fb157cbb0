// The parse of one piece: the body, compiled once here.
#define SFX_PARSE_TARGET
#include "services/codec/deflate_parse_body_p.h"

namespace sfx::deflate {

std::uint32_t ParsePiece(const std::uint8_t* data, std::uint32_t length, const ParseArrays& arrays,
                         std::uint16_t* literalLengthCounts, std::uint16_t* distanceCounts) {
  return ParsePieceWith<PortableScan>(data, length, arrays, literalLengthCounts, distanceCounts);
}

}  // namespace sfx::deflate
