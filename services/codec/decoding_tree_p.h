// A canonical Huffman code as a binary tree of 16-bit node numbers, decoded one
// bit at a time. The decoder uses it only for codes its tables cannot express
// exactly: incomplete codes (an unassigned branch returns the walk to the
// root) and over-subscribed ones (a later code replaces an earlier leaf).
//
// Entry values: 0 no child (back to the root), 1..n an inner node, above
// leafBase a leaf for symbol value - leafBase - 1. Node numbers up to n can be
// reached, so n + 1 entries of each array are in use and cleared on every build.
#pragma once

#include <cstdint>

#include "services/codec/bit_reader_p.h"
#include "services/core/service.h"

namespace sfx::detail {

class DecodingTree {
 public:
  static constexpr std::uint32_t kMaxSymbols = 288;

  // Builds the tree for lengths[0..n-1] (each 0..15); kInflateBadTree when a
  // code's path meets a leaf or needs a node above n.
  Result Build(const std::uint8_t* lengths, std::uint32_t n, std::uint32_t leafBase);
  // Walks from the root one bit at a time; kInflateNoLeaf after 16 bits
  // without a leaf, counting every bit since the symbol began.
  Result Decode(BitReader& in, std::uint32_t* symbol) const;
  // A tree that decodes nothing: every walk ends after 16 bits.
  void Clear();

 private:
  std::uint16_t zero_[kMaxSymbols + 1] = {};
  std::uint16_t one_[kMaxSymbols + 1] = {};
  std::uint32_t leafBase_ = 0;
};

}  // namespace sfx::detail
