// The decoder's input: compressed bytes from a memory block (read in place) or
// from a range of a Stream (fetched 512 bytes at a time), consumed LSB first
// through a word-wide bit buffer.
//
// Exactness: the reader fetches from the source only when a consumer needs
// more bits than it holds and no buffered byte is left, which is exactly when
// a reader that takes one bit at a time would fetch. So running out of input
// (0x82020001) and source failures surface at the same place as in such a
// reader, and nothing after the last needed bit is ever fetched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "services/codec/inflater.h"
#include "services/core/stream.h"

namespace sfx::detail {

using BitWord = std::size_t;  // 64 bits natively, 32 on the Windows target
inline constexpr unsigned kBitWordBits = sizeof(BitWord) * 8;

class BitReader {
 public:
  static constexpr std::uint32_t kStreamChunk = 512;

  void InitMemory(const void* data, std::uint32_t length);
  void InitStream(Stream* stream, std::uint32_t position, std::uint32_t length);

  // Makes at least n bits available (n <= kBitWordBits - 8).
  Result Need(unsigned n) {
    while (count_ < n) SFX_TRY(PullByte());
    return kOk;
  }
  // Adds one byte to the buffer, fetching from the source when none is left.
  Result PullByte() {
    if (next_ == end_) SFX_TRY(Refill());
    bits_ |= static_cast<BitWord>(*next_++) << count_;
    count_ += 8;
    return kOk;
  }
  Result ReadBits(unsigned n, std::uint32_t* value) {
    SFX_TRY(Need(n));
    *value = static_cast<std::uint32_t>(bits_ & LowMask(n));
    Drop(n);
    return kOk;
  }
  Result ReadBit(std::uint32_t* bit) {
    if (count_ == 0) SFX_TRY(PullByte());
    *bit = static_cast<std::uint32_t>(bits_ & 1);
    Drop(1);
    return kOk;
  }
  // Drops the unread bits of the current byte.
  void AlignToByte() { Drop(count_ & 7); }
  // After alignment: count bytes, from the bit buffer, the fetched bytes and
  // then straight from the source. A source that delivers fewer bytes than
  // its range promised is a read failure, never stale data.
  Result ReadRaw(std::uint8_t* destination, std::uint32_t count);

  BitWord bits() const { return bits_; }
  unsigned count() const { return count_; }
  void Drop(unsigned n) {
    bits_ >>= n;
    count_ -= n;
  }
  static BitWord LowMask(unsigned n) { return (static_cast<BitWord>(1) << n) - 1; }

  // ---- the fast path: whole words from bytes known to be there ----
  // The state lives in locals while the fast path runs, so that the compiler
  // keeps it in registers across the byte stores of the output. The count is
  // kept modulo the word size: Drop may be handed a whole table entry, whose
  // low six bits are what it consumes, and neither the shift nor the
  // subtraction then needs a mask first.
  struct Fast {
    BitWord bits;
    unsigned count;
    const std::uint8_t* next;
    const std::uint8_t* end;

    static constexpr unsigned kCountMask = kBitWordBits - 1;

    std::size_t Buffered() const { return static_cast<std::size_t>(end - next); }
    // Tops the buffer up to at least kBitWordBits - 8 bits with one unaligned
    // load; needs Buffered() >= sizeof(BitWord). The bits of the partly loaded
    // next byte land above count and are loaded again, identically, by the
    // next refill; EndFast clears them.
    void Refill() {
      BitWord word;
      std::memcpy(&word, next, sizeof word);
      bits |= word << (count & kCountMask);
      next += sizeof(BitWord) - 1 - ((count >> 3) & (sizeof(BitWord) - 1));
      count |= kBitWordBits - 8;
    }
    // Consumes the low six bits of n (five on 32-bit targets).
    void Drop(std::uint32_t n) {
      bits >>= (n & kCountMask);
      count -= n;
    }
    std::uint32_t Take(unsigned n) {
      const auto v = static_cast<std::uint32_t>(bits & LowMask(n));
      Drop(n);
      return v;
    }
  };
  std::size_t BufferedBytes() const { return static_cast<std::size_t>(end_ - next_); }
  Fast BeginFast() const { return {bits_, count_, next_, end_}; }
  // Takes the state back and restores the invariant of the exact path: no
  // bits above count.
  void EndFast(const Fast& f) {
    count_ = f.count & Fast::kCountMask;
    bits_ = f.bits & LowMask(count_);
    next_ = f.next;
  }

 private:
  Result Refill();

  BitWord bits_ = 0;
  unsigned count_ = 0;  // valid bits in bits_; above them bits_ is zero outside the fast path
  const std::uint8_t* next_ = nullptr;
  const std::uint8_t* end_ = nullptr;
  Stream* source_ = nullptr;
  std::uint32_t sourcePosition_ = 0;
  std::uint32_t sourceRemaining_ = 0;
  std::uint8_t buffer_[kStreamChunk] = {};
};

}  // namespace sfx::detail
