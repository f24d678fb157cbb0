#include "services/codec/huffman_decoder.h"

#include "services/codec/bit_reader_p.h"
#include "services/codec/huffman_decoder_format_p.h"
#include "services/core/memory_service.h"
#include "services/core/registry_p.h"

namespace sfx {
namespace {

namespace fmt = detail::huffman;
using detail::BitReader;

// The bit reader reports its own input's end; here it is this facility's.
Result FromReader(Result r) { return r == kInflateInputExhausted ? kHuffmanInputExhausted : r; }

// ---- the code tree ----
// Entries are 32-bit: 0 no child (the walk goes back to the root), 1..n an
// inner node, above n a leaf for symbol value - n - 1; node 0 is the root.
// Nodes up to n can be reached, so n + 1 entries of each array are in use.
// The lengths are untrusted: a walk that meets a leaf or needs a node above n
// means they over-subscribe the code.
struct CodeTree {
  std::uint32_t* zero;
  std::uint32_t* one;
  std::uint32_t n;

  void Clear() const {
    for (std::uint32_t i = 0; i <= n; ++i) zero[i] = one[i] = 0;
  }

  Result Build(const std::uint8_t* lengths) const {
    Clear();
    std::uint32_t perLength[fmt::kMaxCodeBits + 1] = {};
    for (std::uint32_t s = 0; s < n; ++s) {
      if (lengths[s] > fmt::kMaxCodeBits) return kHuffmanBadLengths;
      ++perLength[lengths[s]];
    }
    std::uint32_t nextNode = 1;
    std::uint32_t code = 0;  // only the low `length` bits matter, so wrapping is harmless
    for (std::uint32_t length = 1; length <= fmt::kMaxCodeBits; ++length, code <<= 1) {
      for (std::uint32_t s = 0, left = perLength[length]; left != 0; ++s) {
        if (lengths[s] != length) continue;
        --left;
        std::uint32_t node = 0;
        for (std::uint32_t b = length - 1; b >= 1; --b) {
          if (node > n) return kHuffmanBadLengths;
          std::uint32_t& child = ((code >> b) & 1) ? one[node] : zero[node];
          // nextNode may pass n here; moving to it fails on the next check.
          if (child == 0) child = nextNode++;
          node = child;
        }
        if (node > n) return kHuffmanBadLengths;
        ((code & 1) ? one[node] : zero[node]) = n + 1 + s;
        ++code;
      }
    }
    return kOk;
  }

