#include "services/codec/huffman_encoder.h"

#include "services/codec/bit_writer_p.h"
#include "services/codec/huffman_build_p.h"
#include "services/codec/huffman_decoder_format_p.h"
#include "services/core/memory_service.h"
#include "services/core/registry_p.h"

namespace sfx {
namespace {

namespace fmt = detail::huffman;
using deflate::BitWriter;

std::uint32_t LoadLittleEndian(const std::uint8_t* from, std::uint32_t bytes) {
  std::uint32_t value = 0;
  for (std::uint32_t i = 0; i < bytes; ++i) value |= static_cast<std::uint32_t>(from[i]) << (8 * i);
  return value;
}

// ---- reading symbols ----
// Calls visit(symbol, extraBitCount, extraValue) for each symbol of the range,
// read with ReadAt in chunks of up to 512 bytes so that a symbol and its extra
// value always lie in one chunk. Fewer than `width` bytes at the end are
// ignored; a symbol not below n fails before it is visited.
template <class Visit>
Result ForEachSymbol(Stream* input, std::uint32_t position, std::uint32_t size, std::uint32_t width,
                     ExtraBitsFunction extraBits, std::uint32_t n, Visit&& visit) {
  if (!fmt::IsSymbolWidth(width)) return kHuffmanBadWidth;
  if (input == nullptr) return kFail;
  SFX_TRY(fmt::ResolveRange(input, position, &size));
  constexpr std::uint32_t kChunkBytes = 512;
  std::uint8_t chunk[kChunkBytes];
  std::uint32_t at = 0, have = 0;
  // Tops the chunk up so that `need` bytes are buffered, unless the range ends first.
  auto buffer = [&](std::uint32_t need) -> Result {
    if (have - at >= need || size == 0) return kOk;
    const std::uint32_t left = have - at;
    for (std::uint32_t i = 0; i < left; ++i) chunk[i] = chunk[at + i];
    at = 0;
    have = left;
    const std::uint32_t ask = size < kChunkBytes - left ? size : kChunkBytes - left;
    // A stream that delivers fewer bytes than its range holds is not taken at its word.
    std::uint32_t done = 0;
    SFX_TRY(input->ReadAt(position, chunk + left, ask, &done));
    if (done != ask) return kStreamShortRead;
    position += ask;
    size -= ask;
    have += ask;
    return kOk;
  };
  for (;;) {
    SFX_TRY(buffer(width));
    if (have - at < width) return kOk;
    const std::uint32_t symbol = LoadLittleEndian(chunk + at, width);
    if (symbol >= n) return kHuffmanSymbolOutOfRange;
    std::uint32_t k = 0, extraBytes = 0, extra = 0;
    if (extraBits != nullptr) {
      k = extraBits(symbol);
      if (k > fmt::kMaxExtraBits) return kHuffmanBadExtraValue;
    }
    if (k > 0) {
      extraBytes = fmt::ExtraValueBytes(k);
      SFX_TRY(buffer(width + extraBytes));
      if (have - at < width + extraBytes) return kHuffmanBadExtraValue;
      extra = LoadLittleEndian(chunk + at + width, extraBytes);
      if (k < 32) extra &= (std::uint32_t{1} << k) - 1;
    }
    at += width + extraBytes;
    SFX_TRY(visit(symbol, k, extra));
  }
}

// ---- the compressed code-length header ----
// Calls emit(symbol, extra, extraBits) for each code-length symbol that sends
// lengths[0..n): a length that differs from the one before goes plainly; a
// run of 3..6 repeats of the one before goes as a repeat, shorter runs
// plainly; zeros go as 3..10 or 11..138-zero runs, one or two of them plainly.
// The counting pass and the writing pass use this one function.
template <class Emit>
Result ForEachLengthSymbol(const std::uint8_t* lengths, std::uint32_t n, Emit&& emit) {
  std::uint32_t prev = 0xFFFFFFFFu;  // none yet
  for (std::uint32_t i = 0; i < n;) {
    const std::uint32_t v = lengths[i];
    if (v != 0 && v != prev) {
      SFX_TRY(emit(v, 0u, 0u));
      prev = v;
      ++i;
      continue;
    }
    const std::uint32_t most = v != 0 ? fmt::kMaxRepeatPrevious : fmt::kMaxLongZeros;
    std::uint32_t run = 1;
    while (run < most && i + run < n && lengths[i + run] == v) ++run;
    i += run;
    prev = v;
    if (run < fmt::kMinRepeat) {
      for (; run > 0; --run) SFX_TRY(emit(v, 0u, 0u));
    } else if (v != 0) {
      SFX_TRY(emit(fmt::kRepeatPrevious, run - fmt::kMinRepeat, fmt::kRepeatPreviousBits));
    } else if (run <= fmt::kMaxShortZeros) {
      SFX_TRY(emit(fmt::kRepeatZeroShort, run - fmt::kMinRepeat, fmt::kRepeatZeroShortBits));
    } else {
      SFX_TRY(emit(fmt::kRepeatZeroLong, run - fmt::kMinLongZeros, fmt::kRepeatZeroLongBits));
    }
  }
  return kOk;
}

// ---- the instance ----
// One further block of 9n bytes holds the counts (n u32), the codes (n u32,
// bit-reversed) and the lengths (n bytes).
class HuffmanEncoderInstance final : public HuffmanEncoder {
 public:
  Result Allocate(std::uint32_t n) {
    if (n > 0xFFFFFFFFu / 9) return kOutOfMemory;
    void* block = nullptr;
    SFX_TRY(Memory()->Allocate(9 * n, &block));
    // A new encoder has counted nothing and has no code.
    (void)Memory()->Fill(block, 0, 9 * n);  // cannot fail on a block of this size
    symbolCount_ = n;
    counts_ = static_cast<std::uint32_t*>(block);
    codes_ = counts_ + n;
    lengths_ = reinterpret_cast<std::uint8_t*>(codes_ + n);
    return kOk;
  }

