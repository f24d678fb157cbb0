// The portable parse and the choice of parse for the processor.
#define SFX_PARSE_TARGET
#include "services/codec/crc_dispatch_p.h"
#include "services/codec/deflate_parse_body_p.h"

namespace sfx::deflate {

std::uint32_t ParsePiecePortable(const std::uint8_t* data, std::uint32_t length, const ParseArrays& arrays,
                                 std::uint16_t* literalLengthCounts, std::uint16_t* distanceCounts) {
  return ParsePieceWith<PortableScan>(data, length, arrays, literalLengthCounts, distanceCounts);
}

std::uint32_t ParsePiece(const std::uint8_t* data, std::uint32_t length, const ParseArrays& arrays,
                         std::uint16_t* literalLengthCounts, std::uint16_t* distanceCounts) {
  static_assert(detail::kCpuAvx2 != 0);
  const ParseFunction avx2 = SelectParseAvx2(detail::CpuFeatures());
  return (avx2 != nullptr ? avx2 : ParsePiecePortable)(data, length, arrays, literalLengthCounts, distanceCounts);
}

}  // namespace sfx::deflate
