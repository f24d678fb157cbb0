#include "services/codec/decoding_tree_p.h"

#include "services/codec/deflate_constants_p.h"

namespace sfx::detail {

void DecodingTree::Clear() {
  for (std::uint32_t i = 0; i <= kMaxSymbols; ++i) zero_[i] = one_[i] = 0;
  leafBase_ = kMaxSymbols;
}

Result DecodingTree::Build(const std::uint8_t* lengths, std::uint32_t n, std::uint32_t leafBase) {
  for (std::uint32_t i = 0; i <= n; ++i) zero_[i] = one_[i] = 0;
  leafBase_ = leafBase;
  std::uint32_t nextNode = 1;
  std::uint16_t code = 0;
  for (std::uint32_t length = 1; length <= deflate::kMaxCodeLength; ++length) {
    for (std::uint32_t symbol = 0; symbol < n; ++symbol) {
      if (lengths[symbol] != length) continue;
      std::uint32_t node = 0;
      for (int b = static_cast<int>(length) - 1; b >= 1; --b) {
        if (node > n) return kInflateBadTree;
        std::uint16_t& child = ((code >> b) & 1) ? one_[node] : zero_[node];
        // nextNode may pass n here; moving to it fails on the next check.
        if (child == 0) child = static_cast<std::uint16_t>(nextNode++);
        node = child;
      }
      if (node > n) return kInflateBadTree;
      ((code & 1) ? one_[node] : zero_[node]) = static_cast<std::uint16_t>(leafBase + 1 + symbol);
      ++code;
    }
    code = static_cast<std::uint16_t>(code << 1);
  }
  return kOk;
}

Result DecodingTree::Decode(BitReader& in, std::uint32_t* symbol) const {
  std::uint32_t node = 0;
  for (int i = 0; i < 16; ++i) {
    std::uint32_t bit = 0;
    SFX_TRY(in.ReadBit(&bit));
    node = bit ? one_[node] : zero_[node];
    if (node > leafBase_) {
      *symbol = node - leafBase_ - 1;
      return kOk;
    }
  }
  return kInflateNoLeaf;
}

}  // namespace sfx::detail