  Result DestroyHuffmanEncoder() override {
    const Result r = counts_ != nullptr ? Memory()->Free(counts_) : kOk;
    (void)DeleteInstance(this);  // the instance's own free is not reported
    return Failed(r) ? r : kOk;
  }

  Result ResetSymbolCounts() override {
    for (std::uint32_t s = 0; s < symbolCount_; ++s) counts_[s] = 0;
    return kOk;
  }

  Result GetSymbolCounts(std::uint32_t** counts) override {
    if (counts == nullptr) return kNullOutput;
    *counts = counts_;
    return kOk;
  }

  Result BuildCode(std::uint32_t maxBits) override;

  Result GetCodeLengths(std::uint8_t** lengths) override {
    if (lengths == nullptr) return kNullOutput;
    *lengths = lengths_;
    return kOk;
  }

  Result EstimateEncodedSize(ExtraBitsFunction extraBits, std::uint32_t* bytes) override;

  Result CountSymbols(std::uint32_t flags, Stream* input, std::uint32_t position, std::uint32_t size,
                      std::uint32_t width, ExtraBitsFunction extraBits) override {
    if (!fmt::IsSymbolWidth(width)) return kHuffmanBadWidth;
    if ((flags & kHuffmanResetCounts) != 0) (void)ResetSymbolCounts();  // cannot fail
    return ForEachSymbol(input, position, size, width, extraBits, symbolCount_,
                         [&](std::uint32_t s, std::uint32_t, std::uint32_t) -> Result {
                           if (counts_[s] == 0xFFFFFFFFu) return kFail;  // a count that would wrap
                           ++counts_[s];
                           return kOk;
                         });
  }

  Result WriteCodeLengths(std::uint32_t format, Stream* output, std::uint32_t position,
                          std::uint32_t* written) override;

  Result EncodeSymbols(std::uint32_t flags, Stream* input, std::uint32_t position, std::uint32_t size,
                       std::uint32_t width, ExtraBitsFunction extraBits, Stream* output, std::uint32_t outputPosition,
                       std::uint32_t* written) override;

  Result MeasureSymbols(Stream* input, std::uint32_t position, std::uint32_t size, std::uint32_t width,
                        ExtraBitsFunction extraBits, std::uint32_t* bytes) override;

