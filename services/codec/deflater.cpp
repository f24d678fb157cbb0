#include "services/codec/deflater.h"

#include <algorithm>

#include "services/codec/bit_writer_p.h"
#include "services/codec/crc.h"
#include "services/codec/deflate_parse_p.h"
#include "services/codec/huffman_build_p.h"
#include "services/core/memory_service.h"
#include "services/core/registry_p.h"

namespace sfx {
namespace {

using namespace deflate;

// ---- block format (RFC 1951, 3.2.3 and 3.2.7) ----
inline constexpr std::uint32_t kBfinalBits = 1;
inline constexpr std::uint32_t kBtypeBits = 2;
inline constexpr std::uint32_t kBtypeStored = 0;
inline constexpr std::uint32_t kBtypeFixed = 1;
inline constexpr std::uint32_t kBtypeDynamic = 2;
inline constexpr std::uint32_t kHlitBits = 5;   // literal/length codes - 257
inline constexpr std::uint32_t kHdistBits = 5;  // distance codes - 1
inline constexpr std::uint32_t kHclenBits = 4;  // code-length codes - 4
inline constexpr std::uint32_t kCodeLengthBits = 3;
inline constexpr std::uint32_t kMinCodeLengthCodes = 4;
inline constexpr std::uint32_t kMaxCodeLengthBits = 7;
// The fixed code of end-of-block is seven zero bits.
inline constexpr std::uint32_t kFixedEndOfBlockBits = 7;
inline constexpr std::uint32_t kMaxForcedLiterals = 20;
static_assert(kLiteralLengthSymbols - kFirstLengthSymbol < (1u << kHlitBits));
static_assert(kDistanceSymbols - 1 < (1u << kHdistBits));
static_assert(kCodeLengthSymbols - kMinCodeLengthCodes < (1u << kHclenBits));
static_assert(kMaxCodeLengthBits < (1u << kCodeLengthBits));

inline constexpr std::uint32_t kHeadsBytes = kHashSize * sizeof(std::uint16_t);

DeflaterService g_deflaterService;

class DeflaterInstance final : public Deflater {
 public:
  explicit DeflaterInstance(std::uint32_t blockSize) : blockSize_(blockSize) {}

  Result DestroyDeflater() override;
  Result ResetFrequencies() override;
  Result ParseBlock(const void* data, std::uint32_t length, std::uint32_t* count, const std::uint8_t** literals,
                    const std::uint16_t** distances) override;
  Result BuildTrees(std::uint32_t forcedLiterals) override;
  Result InitOutput(void* buffer, std::uint32_t capacity) override;
  Result InitOutputStream(Stream* stream, std::uint32_t position) override;
  Result FinishOutput(std::uint32_t* total) override;
  Result WriteBlockHeader(std::uint32_t isFinal, std::uint32_t isCompressed, std::uint32_t isDynamic) override;
  Result WriteDynamicTables() override;
  Result WriteBlockData(std::uint32_t count, const std::uint8_t* literals, const std::uint16_t* distances) override;
  Result Compress(Stream* input, std::uint32_t position, std::uint32_t length, std::uint32_t* crc,
                  std::uint32_t* adler) override;

  Result AllocateBuffers();

 private:
  Result WriteCodeLengths(const std::uint8_t* lengths, std::uint32_t count);

