// The MD5 compression function, the one hot loop of the digest.
#pragma once

#include <cstdint>

namespace sfx::detail {

// Runs the compression function over `blocks` consecutive 64-byte blocks of
// data, updating state[0..3]. The message words are loaded into a local copy
// that is wiped before returning, so no part of the message stays behind on
// the stack.
void Md5Blocks(std::uint32_t state[4], const std::uint8_t* data, std::uint32_t blocks);

}  // namespace sfx::detail