 private:
  Result WriteCompressedLengths(Stream* output, std::uint32_t position, std::uint32_t* written) const;

  std::uint32_t symbolCount_ = 0;
  std::uint32_t* counts_ = nullptr;  // also the array block
  std::uint32_t maxBits_ = 0;
  std::uint8_t* lengths_ = nullptr;
  std::uint32_t* codes_ = nullptr;
};

// Whole bytes for a bit count, or kFail past 32 bits.
Result BitsToBytes(std::uint64_t bits, std::uint32_t* bytes) {
  const std::uint64_t whole = bits / 8 + (bits % 8 != 0 ? 1 : 0);
  if (whole > 0xFFFFFFFFu) return kFail;
  *bytes = static_cast<std::uint32_t>(whole);
  return kOk;
}

Result HuffmanEncoderInstance::BuildCode(std::uint32_t maxBits) {
  if (maxBits < 1 || maxBits > deflate::kMaxWideCodeBits) return kFail;
  maxBits_ = maxBits;
  const std::uint32_t n = symbolCount_;
  std::uint32_t nodeBytes = 0, countBytes = 0;
  if (!deflate::WideNodeBytes(n, &nodeBytes) || !deflate::WideCountBytes(n, maxBits, &countBytes)) {
    return kOutOfMemory;
  }
  void* nodes = nullptr;
  void* countWords = nullptr;
  SFX_TRY(Memory()->Allocate(nodeBytes, &nodes));
  Result r = Memory()->Allocate(countBytes, &countWords);
  if (Succeeded(r)) {
    r = deflate::BuildWideHuffmanCode(counts_, n, maxBits, nodes, countWords, lengths_, codes_);
    const Result freed = Memory()->Free(countWords);
    if (Succeeded(r)) r = freed;
  }
  const Result freed = Memory()->Free(nodes);
  return Succeeded(r) ? freed : r;
}

Result HuffmanEncoderInstance::EstimateEncodedSize(ExtraBitsFunction extraBits, std::uint32_t* bytes) {
  if (bytes == nullptr) return kNullOutput;
  // Up to 2^32 counts of up to 64 bits over any alphabet: 64 bits can wrap too.
  std::uint64_t bits = 0;
  for (std::uint32_t s = 0; s < symbolCount_; ++s) {
    if (counts_[s] == 0) continue;
    if (lengths_[s] == 0) return kFail;  // a counted symbol that has no code
    std::uint32_t k = 0;
    if (extraBits != nullptr) {
      k = extraBits(s);
      if (k > fmt::kMaxExtraBits) return kHuffmanBadExtraValue;
    }
    const std::uint64_t term = std::uint64_t{lengths_[s] + k} * counts_[s];
    if (term > ~std::uint64_t{0} - bits) return kFail;
    bits += term;
  }
  return BitsToBytes(bits, bytes);
}

Result HuffmanEncoderInstance::MeasureSymbols(Stream* input, std::uint32_t position, std::uint32_t size,
                                              std::uint32_t width, ExtraBitsFunction extraBits, std::uint32_t* bytes) {
  if (bytes == nullptr) return kNullOutput;
  std::uint64_t bits = 0;  // at most 2^32 symbols of at most 64 bits: cannot wrap
  SFX_TRY(ForEachSymbol(input, position, size, width, extraBits, symbolCount_,
                        [&](std::uint32_t s, std::uint32_t k, std::uint32_t) -> Result {
                          if (lengths_[s] == 0) return kFail;  // as EncodeSymbols
                          bits += lengths_[s] + k;
                          return kOk;
                        }));
  return BitsToBytes(bits, bytes);
}

Result HuffmanEncoderInstance::EncodeSymbols(std::uint32_t /*flags*/, Stream* input, std::uint32_t position,
                                             std::uint32_t size, std::uint32_t width, ExtraBitsFunction extraBits,
                                             Stream* output, std::uint32_t outputPosition, std::uint32_t* written) {
  if (!fmt::IsSymbolWidth(width)) return kHuffmanBadWidth;
  if (output == nullptr) return kFail;
  BitWriter writer;
  writer.InitStream(output, outputPosition);
  SFX_TRY(ForEachSymbol(input, position, size, width, extraBits, symbolCount_,
                        [&](std::uint32_t s, std::uint32_t k, std::uint32_t extra) -> Result {
                          // Writing nothing for it would shift every later code.
                          if (lengths_[s] == 0) return kFail;
                          SFX_TRY(writer.Write(codes_[s], lengths_[s]));
                          return writer.Write(extra, k);
                        }));
  std::uint32_t total = 0;
  SFX_TRY(writer.Finish(&total));
  if (written != nullptr) *written = total;
  return kOk;
}

Result HuffmanEncoderInstance::WriteCodeLengths(std::uint32_t format, Stream* output, std::uint32_t position,
                                                std::uint32_t* written) {
  if (output == nullptr) return kFail;
  if ((format & fmt::kCompressedLengthsFlag) != 0) return WriteCompressedLengths(output, position, written);
  if (format != fmt::kRawLengths) return kFail;
  std::uint32_t done = 0;
  SFX_TRY(output->WriteAt(position, lengths_, symbolCount_, &done));
  if (done != symbolCount_) return kStreamShortWrite;
  if (written != nullptr) *written = symbolCount_;
  return kOk;
}

Result HuffmanEncoderInstance::WriteCompressedLengths(Stream* output, std::uint32_t position,
                                                      std::uint32_t* written) const {
  const std::uint32_t n = symbolCount_;
  // Symbol 32 means "repeat": a length of 32 cannot be sent in this header.
  for (std::uint32_t s = 0; s < n; ++s) {
    if (lengths_[s] > fmt::kLargestPlainLength) return kFail;
  }
  std::uint32_t counts[fmt::kLengthCodes] = {};
  (void)ForEachLengthSymbol(lengths_, n, [&](std::uint32_t symbol, std::uint32_t, std::uint32_t) -> Result {
    ++counts[symbol];
    return kOk;
  });  // counting cannot fail

  std::uint32_t nodes[(32 * fmt::kLengthCodes + 16) / 4];
  std::uint32_t countWords[fmt::kMaxLengthCodeBits + 2 * fmt::kLengthCodes + 2];
  std::uint8_t lengths[fmt::kLengthCodes];
  std::uint32_t codes[fmt::kLengthCodes];
  SFX_TRY(deflate::BuildWideHuffmanCode(counts, fmt::kLengthCodes, fmt::kMaxLengthCodeBits, nodes, countWords, lengths,
                                        codes));
  std::uint32_t sent = fmt::kLengthCodes;
  while (sent > fmt::kMinLengthCodes && lengths[fmt::kLengthCodeOrder[sent - 1]] == 0) --sent;

  BitWriter writer;
  writer.InitStream(output, position);
  SFX_TRY(writer.Write(sent - fmt::kMinLengthCodes, fmt::kHclenBits));
  for (std::uint32_t i = 0; i < sent; ++i) {
    SFX_TRY(writer.Write(lengths[fmt::kLengthCodeOrder[i]], fmt::kLengthCodeBits));
  }
  SFX_TRY(ForEachLengthSymbol(lengths_, n,
                              [&](std::uint32_t symbol, std::uint32_t extra, std::uint32_t extraBits) -> Result {
                                SFX_TRY(writer.Write(codes[symbol], lengths[symbol]));
                                return writer.Write(extra, extraBits);
                              }));
  std::uint32_t total = 0;
  SFX_TRY(writer.Finish(&total));
  if (written != nullptr) *written = total;
  return kOk;
}

HuffmanEncoderService g_huffmanEncoderService;

}  // namespace

ServiceObject* detail::TheHuffmanEncoderService() { return &g_huffmanEncoderService; }

Result HuffmanEncoderService::CreateHuffmanEncoder(std::uint32_t symbolCount, HuffmanEncoder** out) {
  if (out == nullptr) return kNullOutput;
  HuffmanEncoderInstance* instance = nullptr;
  if (Failed(NewInstance(&instance))) return kOutOfMemory;
  const Result r = instance->Allocate(symbolCount);
  if (Failed(r)) {
    (void)instance->DestroyHuffmanEncoder();
    return r;
  }
  *out = instance;
  return kOk;
}

}  // namespace sfx