  // One bit at a time from `node`, `walked` bits into the symbol;
  // kHuffmanNoLeaf once 32 bits have gone by without a leaf.
  Result Decode(BitReader& in, std::uint32_t* symbol, std::uint32_t node = 0, std::uint32_t walked = 0) const {
    for (std::uint32_t i = walked; i < fmt::kMaxCodeBits; ++i) {
      if (in.count() == 0) SFX_TRY(FromReader(in.PullByte()));
      const bool bit = (in.bits() & 1) != 0;
      in.Drop(1);
      node = bit ? one[node] : zero[node];
      if (node > n) {
        *symbol = node - n - 1;
        return kOk;
      }
    }
    return kHuffmanNoLeaf;
  }
};

// Where the first eight bits of a symbol lead: straight to a leaf (after
// `bits` of them), or to the node the walk stands on after all eight. It is
// the tree's own walk, precomputed, so decoding gives the same symbols and
// the same failures with or without it.
struct FirstByteEntry {
  std::uint32_t target;  // the symbol, or the node to go on from
  std::uint8_t bits;     // bits used: 1..8
  bool leaf;
};
inline constexpr std::uint32_t kIndexBits = 8;

void IndexTree(const CodeTree& tree, FirstByteEntry* index) {
  for (std::uint32_t pattern = 0; pattern < (1u << kIndexBits); ++pattern) {
    FirstByteEntry e{0, kIndexBits, false};
    std::uint32_t node = 0;
    for (std::uint32_t j = 0; j < kIndexBits; ++j) {
      node = ((pattern >> j) & 1) != 0 ? tree.one[node] : tree.zero[node];
      if (node > tree.n) {
        e = {node - tree.n - 1, static_cast<std::uint8_t>(j + 1), true};
        break;
      }
    }
    if (!e.leaf) e.target = node;
    index[pattern] = e;
  }
}

// Up to 32 bits, least significant first, in pieces the reader's word holds
// on every target.
Result ReadWideBits(BitReader& in, std::uint32_t count, std::uint32_t* value) {
  std::uint32_t low = 0, high = 0;
  const std::uint32_t lowBits = count < 16 ? count : 16;
  SFX_TRY(FromReader(in.ReadBits(lowBits, &low)));
  if (count > 16) SFX_TRY(FromReader(in.ReadBits(count - 16, &high)));
  *value = low | (high << 16);
  return kOk;
}

void StoreLittleEndian(std::uint8_t* to, std::uint32_t value, std::uint32_t bytes) {
  for (std::uint32_t i = 0; i < bytes; ++i) to[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// ---- the instance ----
// One further block holds zeroChild (n + 2 entries), oneChild (n + 2) and
// the n lengths, 9n + 16 bytes in all.
class HuffmanDecoderInstance final : public HuffmanDecoder {
 public:
  static bool ArrayBytes(std::uint32_t n, std::uint32_t* bytes) {
    if (n > (0xFFFFFFFFu - 16) / 9) return false;
    *bytes = 9 * n + 16;
    return true;
  }

  Result Allocate(std::uint32_t n) {
    std::uint32_t bytes = 0;
    if (!ArrayBytes(n, &bytes)) return kOutOfMemory;
    void* block = nullptr;
    SFX_TRY(Memory()->Allocate(bytes, &block));
    // A new decoder has no lengths and a tree that decodes nothing.
    (void)Memory()->Fill(block, 0, bytes);  // cannot fail on a block of this size
    symbolCount_ = n;
    zeroChild_ = static_cast<std::uint32_t*>(block);
    oneChild_ = zeroChild_ + (n + 2);
    lengths_ = reinterpret_cast<std::uint8_t*>(oneChild_ + (n + 2));
    IndexTree(Tree(), index_);
    return kOk;
  }

  Result DestroyHuffmanDecoder() override {
    const Result r = zeroChild_ != nullptr ? Memory()->Free(zeroChild_) : kOk;
    (void)DeleteInstance(this);  // the instance's own free is not reported
    return Failed(r) ? r : kOk;
  }

  Result GetCodeLengths(std::uint8_t** lengths) override {
    if (lengths == nullptr) return kNullOutput;
    *lengths = lengths_;
    return kOk;
  }

  Result BuildDecodingTree() override {
    const CodeTree tree = Tree();
    const Result r = tree.Build(lengths_);
    // A half-built tree is never walked: decoding then finds no leaf.
    if (Failed(r)) tree.Clear();
    IndexTree(tree, index_);
    return r;
  }

  Result LoadCodeLengths(std::uint32_t format, Stream* stream, std::uint32_t position, std::uint32_t size) override {
    if (format != fmt::kRawLengths && (format & fmt::kCompressedLengthsFlag) == 0) return kFail;
    if (stream == nullptr) return kFail;
    for (std::uint32_t s = 0; s < symbolCount_; ++s) lengths_[s] = 0;
    Tree().Clear();
    IndexTree(Tree(), index_);
    SFX_TRY(fmt::ResolveRange(stream, position, &size));
    if (format == fmt::kRawLengths) {
      SFX_TRY(LoadRawLengths(stream, position, size));
    } else {
      SFX_TRY(LoadCompressedLengths(stream, position, size));
    }
    return BuildDecodingTree();
  }

  Result DecodeSymbols(std::uint32_t flags, Stream* input, std::uint32_t position, std::uint32_t size,
                       std::uint32_t width, ExtraBitsFunction extraBits, Stream* output, std::uint32_t outputPosition,
                       std::uint32_t* written) override;

 private:
  CodeTree Tree() const { return {zeroChild_, oneChild_, symbolCount_}; }

  Result LoadRawLengths(Stream* stream, std::uint32_t position, std::uint32_t size) {
    if (size < symbolCount_) return kHuffmanInputExhausted;
    // A stream that delivers fewer bytes than asked is not taken at its word.
    std::uint32_t done = 0;
    SFX_TRY(stream->ReadAt(position, lengths_, symbolCount_, &done));
    return done == symbolCount_ ? kOk : kStreamShortRead;
  }

  Result LoadCompressedLengths(Stream* stream, std::uint32_t position, std::uint32_t size);

  std::uint32_t symbolCount_ = 0;
  std::uint8_t* lengths_ = nullptr;
  std::uint32_t* zeroChild_ = nullptr;  // also the array block
  std::uint32_t* oneChild_ = nullptr;
  FirstByteEntry index_[1u << kIndexBits] = {};
};

Result HuffmanDecoderInstance::LoadCompressedLengths(Stream* stream, std::uint32_t position, std::uint32_t size) {
  BitReader in;
  in.InitStream(stream, position, size);
  std::uint32_t hclen = 0;
  SFX_TRY(FromReader(in.ReadBits(fmt::kHclenBits, &hclen)));
  std::uint8_t codeLengthLengths[fmt::kLengthCodes] = {};
  for (std::uint32_t i = 0; i < hclen + fmt::kMinLengthCodes; ++i) {
    std::uint32_t length = 0;
    SFX_TRY(FromReader(in.ReadBits(fmt::kLengthCodeBits, &length)));
    codeLengthLengths[fmt::kLengthCodeOrder[i]] = static_cast<std::uint8_t>(length);
  }
  std::uint32_t zero[fmt::kLengthCodes + 2], one[fmt::kLengthCodes + 2];
  const CodeTree lengthTree{zero, one, fmt::kLengthCodes};
  SFX_TRY(lengthTree.Build(codeLengthLengths));

  const std::uint32_t n = symbolCount_;
  for (std::uint32_t i = 0; i < n;) {
    std::uint32_t symbol = 0;
    SFX_TRY(lengthTree.Decode(in, &symbol));
    if (symbol <= fmt::kLargestPlainLength) {
      lengths_[i++] = static_cast<std::uint8_t>(symbol);
      continue;
    }
    std::uint32_t repeat = 0;
    std::uint8_t value = 0;
    if (symbol == fmt::kRepeatPrevious) {
      // Nothing precedes the first length: the data is corrupt.
      if (i == 0) return kHuffmanBadLengths;
      SFX_TRY(FromReader(in.ReadBits(fmt::kRepeatPreviousBits, &repeat)));
      repeat += fmt::kMinRepeat;
      value = lengths_[i - 1];
    } else if (symbol == fmt::kRepeatZeroShort) {
      SFX_TRY(FromReader(in.ReadBits(fmt::kRepeatZeroShortBits, &repeat)));
      repeat += fmt::kMinRepeat;
    } else {
      SFX_TRY(FromReader(in.ReadBits(fmt::kRepeatZeroLongBits, &repeat)));
      repeat += fmt::kMinLongZeros;
    }
    if (repeat > n - i) return kHuffmanBadLengths;  // a run past the last length
    for (; repeat > 0; --repeat) lengths_[i++] = value;
  }
  return kOk;
}

Result HuffmanDecoderInstance::DecodeSymbols(std::uint32_t /*flags*/, Stream* input, std::uint32_t position,
                                             std::uint32_t size, std::uint32_t width, ExtraBitsFunction extraBits,
                                             Stream* output, std::uint32_t outputPosition, std::uint32_t* written) {
  if (!fmt::IsSymbolWidth(width) || input == nullptr || output == nullptr) return kFail;
  SFX_TRY(fmt::ResolveRange(input, position, &size));
  BitReader in;
  in.InitStream(input, position, size);
  const CodeTree tree = Tree();

  constexpr std::uint32_t kBufferBytes = 512;
  std::uint8_t buffer[kBufferBytes];
  std::uint32_t used = 0;
  std::uint32_t total = 0;
  auto flush = [&]() -> Result {
    if (used == 0) return kOk;
    if (used > 0xFFFFFFFFu - total) return kFail;  // more than a 32-bit count can report
    std::uint32_t done = 0;
    SFX_TRY(output->WriteAt(outputPosition, buffer, used, &done));
    if (done != used) return kStreamShortWrite;
    outputPosition += used;
    total += used;
    used = 0;
    return kOk;
  };

  for (;;) {
    // The input may end anywhere: inside a code or inside extra bits, the
    // unfinished symbol is dropped and what came before it is kept.
    std::uint32_t symbol = 0;
    Result r = in.Need(kIndexBits);
    if (Succeeded(r)) {
      const FirstByteEntry& e = index_[in.bits() & 0xFF];
      in.Drop(e.bits);
      symbol = e.target;
      if (!e.leaf) r = tree.Decode(in, &symbol, e.target, kIndexBits);
    } else if (r == kInflateInputExhausted) {
      r = tree.Decode(in, &symbol);  // fewer than eight bits are left
    }
    if (r == kHuffmanInputExhausted) break;
    SFX_TRY(r);
    std::uint32_t extraBytes = 0;
    std::uint32_t extra = 0;
    if (extraBits != nullptr) {
      const std::uint32_t k = extraBits(symbol);
      if (k > fmt::kMaxExtraBits) return kHuffmanBadExtraBits;
      if (k > 0) {
        r = ReadWideBits(in, k, &extra);
        if (r == kHuffmanInputExhausted) break;
        SFX_TRY(r);
        extraBytes = fmt::ExtraValueBytes(k);
      }
    }
    if (used + width + extraBytes > kBufferBytes) SFX_TRY(flush());
    StoreLittleEndian(buffer + used, symbol, width);
    used += width;
    StoreLittleEndian(buffer + used, extra, extraBytes);
    used += extraBytes;
  }
  SFX_TRY(flush());
  if (written != nullptr) *written = total;
  return kOk;
}

HuffmanDecoderService g_huffmanDecoderService;

}  // namespace

ServiceObject* detail::TheHuffmanDecoderService() { return &g_huffmanDecoderService; }

Result HuffmanDecoderService::CreateHuffmanDecoder(std::uint32_t symbolCount, HuffmanDecoder** out) {
  if (out == nullptr) return kNullOutput;
  HuffmanDecoderInstance* instance = nullptr;
  if (Failed(NewInstance(&instance))) return kOutOfMemory;
  const Result r = instance->Allocate(symbolCount);
  if (Failed(r)) {
    (void)instance->DestroyHuffmanDecoder();
    return r;
  }
  *out = instance;
  return kOk;
}

}  // namespace sfx
