// Packs a bit stream least significant bit first into a caller's memory block
// or onto a Stream. A byte leaves the writer as soon as its eighth bit is in:
// in memory mode it goes straight into the block (the first byte that does
// not fit fails with kDeflateOutputFull); in stream mode it is staged in a
// 512-byte buffer that is written with WriteAt at an explicit position each
// time it fills, so the output can be placed anywhere in a stream.
#pragma once

#include <cstdint>
#include <cstring>

#include "services/core/service.h"
#include "services/core/stream.h"

namespace sfx::deflate {

class BitWriter {
 public:
  static constexpr std::uint32_t kStagingBytes = 512;

  void InitMemory(void* buffer, std::uint32_t capacity);
  void InitStream(Stream* stream, std::uint32_t position);

  // Appends the low `count` bits of value (count at most 32).
  Result Write(std::uint32_t value, std::uint32_t count) {
    if (count == 0) return kOk;
    bits_ |= static_cast<std::uint64_t>(value & (0xFFFFFFFFu >> (32 - count))) << bitCount_;
    bitCount_ += count;
    return bitCount_ >= 8 ? Drain() : kOk;
  }

  // Appends without draining: after a Drain at most 7 bits are pending, so up
  // to 57 bits may be put before the next Drain. value holds no bits above count.
  void Put(std::uint64_t value, std::uint32_t count) {
    bits_ |= value << bitCount_;
    bitCount_ += count;
  }
  // Moves every complete byte out.
  Result Drain() {
    if (capacity_ - count_ > 8) {
      // Room for all eight pending bytes, and (in stream mode) the staging
      // buffer cannot fill: the complete ones are stored at once (the bytes
      // are in stream order on little-endian targets).
      const std::uint32_t complete = bitCount_ >> 3;
      StoreComplete(output_ + count_, bits_, complete);
      count_ += complete;
      total_ += complete;
      bits_ = (bits_ >> (4 * complete)) >> (4 * complete);  // all 64 may have left
      bitCount_ &= 7;
      return kOk;
    }
    return DrainChecked();
  }

  // Stores the `complete` (0 to 8) low bytes of `bits` at `out` with one
  // eight-byte store; the bytes after them keep what they held. In memory
  // mode they are the caller's, past the output so far: a caller may rely on
  // nothing being written beyond the size reported.
  static void StoreComplete(std::uint8_t* out, std::uint64_t bits, std::uint32_t complete) {
    std::uint64_t old;
    std::memcpy(&old, out, sizeof old);
    const std::uint64_t keep = (~std::uint64_t{0} << (4 * complete)) << (4 * complete);
    const std::uint64_t merged = (bits & ~keep) | (old & keep);
    std::memcpy(out, &merged, sizeof merged);
  }

  // ---- the fast path: the state in locals while eight bytes fit ----
  // The compiler keeps these in registers across the byte stores; Drain there
  // is Drain above without the check, which the caller makes once per step
  // with HasRoom; at most 56 bits may be put between two, so that fewer than
  // 64 are pending and the shift stays below 64.
  struct Fast {
    std::uint64_t bits;
    std::uint32_t bitCount;
    std::uint8_t* out;
    std::uint8_t* limit;  // out below it: more than eight bytes fit

    bool HasRoom() const { return out < limit; }
    void Put(std::uint64_t value, std::uint32_t count) {
      bits |= value << bitCount;
      bitCount += count;
    }
    void Drain() {
      const std::uint32_t complete = bitCount >> 3;
      StoreComplete(out, bits, complete);
      out += complete;
      bits >>= 8 * complete;
      bitCount &= 7;
    }
  };
  Fast BeginFast() {
    std::uint8_t* const out = output_ + count_;
    return {bits_, bitCount_, out, capacity_ - count_ > 8 ? output_ + capacity_ - 8 : out};
  }
  void EndFast(const Fast& f) {
    const auto complete = static_cast<std::uint32_t>(f.out - (output_ + count_));
    count_ += complete;
    total_ += complete;
    bits_ = f.bits;
    bitCount_ = f.bitCount;
  }

  // Pads the last byte with zero bits, writes what is staged and reports the
  // output size (total optional).
  Result Finish(std::uint32_t* total);

 private:
  Result DrainChecked();

  std::uint8_t buffer_[kStagingBytes];
  std::uint8_t* output_ = nullptr;  // the caller's block, or buffer_
  std::uint32_t capacity_ = 0;
  std::uint32_t count_ = 0;  // bytes in output_ (in stream mode: not yet written)
  std::uint64_t bits_ = 0;   // pending bits, the oldest in bit 0
  std::uint32_t bitCount_ = 0;
  Stream* stream_ = nullptr;
  std::uint32_t position_ = 0;  // where the next staged bytes go
  std::uint32_t total_ = 0;     // bytes completed since Init
};

}  // namespace sfx::deflate
