// The block store's layout constants, shared by the store and its streams.
#pragma once

#include <cstdint>

namespace sfx::block_layout {

inline constexpr std::uint32_t kEntryBytes = 4;
inline constexpr std::uint32_t kHeaderWordBytes = 4;
inline constexpr std::uint32_t kMinBlockShift = 9;
inline constexpr std::uint32_t kMinBlockSize = 1u << kMinBlockShift;  // block size code 0
inline constexpr std::uint32_t kMaxSizeCode = 7;                      // 65536-byte blocks
inline constexpr std::uint32_t kSizeCodeMask = 0x7;                   // header word bits 0-2
inline constexpr std::uint32_t kFreeHeadShift = 8;                    // header word bits 8-31

// Entry values.
inline constexpr std::uint32_t kMaxLink = 0xFFFFF;          // links are 20 bits
inline constexpr std::uint32_t kFirstLinkFlag = 0x1000000;  // + next: first block of a longer stream
inline constexpr std::uint32_t kEndMarker = 0xFFF00000;     // + bytes held by the last block
inline constexpr std::uint32_t kMaxBlocks = kMaxLink + 1;   // every block must be linkable
inline constexpr std::uint64_t kMaxBackingBytes = 0xFFFFFFFFu;
inline constexpr std::uint32_t kNoBlock = 0xFFFFFFFFu;

static_assert(kMaxLink < kFirstLinkFlag && 2 * kFirstLinkFlag <= kEndMarker);
static_assert((kMaxLink << kFreeHeadShift) >> kFreeHeadShift == kMaxLink, "freeHead fits the header word");

}  // namespace sfx::block_layout
