#include "services/codec/inflate_engine_p.h"

#include <cstring>

#include "services/codec/crc.h"
#include "services/codec/deflate_constants_p.h"
#include "services/core/memory_service.h"

namespace sfx::detail {
namespace {

using E = TableEntry;

// The fast path stores at most one match (258 bytes) plus the 29 bytes a wide
// copy may run past it; it needs this much room from pos.
constexpr std::size_t kFastRoom = deflate::kMaxMatch + 32;
// Input the fast path needs per step: three refills, each reading a word and
// moving on by less than one.
constexpr std::size_t kFastInput = 24;
// The region behind the history holds at least this much beyond one window.
constexpr std::uint64_t kMinRegion = 256 * 1024;

constexpr unsigned kLiteralMask = (1u << kLiteralMainBits) - 1;
constexpr unsigned kDistanceMask = (1u << kDistanceMainBits) - 1;

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

// The extra bits of a length or distance entry, from the bit word as it was
// before the entry was consumed.
inline std::uint32_t ExtraValue(BitWord saved, std::uint32_t e) {
  const unsigned extra = E::ExtraBits(e);
  return static_cast<std::uint32_t>((saved >> (E::CodeBits(e) - extra)) & BitReader::LowMask(extra));
}

// Stores a literal or a pair: two bytes are always written (the fast path has
// room) and out moves by one or two. Little-endian: the first byte is the
// value's low byte.
inline std::uint8_t* PutLiterals(std::uint8_t* out, std::uint32_t e) {
  const auto bytes = static_cast<std::uint16_t>(E::Value(e));
  std::memcpy(out, &bytes, 2);
  return out + 1 + ((e >> E::kPairShift) & 1);
}

}  // namespace

// ---- window ----

// Two layouts, tried in order: a region of two windows (at least one window
// and kMinRegion), which slides once per window of output; and, when that
// cannot be had, one window and kMinRegion, which slides every kMinRegion
// bytes: slower for windows above kMinRegion (each slide moves up to two
// windows), but about 2 W instead of 3 W. The two are the same up to kMinRegion.
Result InflateEngine::AllocateWindow(std::uint32_t windowSize) {
  windowSize_ = windowSize;
  window_ = nullptr;
  const std::uint64_t w = windowSize;
  const std::uint64_t regions[2] = {w + (w > kMinRegion ? w : kMinRegion), w + kMinRegion};
  const int layouts = regions[0] == regions[1] ? 1 : 2;
  Result r = kOutOfMemory;
  for (int layout = 0; layout < layouts; ++layout) {
    const std::uint64_t region = regions[layout];
    const std::uint64_t bytes = w + region + kFastRoom;
    // Larger than the memory service or the address space can give: not asked for.
    if (bytes > kMaxAllocationBytes || bytes > SIZE_MAX / 2) continue;
    void* block = nullptr;
    r = Memory()->Allocate(static_cast<std::uint32_t>(bytes), &block);
    if (Failed(r)) continue;
    window_ = static_cast<std::uint8_t*>(block);
    regionEnd_ = static_cast<std::size_t>(w + region);
    literalTree_.Clear();
    distanceTree_.Clear();
    return kOk;
  }
  return r;
}

Result InflateEngine::ReleaseWindow() {
  Result r = kOk;
  if (window_ != nullptr) {
    r = Memory()->Free(window_);
    window_ = nullptr;
  }
  return r;
}

Result InflateEngine::WriteChunk() {
  if (out_.stream == nullptr) return kInflateNoOutput;
  const std::uint8_t* chunk = out_.base + out_.chunkStart;
  SFX_TRY(out_.stream->Write(chunk, out_.chunkSize, nullptr));
  if (out_.crc != nullptr) (void)Crc()->UpdateCrc32(chunk, out_.chunkSize, out_.crc);
  if (out_.adler != nullptr) (void)Crc()->UpdateAdler32(chunk, out_.chunkSize, out_.adler);
  out_.chunkStart += out_.chunkSize;
  return kOk;
}

Result InflateEngine::WriteFullChunks() {
  while (out_.pos - out_.chunkStart > out_.chunkSize) SFX_TRY(WriteChunk());
  return kOk;
}

void InflateEngine::Slide() {
  const std::size_t from = out_.chunkStart - windowSize_;
  std::memmove(out_.base, out_.base + from, out_.pos - from);
  out_.chunkStart -= from;
  out_.pos -= from;
}

Result InflateEngine::WritePending() {
  const std::uint8_t* chunk = out_.base + out_.chunkStart;
  const auto pending = static_cast<std::uint32_t>(out_.pos - out_.chunkStart);
  if (pending > 0) {
    if (out_.stream == nullptr) return kInflateNoOutput;
    SFX_TRY(out_.stream->Write(chunk, pending, nullptr));
  }
  if (out_.crc != nullptr) (void)Crc()->UpdateCrc32(chunk, pending, out_.crc);
  if (out_.adler != nullptr) (void)Crc()->UpdateAdler32(chunk, pending, out_.adler);
  out_.chunkStart = out_.pos;
  return kOk;
}

// ---- headers and codes ----

Result InflateEngine::ReadBlockHeader(std::uint32_t* isFinal, std::uint32_t* isCompressed, std::uint32_t* isDynamic) {
  std::uint32_t final = 0, type = 0;
  SFX_TRY(in_.ReadBits(deflate::kBfinalBits, &final));
  if (isFinal != nullptr) *isFinal = final;
  SFX_TRY(in_.ReadBits(deflate::kBtypeBits, &type));
  if (type > deflate::kBtypeDynamic) return kInflateBadBlock;
  if (isCompressed != nullptr) *isCompressed = type != deflate::kBtypeStored ? 1 : 0;
  if (type != deflate::kBtypeStored && isDynamic != nullptr) *isDynamic = type == deflate::kBtypeDynamic ? 1 : 0;
  return kOk;
}

Result InflateEngine::UseFixedCodes() {
  literalTable_ = FixedLiteralTable();
  distanceTable_ = FixedDistanceTable();
  return kOk;
}

Result InflateEngine::BuildCode(const std::uint8_t* lengths, unsigned n, bool literal) {
  if (literal) {
    literalTable_ = literalTableSpace_;
    if (BuildDecodeTable(lengths, n, kLiteralSymbolEntries, kLiteralMainBits, literalTableSpace_, kLiteralTableSize)) {
      PairLiterals(literalTableSpace_, kLiteralMainBits);
      return kOk;
    }
    literalTable_ = nullptr;
    return literalTree_.Build(lengths, n, n);
  }
  distanceTable_ = distanceTableSpace_;
  if (BuildDecodeTable(lengths, n, kDistanceSymbolEntries, kDistanceMainBits, distanceTableSpace_, kDistanceTableSize))
    return kOk;
  distanceTable_ = nullptr;
  return distanceTree_.Build(lengths, n, n);
}

Result InflateEngine::ReadDynamicTables() {
  std::uint32_t hlit = 0, hdist = 0, hclen = 0;
  SFX_TRY(in_.ReadBits(deflate::kHlitBits, &hlit));
  SFX_TRY(in_.ReadBits(deflate::kHdistBits, &hdist));
  SFX_TRY(in_.ReadBits(deflate::kHclenBits, &hclen));
  const std::uint32_t nLit = hlit + 257, nDist = hdist + 1, nLen = hclen + 4;
  if (nLit > deflate::kLiteralLengthSymbols || nDist > deflate::kDistanceSymbols) return kInflateBadCounts;

  std::uint8_t codeLengths[deflate::kCodeLengthSymbols] = {};
  for (std::uint32_t i = 0; i < nLen; ++i) {
    std::uint32_t v = 0;
    SFX_TRY(in_.ReadBits(deflate::kCodeLengthBits, &v));
    codeLengths[deflate::kCodeLengthOrder[i]] = static_cast<std::uint8_t>(v);
  }
  std::uint32_t table[kCodeLengthTableSize];
  DecodingTree tree;
  const bool complete = BuildDecodeTable(codeLengths, deflate::kCodeLengthSymbols, kCodeLengthSymbolEntries,
                                         kCodeLengthMainBits, table, kCodeLengthTableSize);
  if (!complete) SFX_TRY(tree.Build(codeLengths, deflate::kCodeLengthSymbols, deflate::kCodeLengthSymbols));

  // The lengths come from the stream and are untrusted: every repeat is
  // checked against what precedes it and the room left.
  std::uint8_t lengths[deflate::kLiteralLengthSymbols + deflate::kDistanceSymbols] = {};
  const std::uint32_t total = nLit + nDist;
  std::uint32_t count = 0;
  while (count < total) {
    std::uint32_t symbol = 0;
    if (complete) {
      std::uint32_t entry = 0;
      SFX_TRY(DecodeEntry(in_, table, kCodeLengthMainBits, &entry));
      symbol = E::Value(entry);
    } else {
      SFX_TRY(tree.Decode(in_, &symbol));
    }
    if (symbol < deflate::kRepeatPrevious) {
      lengths[count++] = static_cast<std::uint8_t>(symbol);
      continue;
    }
    if (symbol > deflate::kRepeatZeroLong) return kInflateBadCodeLength;
    if (symbol == deflate::kRepeatPrevious && count == 0) return kInflateBadCodeLength;
    std::uint32_t extra = 0, repeat = 0;
    std::uint8_t value = 0;
    if (symbol == deflate::kRepeatPrevious) {
      SFX_TRY(in_.ReadBits(deflate::kRepeatPreviousBits, &extra));
      repeat = deflate::kRepeatPreviousMin + extra;
      value = lengths[count - 1];
    } else if (symbol == deflate::kRepeatZeroShort) {
      SFX_TRY(in_.ReadBits(deflate::kRepeatZeroShortBits, &extra));
      repeat = deflate::kRepeatZeroShortMin + extra;
    } else {
      SFX_TRY(in_.ReadBits(deflate::kRepeatZeroLongBits, &extra));
      repeat = deflate::kRepeatZeroLongMin + extra;
    }
    if (repeat > total - count) return kInflateBadCodeLength;
    std::memset(lengths + count, value, repeat);
    count += repeat;
  }

  std::uint8_t literal[deflate::kLiteralLengthSymbols] = {};
  std::uint8_t distance[deflate::kDistanceSymbols] = {};
  std::memcpy(literal, lengths, nLit);
  std::memcpy(distance, lengths + nLit, nDist);
  SFX_TRY(BuildCode(literal, deflate::kLiteralLengthSymbols, true));
  return BuildCode(distance, deflate::kDistanceSymbols, false);
}

// ---- blocks ----

Result InflateEngine::StoredBlock() {
  in_.AlignToByte();
  std::uint8_t header[4];
  SFX_TRY(in_.ReadRaw(header, 4));
  const std::uint32_t len = header[0] | (header[1] << 8);
  const std::uint32_t nlen = header[2] | (header[3] << 8);
  if (len != (~nlen & 0xFFFF)) return kInflateBadBlock;
  std::uint32_t remaining = len;
  while (remaining > 0) {
    // A full window leaves only when a byte must go in.
    if (out_.pos - out_.chunkStart == out_.chunkSize) SFX_TRY(WriteChunk());
    const std::uint32_t room = out_.chunkSize - static_cast<std::uint32_t>(out_.pos - out_.chunkStart);
    const std::uint32_t piece = remaining < room ? remaining : room;
    if (out_.pos + piece > out_.end) Slide();
    SFX_TRY(in_.ReadRaw(out_.base + out_.pos, piece));
    out_.pos += piece;
    total_ += piece;
    remaining -= piece;
  }
  return kOk;
}

Result InflateEngine::DecodeLiteral(std::uint32_t* entry) {
  if (literalTable_ != nullptr) return DecodeEntry(in_, literalTable_, kLiteralMainBits, entry);
  std::uint32_t symbol = 0;
  SFX_TRY(literalTree_.Decode(in_, &symbol));
  *entry = kLiteralSymbolEntries[symbol];
  return kOk;
}

Result InflateEngine::DecodeDistance(std::uint32_t* entry) {
  if (distanceTable_ != nullptr) return DecodeEntry(in_, distanceTable_, kDistanceMainBits, entry);
  std::uint32_t symbol = 0;
  SFX_TRY(distanceTree_.Decode(in_, &symbol));
  *entry = kDistanceSymbolEntries[symbol];
  return kOk;
}

// One literal, match or end of block, taking exactly the bits it needs.
Result InflateEngine::CarefulOp(bool* blockEnd) {
  std::uint32_t e = 0;
  SFX_TRY(DecodeLiteral(&e));
  if (e & E::kLiteral) {
    if (out_.pos == out_.end) return kInflateNoOutput;  // InflateBlock's buffer is full
    out_.base[out_.pos++] = static_cast<std::uint8_t>(E::Value(e));
    ++total_;
    return kOk;
  }
  if (e & E::kExceptional) {
    if (!(e & E::kEndOfBlock)) return kInflateBadLiteral;
    *blockEnd = true;
    return kOk;
  }
  std::uint32_t extra = 0;
  SFX_TRY(in_.ReadBits(E::ExtraBits(e), &extra));
  const std::uint32_t length = E::Value(e) + extra;
  SFX_TRY(DecodeDistance(&e));
  if (e & E::kExceptional) return kInflateBadDistance;
  SFX_TRY(in_.ReadBits(E::ExtraBits(e), &extra));
  const std::uint32_t distance = E::Value(e) + extra;
  if (distance > total_ || distance > windowSize_) return kInflateBadDistance;
  const std::size_t room = out_.end - out_.pos;
  const std::uint32_t fits = length < room ? length : static_cast<std::uint32_t>(room);
  std::uint8_t* out = out_.base + out_.pos;
  for (std::uint32_t i = 0; i < fits; ++i) out[i] = out[i - static_cast<std::ptrdiff_t>(distance)];
  out_.pos += fits;
  total_ += fits;
  return fits == length ? kOk : kInflateNoOutput;
}

// The hot loop: literals and matches while there is input and output room to
// spare, with no checks of either inside. It stops after the first operation
// that fills the current window, so that the window leaves at the same moment
// as in a ring.
Result InflateEngine::FastLoop(bool* blockEnd) {
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
      in.Drop(E::CodeBits(e));
      out = PutLiterals(out, e);
      if constexpr (kBitWordBits >= 64) {
        e = lit[in.bits & kLiteralMask];
        if (!(e & E::kLiteral)) goto other;
        in.Drop(E::CodeBits(e));
        out = PutLiterals(out, e);
        e = lit[in.bits & kLiteralMask];
        if (!(e & E::kLiteral)) goto other;
        in.Drop(E::CodeBits(e));
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
    // At most 30 bits are gone: a link and a length with its extra bits (20) still fit.
    if (e & E::kExceptional) {
      if (e & E::kLink) {
        in.Drop(kLiteralMainBits);
        e = lit[E::Value(e) + (in.bits & BitReader::LowMask(E::ExtraBits(e)))];
        if (e & E::kLiteral) {
          in.Drop(E::CodeBits(e));
          *out++ = static_cast<std::uint8_t>(E::Value(e));
          if (out > limit || in.next > inLimit) break;
          in.Refill();
          e = lit[in.bits & kLiteralMask];
          continue;
        }
      }
      if (e & E::kExceptional) {
        in.Drop(E::CodeBits(e));
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
    in.Drop(E::CodeBits(e));
    const std::uint32_t length = E::Value(e) + ExtraValue(saved, e);
    in.Refill();
    e = dist[in.bits & kDistanceMask];
    if (e & E::kExceptional) {
      // Subtable entries are never exceptional: a distance symbol the block
      // decoder rejects has a 5-bit code.
      if (!(e & E::kLink)) {
        r = kInflateBadDistance;
        break;
      }
      in.Drop(kDistanceMainBits);
      e = dist[E::Value(e) + (in.bits & BitReader::LowMask(E::ExtraBits(e)))];
    }
    std::uint32_t distance = E::Value(e);
    if constexpr (kBitWordBits >= 64) {
      saved = in.bits;
      in.Drop(E::CodeBits(e));
      distance += ExtraValue(saved, e);
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
    // before the refill: at least 28 bits (11 on 32-bit targets) are left.
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

Result InflateEngine::CompressedBlock() {
  for (;;) {
    if (out_.canSlide && out_.pos + kFastRoom > out_.end) Slide();
    bool blockEnd = false;
    Result r;
    if (literalTable_ != nullptr && distanceTable_ != nullptr && in_.BufferedBytes() >= kFastInput &&
        out_.pos + kFastRoom <= out_.end && out_.pos <= out_.chunkStart + out_.chunkSize) {
      r = FastLoop(&blockEnd);
    } else {
      r = CarefulOp(&blockEnd);
    }
    SFX_TRY(r);
    if (out_.pos - out_.chunkStart > out_.chunkSize) SFX_TRY(WriteFullChunks());
    if (blockEnd) return kOk;
  }
}

// ---- whole calls ----

Result InflateEngine::InflateBlock(std::uint8_t** buffer, std::uint32_t* size) {
  out_ = Output{};
  if (*buffer == nullptr) {
    out_.base = window_;
    out_.chunkStart = out_.pos = windowSize_;
    out_.end = regionEnd_;
    out_.chunkSize = windowSize_;
    *buffer = window_ + windowSize_;
  } else {
    out_.base = *buffer;
    out_.end = *size;
    out_.chunkSize = *size;
  }
  total_ = 0;
  SFX_TRY(CompressedBlock());
  *size = static_cast<std::uint32_t>(out_.pos - out_.chunkStart);
  return kOk;
}

Result InflateEngine::Extract(Stream* output, std::uint32_t* size, std::uint32_t* crc, std::uint32_t* adler,
                              ProgressSink* progress) {
  out_ = Output{};
  out_.base = window_;
  out_.chunkStart = out_.pos = windowSize_;
  out_.end = regionEnd_;
  out_.chunkSize = windowSize_;
  out_.canSlide = true;
  out_.stream = output;
  out_.crc = crc;
  out_.adler = adler;
  total_ = 0;
  for (;;) {
    std::uint32_t isFinal = 0, isCompressed = 0, isDynamic = 0;
    SFX_TRY(ReadBlockHeader(&isFinal, &isCompressed, &isDynamic));
    if (!isCompressed) {
      SFX_TRY(StoredBlock());
    } else {
      SFX_TRY(isDynamic ? ReadDynamicTables() : UseFixedCodes());
      SFX_TRY(CompressedBlock());
    }
    if (progress != nullptr) SFX_TRY(progress->Notify(static_cast<std::uint32_t>(kInflateProgress), &total_));
    if (isFinal) break;
  }
  SFX_TRY(WritePending());
  if (size != nullptr) *size = total_;
  return kOk;
}

}  // namespace sfx::detail
