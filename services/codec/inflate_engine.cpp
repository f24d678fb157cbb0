#include "services/codec/inflate_engine_p.h"

#include <cstring>

#include "services/codec/crc.h"
#include "services/codec/crc_dispatch_p.h"
#include "services/codec/deflate_constants_p.h"
#include "services/codec/inflate_fast_loop_p.h"
#include "services/core/memory_service.h"

namespace sfx::detail {
namespace {

using E = TableEntry;
using fast_loop::kFastInput;
using fast_loop::kFastRoom;

// The region behind the history holds at least this much beyond one window.
constexpr std::uint64_t kMinRegion = 256 * 1024;

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

Result InflateEngine::FastLoop(bool* blockEnd) { return FastLoopBody(blockEnd); }

Result InflateEngine::CompressedBlock() {
  const bool bmi2 = (CpuFeatures() & kCpuBmi2) != 0;
  for (;;) {
    if (out_.canSlide && out_.pos + kFastRoom > out_.end) Slide();
    bool blockEnd = false;
    Result r;
    if (literalTable_ != nullptr && distanceTable_ != nullptr && in_.BufferedBytes() >= kFastInput &&
        out_.pos + kFastRoom <= out_.end && out_.pos <= out_.chunkStart + out_.chunkSize) {
      r = bmi2 ? FastLoopBmi2(&blockEnd) : FastLoop(&blockEnd);
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
