// The decoder's hot loop, compiled once for every processor (inflate_engine.cpp)
// and once more with BMI2 (inflate_engine_bmi2.cpp), whose shifts and masks by
// a register count save the moves through CL that dominate the loop. The body
// is forced inline into each so that each copy is compiled for its own target.
#pragma once

#include <cstring>

#include "services/codec/deflate_constants_p.h"
#include "services/codec/inflate_engine_p.h"

#define SFX_FAST_LOOP_INLINE inline __attribute__((always_inline))

namespace sfx::detail {
namespace fast_loop {

using E = TableEntry;

// The fast path stores at most one match (258 bytes) plus the 29 bytes a wide
// copy may run past it; it needs this much room from pos.
inline constexpr std::size_t kFastRoom = deflate::kMaxMatch + 32;
// Input the fast path needs per step: three refills, each reading a word and
// moving on by less than one.
inline constexpr std::size_t kFastInput = 24;

inline constexpr unsigned kLiteralMask = (1u << kLiteralMainBits) - 1;
inline constexpr unsigned kDistanceMask = (1u << kDistanceMainBits) - 1;

// Copies a match forwards; may store up to 29 bytes past its end. Short
// matches, the common case, take no length-dependent branch.
inline void CopyMatch(std::uint8_t* out, const std::uint8_t* src, std::uint32_t length, std::uint32_t distance) {
  std::uint8_t* const end = out + length;
  if (distance >= 16) {
    std::memcpy(out, src, 16);
    std::memcpy(out + 16, src + 16, 16);
    if (length > 32) {
      out += 32;
      src += 32;
      do {
        std::memcpy(out, src, 16);
        out += 16;
        src += 16;
      } while (out < end);
    }
  } else if (distance >= 8) {
    std::memcpy(out, src, 8);
    std::memcpy(out + 8, src + 8, 8);
    if (length > 16) {
      out += 16;
      src += 16;
      do {
        std::memcpy(out, src, 8);
        out += 8;
        src += 8;
      } while (out < end);
    }
  } else if (distance == 1) {
    std::uint64_t v = *src * 0x0101010101010101ull;
    do {
      std::memcpy(out, &v, 8);
      out += 8;
    } while (out < end);
  } else {
    do {
      *out++ = *src++;
    } while (out < end);
  }
}

// The extra bits of a length or distance entry: the bits it consumed (the
// word before, less the word after shifted back) above the code's own (the
// entry's aux, which the entry shifted by 8 gives in its low six bits).
inline std::uint32_t ExtraValue(BitWord before, BitWord after, std::uint32_t e) {
  constexpr unsigned kMask = BitReader::Fast::kCountMask;
  const BitWord consumed = before ^ (after << (e & kMask));
  return static_cast<std::uint32_t>(consumed >> ((e >> E::kAuxShift) & kMask));
}

// Stores a literal or a pair: two bytes are always written (the fast path has
// room) and out moves by one or two. Little-endian: the first byte is the
// value's low byte.
inline std::uint8_t* PutLiterals(std::uint8_t* out, std::uint32_t e) {
  const auto bytes = static_cast<std::uint16_t>(E::Value(e));
  std::memcpy(out, &bytes, 2);
  return out + 1 + (e >> E::kPairShift);
}

}  // namespace fast_loop

// The hot loop: literals and matches while there is input and output room to
// spare, with no checks of either inside. It stops after the first operation
// that fills the current window, so that the window leaves at the same moment
// as in a ring.
SFX_FAST_LOOP_INLINE Result InflateEngine::FastLoopBody(bool* blockEnd) {
  using namespace fast_loop;
  BitReader::Fast in = in_.BeginFast();
  std::uint8_t* const base = out_.base;
  std::uint8_t* out = base + out_.pos;
  const std::size_t roomLimit = out_.end - kFastRoom;
  const std::size_t chunkLimit = out_.chunkStart + out_.chunkSize;
  std::uint8_t* const limit = base + (roomLimit < chunkLimit ? roomLimit : chunkLimit);
  const std::uint32_t* const lit = literalTable_;
  const std::uint32_t* const dist = distanceTable_;
  const std::uint32_t window = windowSize_;
  // The output total is kept as the distance from a base, not counted.
  std::uint8_t* const out0 = out;
  const std::uint32_t total0 = total_;
  const bool checkReach = total0 < deflate::kMaxDistance || window < deflate::kMaxDistance;
  Result r = kOk;

  if (out > limit || in.Buffered() < kFastInput) {
    in_.EndFast(in);
    return kOk;
  }
  const std::uint8_t* const inLimit = in.end - kFastInput;  // in.next at most here: three refills fit
  // Each pass starts with the buffer refilled and e looked up for its bits.
  in.Refill();
  std::uint32_t e = lit[in.bits & kLiteralMask];
  for (;;) {
    if (e & E::kLiteral) {
      // A refill holds at least 56 bits natively: three literals (or pairs)
      // of at most 15 bits each fit; 24 bits on 32-bit targets, one.
      in.Drop(e);
      out = PutLiterals(out, e);
      if constexpr (kBitWordBits >= 64) {
        // A match that follows starts from a full buffer, as one from the
        // top of the loop does.
        e = lit[in.bits & kLiteralMask];
        if (!(e & E::kLiteral)) {
          in.Refill();
          goto other;
        }
        in.Drop(e);
        out = PutLiterals(out, e);
        e = lit[in.bits & kLiteralMask];
        if (!(e & E::kLiteral)) {
          in.Refill();
          goto other;
        }
        in.Drop(e);
        out = PutLiterals(out, e);
      }
      if (out > limit || in.next > inLimit) break;
      // At least 26 bits (14 on 32-bit targets) are left, enough for the
      // lookup, which then need not wait for the refill.
      e = lit[in.bits & kLiteralMask];
      in.Refill();
      continue;
    }
  other:
    // A literal above may have filled the window: it must leave before
    // anything that can fail is decoded.
    if (out > limit) break;
    // The buffer is full (at least 56 bits natively, 24 on 32-bit targets): a
    // link and a length with its extra bits (20) fit, and natively a distance
    // with its extra bits (28) as well.
    if (e & E::kExceptional) {
      if (e & E::kLink) {
        in.Drop(kLiteralMainBits);
        e = lit[E::Base(e) + (in.bits & BitReader::LowMask(E::SubtableBits(e)))];
        if (e & E::kLiteral) {
          in.Drop(e);
          *out++ = static_cast<std::uint8_t>(E::Value(e));
          if (out > limit || in.next > inLimit) break;
          in.Refill();
          e = lit[in.bits & kLiteralMask];
          continue;
        }
      }
      if (e & E::kExceptional) {
        in.Drop(e);
        if (e & E::kEndOfBlock)
          *blockEnd = true;
        else
          r = kInflateBadLiteral;
        break;
      }
    }
    // The code and its extra bits leave in one shift; the extra bits are
    // taken from the word as it was.
    BitWord saved = in.bits;
    in.Drop(e);
    const std::uint32_t length = E::Base(e) + ExtraValue(saved, in.bits, e);
    if constexpr (kBitWordBits < 64) in.Refill();
    e = dist[in.bits & kDistanceMask];
    if (e & E::kExceptional) {
      // Subtable entries are never exceptional: a distance symbol the block
      // decoder rejects has a 5-bit code.
      if (!(e & E::kLink)) {
        r = kInflateBadDistance;
        break;
      }
      in.Drop(kDistanceMainBits);
      e = dist[E::Base(e) + (in.bits & BitReader::LowMask(E::SubtableBits(e)))];
    }
    std::uint32_t distance = E::Base(e);
    if constexpr (kBitWordBits >= 64) {
      saved = in.bits;
      in.Drop(e);
      distance += ExtraValue(saved, in.bits, e);
    } else {  // 15 + 13 bits may exceed what one 32-bit refill holds
      in.Drop(E::SymbolBits(e));
      in.Refill();
      distance += in.Take(E::ExtraBits(e));
    }
    // Once the output and the window both exceed the longest distance there
    // is nothing to check.
    if (checkReach && (distance > window || distance > total0 + static_cast<std::uint32_t>(out - out0))) {
      r = kInflateBadDistance;
      break;
    }
    // The next entry is looked up before the copy, so the two overlap, and
    // before the refill. At most 48 bits have gone since the last refill
    // natively, and a refill leaves the whole word filled with input (the
    // bytes above count are the next ones, loaded ahead), so at least 16 real
    // bits are there; on 32-bit targets at least 11 are counted.
    e = lit[in.bits & kLiteralMask];
    in.Refill();
    CopyMatch(out, out - distance, length, distance);
    out += length;
    if (out > limit || in.next > inLimit) break;
  }
  in_.EndFast(in);
  out_.pos = static_cast<std::size_t>(out - base);
  total_ = total0 + static_cast<std::uint32_t>(out - out0);
  return r;
}

}  // namespace sfx::detail