  std::uint32_t blockSize_;
  std::uint8_t* piece_ = nullptr;
  std::uint32_t symbolCount_ = 0;
  std::uint8_t* literals_ = nullptr;
  std::uint16_t* distances_ = nullptr;
  std::uint16_t* heads_ = nullptr;
  std::uint16_t* chain_ = nullptr;
  std::uint16_t literalLengthCounts_[kLiteralLengthSymbols] = {};
  std::uint16_t distanceCounts_[kDistanceSymbols] = {};
  HuffmanCode<kLiteralLengthSymbols> literalLengthCode_ = {};
  HuffmanCode<kDistanceSymbols> distanceCode_ = {};
  HuffmanCode<kCodeLengthSymbols> codeLengthCode_ = {};
  std::uint32_t maxBlIndex_ = 0;
  bool treesBuilt_ = false;
  HuffmanWork work_ = {};
  BitWriter writer_;
};

Result AllocateBlock(std::uint32_t bytes, void** out) {
  *out = nullptr;
  return Memory()->Allocate(bytes, out);
}

Result DeflaterInstance::AllocateBuffers() {
  void* block = nullptr;
  SFX_TRY(AllocateBlock(blockSize_, &block));
  piece_ = static_cast<std::uint8_t*>(block);
  SFX_TRY(AllocateBlock(blockSize_, &block));
  literals_ = static_cast<std::uint8_t*>(block);
  SFX_TRY(AllocateBlock(2 * blockSize_, &block));
  distances_ = static_cast<std::uint16_t*>(block);
  SFX_TRY(AllocateBlock(kHeadsBytes, &block));
  heads_ = static_cast<std::uint16_t*>(block);
  (void)Memory()->Fill(heads_, 0, kHeadsBytes);
  // Two 16-bit entries per position: the match finder keeps the positions
  // sorted by hash and each position's place in that order.
  SFX_TRY(AllocateBlock(4 * blockSize_, &block));
  chain_ = static_cast<std::uint16_t*>(block);
  return kOk;
}

template <class T>
void FreeBlock(T*& block, Result* last) {
  if (block == nullptr) return;
  const Result r = Memory()->Free(block);
  if (Failed(r)) *last = r;
  block = nullptr;
}

Result DeflaterInstance::DestroyDeflater() {
  Result last = kOk;
  FreeBlock(chain_, &last);
  FreeBlock(heads_, &last);
  FreeBlock(distances_, &last);
  FreeBlock(literals_, &last);
  FreeBlock(piece_, &last);
  (void)DeleteInstance(this);
  return last;
}

Result DeflaterInstance::ResetFrequencies() {
  std::fill(std::begin(literalLengthCounts_), std::end(literalLengthCounts_), std::uint16_t{0});
  std::fill(std::begin(distanceCounts_), std::end(distanceCounts_), std::uint16_t{0});
  return kOk;
}

Result DeflaterInstance::ParseBlock(const void* data, std::uint32_t length, std::uint32_t* count,
                                    const std::uint8_t** literals, const std::uint16_t** distances) {
  if (length > blockSize_) return kDeflatePieceTooLong;
  symbolCount_ = ParsePiece(static_cast<const std::uint8_t*>(data), length,
                            ParseArrays{literals_, distances_, heads_, chain_}, literalLengthCounts_, distanceCounts_);
  if (count != nullptr) *count = symbolCount_;
  if (literals != nullptr) *literals = literals_;
  if (distances != nullptr) *distances = distances_;
  return kOk;
}

Result DeflaterInstance::BuildTrees(std::uint32_t forcedLiterals) {
  if (forcedLiterals > 0) {
    // Literal 0 takes the count of the forcedLiterals-th most frequent
    // literal (the least frequent one when fewer literals occur).
    const std::uint32_t wanted = std::min(forcedLiterals, kMaxForcedLiterals);
    std::uint16_t occurring[256];
    std::uint32_t n = 0;
    for (std::uint32_t b = 0; b < 256; ++b) {
      if (literalLengthCounts_[b] != 0) occurring[n++] = literalLengthCounts_[b];
    }
    if (n > 0) {
      const std::uint32_t k = std::min(wanted, n) - 1;
      std::nth_element(occurring, occurring + k, occurring + n, [](std::uint16_t a, std::uint16_t b) { return a > b; });
      literalLengthCounts_[0] = occurring[k];
    }
  }
  BuildHuffmanCode(literalLengthCounts_, kLiteralLengthSymbols, kMaxCodeBits, work_, literalLengthCode_.lengths,
                   literalLengthCode_.codes, &literalLengthCode_.maxCode);
  BuildHuffmanCode(distanceCounts_, kDistanceSymbols, kMaxCodeBits, work_, distanceCode_.lengths, distanceCode_.codes,
                   &distanceCode_.maxCode);

  std::uint16_t codeLengthCounts[kCodeLengthSymbols] = {};
  auto count = [&](std::uint32_t symbol, std::uint32_t, std::uint32_t) {
    ++codeLengthCounts[symbol];
    return kOk;
  };
  (void)ForEachCodeLengthSymbol(literalLengthCode_.lengths, literalLengthCode_.maxCode + 1, count);
  (void)ForEachCodeLengthSymbol(distanceCode_.lengths, distanceCode_.maxCode + 1, count);
  BuildHuffmanCode(codeLengthCounts, kCodeLengthSymbols, kMaxCodeLengthBits, work_, codeLengthCode_.lengths,
                   codeLengthCode_.codes, &codeLengthCode_.maxCode);
  maxBlIndex_ = kCodeLengthSymbols - 1;
  while (maxBlIndex_ > kMinCodeLengthCodes - 1 && codeLengthCode_.lengths[kCodeLengthOrder[maxBlIndex_]] == 0) {
    --maxBlIndex_;
  }
  treesBuilt_ = true;
  return kOk;
}

Result DeflaterInstance::InitOutput(void* buffer, std::uint32_t capacity) {
  writer_.InitMemory(buffer, capacity);
  return kOk;
}

Result DeflaterInstance::InitOutputStream(Stream* stream, std::uint32_t position) {
  writer_.InitStream(stream, position);
  return kOk;
}

Result DeflaterInstance::FinishOutput(std::uint32_t* total) { return writer_.Finish(total); }

Result DeflaterInstance::WriteBlockHeader(std::uint32_t isFinal, std::uint32_t isCompressed, std::uint32_t isDynamic) {
  SFX_TRY(writer_.Write(isFinal != 0 ? 1 : 0, kBfinalBits));
  const std::uint32_t type = isCompressed == 0 ? kBtypeStored : (isDynamic != 0 ? kBtypeDynamic : kBtypeFixed);
  return writer_.Write(type, kBtypeBits);
}

Result DeflaterInstance::WriteCodeLengths(const std::uint8_t* lengths, std::uint32_t count) {
  return ForEachCodeLengthSymbol(lengths, count, [this](std::uint32_t symbol, std::uint32_t extra, std::uint32_t bits) {
    SFX_TRY(writer_.Write(codeLengthCode_.codes[symbol], codeLengthCode_.lengths[symbol]));
    return writer_.Write(extra, bits);
  });
}

Result DeflaterInstance::WriteDynamicTables() {
  // Without built codes there is nothing sound to send.
  if (!treesBuilt_) return kFail;
  SFX_TRY(writer_.Write(literalLengthCode_.maxCode - kEndOfBlock, kHlitBits));
  SFX_TRY(writer_.Write(distanceCode_.maxCode, kHdistBits));
  SFX_TRY(writer_.Write(maxBlIndex_ - (kMinCodeLengthCodes - 1), kHclenBits));
  for (std::uint32_t i = 0; i <= maxBlIndex_; ++i) {
    SFX_TRY(writer_.Write(codeLengthCode_.lengths[kCodeLengthOrder[i]], kCodeLengthBits));
  }
  SFX_TRY(WriteCodeLengths(literalLengthCode_.lengths, literalLengthCode_.maxCode + 1));
  return WriteCodeLengths(distanceCode_.lengths, distanceCode_.maxCode + 1);
}

Result DeflaterInstance::WriteBlockData(std::uint32_t count, const std::uint8_t* literals,
                                        const std::uint16_t* distances) {
  if (literals == nullptr || distances == nullptr) {
    literals = literals_;
    distances = distances_;
    count = symbolCount_;
  }
  if (!treesBuilt_) return kFail;
  const std::uint8_t* litLengths = literalLengthCode_.lengths;
  const std::uint16_t* litCodes = literalLengthCode_.codes;
  const std::uint8_t* distLengths = distanceCode_.lengths;
  const std::uint16_t* distCodes = distanceCode_.codes;
  // One symbol into either writer; false when it cannot be written: a symbol
  // without a code, or a distance DEFLATE cannot express, would make the
  // stream undecodable, and the symbols may be the caller's.
  const auto put = [&](auto& writer, std::uint32_t j) {
    const std::uint32_t distance = distances[j];
    if (distance == 0) {
      const std::uint32_t symbol = literals[j];
      if (litLengths[symbol] == 0) return false;
      writer.Put(litCodes[symbol], litLengths[symbol]);
      return true;
    }
    if (distance > kMaxDistance) return false;
    const std::uint32_t length = literals[j] + kMinMatch;
    const std::uint32_t lc = LengthCodeOf(length);
    const std::uint32_t symbol = kFirstLengthSymbol + lc;
    const std::uint32_t dc = DistanceCodeOf(distance);
    if (litLengths[symbol] == 0 || distLengths[dc] == 0) return false;
    writer.Put(litCodes[symbol], litLengths[symbol]);
    writer.Put(length - kLengthBase[lc], kLengthExtraBits[lc]);
    writer.Put(distCodes[dc], distLengths[dc]);
    writer.Put(distance - kDistanceBase[dc], kDistanceExtraBits[dc]);
    return true;
  };
  // While more than eight bytes fit, with the writer's state in registers;
  // then symbol by symbol with every check.
  std::uint32_t j = 0;
  deflate::BitWriter::Fast fast = writer_.BeginFast();
  for (; j < count && fast.HasRoom(); ++j) {
    if (!put(fast, j)) break;
    fast.Drain();
  }
  writer_.EndFast(fast);
  for (; j < count; ++j) {
    if (!put(writer_, j)) return kFail;
    SFX_TRY(writer_.Drain());
  }
  if (litLengths[kEndOfBlock] == 0) return kFail;
  return writer_.Write(litCodes[kEndOfBlock], litLengths[kEndOfBlock]);
}

Result DeflaterInstance::Compress(Stream* input, std::uint32_t position, std::uint32_t length, std::uint32_t* crc,
                                  std::uint32_t* adler) {
  if (length == 0) {
    // The smallest complete stream: one final fixed block holding only
    // end-of-block.
    SFX_TRY(WriteBlockHeader(1, 1, 0));
    return writer_.Write(0, kFixedEndOfBlockBits);
  }
  while (length > 0) {
    const std::uint32_t piece = std::min(blockSize_, length);
    // A memory stream reports a short read as success; stale bytes from the
    // previous piece must never be compressed in its place.
    std::uint32_t done = 0;
    SFX_TRY(input->ReadAt(position, piece_, piece, &done));
    if (done != piece) return kStreamShortRead;
    if (crc != nullptr) SFX_TRY(Crc()->UpdateCrc32(piece_, piece, crc));
    if (adler != nullptr) SFX_TRY(Crc()->UpdateAdler32(piece_, piece, adler));
    SFX_TRY(ResetFrequencies());
    SFX_TRY(ParseBlock(piece_, piece, nullptr, nullptr, nullptr));
    SFX_TRY(BuildTrees(0));
    SFX_TRY(WriteBlockHeader(piece == length ? 1 : 0, 1, 1));
    SFX_TRY(WriteDynamicTables());
    SFX_TRY(WriteBlockData(0, nullptr, nullptr));
    length -= piece;
    position += piece;
  }
  return kOk;
}

}  // namespace

ServiceObject* detail::TheDeflaterService() { return &g_deflaterService; }

Result DeflaterOperations::CreateDeflater(std::uint32_t blockSize, Deflater** out) {
  // The service and its instances share this slot.
  return Deflaters()->CreateDeflater(blockSize, out);
}

Result DeflaterService::CreateDeflater(std::uint32_t blockSize, Deflater** out) {
  if (out == nullptr) return kNullOutput;
  // 0 would never finish a piece; above 32768 distances outgrow DEFLATE.
  if (blockSize == 0 || blockSize > kDeflateMaxBlockSize) return kFail;
  DeflaterInstance* d = nullptr;
  if (Failed(NewInstance(&d, blockSize))) return kOutOfMemory;
  const Result r = d->AllocateBuffers();
  if (Failed(r)) {
    (void)d->DestroyDeflater();
    return r;
  }
  *out = d;
  return kOk;
}

}  // namespace sfx
