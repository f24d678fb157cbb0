// The general Huffman decoder under hostile input, and the encoder on what it
// decodes. Layout of an input:
//   byte 0      mode: bits 0-1 where the lengths come from (0 raw bytes,
//               1 compressed header, 2 bytes modulo 33 put in directly and
//               built, 3 compressed header through format 3), bits 2-3 the
//               width (1, 2, 4, or the invalid 3), bits 4-5 the extra-bit
//               rule, bits 6-7 unused
//   bytes 1-2   symbol count n - 1 (little-endian, modulo 4096)
//   bytes 3-4   length of the code-length part L (little-endian)
//   byte 5      re-encoding limit (1..32)
//   then        L bytes of code lengths, then the coded symbols.
// Every call must end in one of its documented results; a successful decode
// must report what it wrote and hold only symbols below n; re-encoding that
// output with a code built from its own counts must decode back to it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "services/codec/huffman_decoder.h"
#include "services/codec/huffman_encoder.h"
#include "services/core/memory_stream.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using sfx::Result;

void Check(bool ok) {
  if (!ok) std::abort();
}

std::uint32_t ExtraUpTo33(std::uint32_t s) { return s % 34; }  // 33 is refused
std::uint32_t ExtraLow(std::uint32_t s) { return s & 15; }
std::uint32_t ExtraWide(std::uint32_t s) { return s % 3 == 0 ? 17 + s % 16 : 0; }
const sfx::ExtraBitsFunction kExtraRules[4] = {nullptr, ExtraUpTo33, ExtraLow, ExtraWide};

sfx::Stream* NewStream(const std::uint8_t* data, std::size_t size) {
  sfx::Stream* s = nullptr;
  Check(sfx::Succeeded(sfx::MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, sfx::kMemoryStreamWritable, &s)));
  if (size > 0) Check(sfx::Succeeded(s->WriteAt(0, data, static_cast<std::uint32_t>(size), nullptr)));
  return s;
}

Bytes Contents(sfx::Stream* s) {
  void* data = nullptr;
  std::uint32_t size = 0;
  Check(sfx::Succeeded(sfx::MemoryStreams()->GetMemoryBlock(s, &data, &size, nullptr)));
  const auto* p = static_cast<const std::uint8_t*>(data);
  return Bytes(p, p + size);
}

Result LoadLengths(sfx::HuffmanDecoder* d, std::uint32_t source, const std::uint8_t* data, std::size_t size,
                   std::uint32_t n) {
  if (source == 2) {
    std::uint8_t* lengths = nullptr;
    Check(d->GetCodeLengths(&lengths) == sfx::kOk);
    for (std::uint32_t s = 0; s < n; ++s) lengths[s] = s < size ? data[s] % 33 : 0;
    const Result r = d->BuildDecodingTree();
    Check(r == sfx::kOk || r == sfx::kHuffmanBadLengths);
    return r;
  }
  sfx::Stream* in = NewStream(data, size);
  const std::uint32_t format = source == 0 ? 0 : source == 1 ? 1 : 3;
  const Result r = d->LoadCodeLengths(format, in, 0, sfx::kHuffmanToEndOfStream);
  Check(r == sfx::kOk || r == sfx::kHuffmanInputExhausted || r == sfx::kHuffmanBadLengths || r == sfx::kHuffmanNoLeaf);
  (void)in->Close();
  return r;
}

// Decodes and checks what the decoder reports about its output.
Result Decode(sfx::HuffmanDecoder* d, const Bytes& input, std::uint32_t width, sfx::ExtraBitsFunction extra,
              std::uint32_t n, Bytes* output) {
  sfx::Stream* in = NewStream(input.data(), input.size());
  sfx::Stream* out = NewStream(nullptr, 0);
  std::uint32_t written = 0;
  const Result r = d->DecodeSymbols(0, in, 0, sfx::kHuffmanToEndOfStream, width, extra, out, 0, &written);
  *output = Contents(out);
  (void)in->Close();
  (void)out->Close();
  if (width == 3) {
    Check(r == sfx::kFail && output->empty());
    return r;
  }
  Check(r == sfx::kOk || r == sfx::kHuffmanNoLeaf || r == sfx::kHuffmanBadExtraBits);
  if (r != sfx::kOk) return r;
  Check(written == output->size());
  if (width == 1 && n > 256) return r;  // values were cut to one byte
  // Walk the records: every symbol below n, every extra value within its bits.
  for (std::size_t at = 0; at < output->size();) {
    Check(at + width <= output->size());
    std::uint32_t s = 0;
    for (std::uint32_t i = 0; i < width; ++i) s |= static_cast<std::uint32_t>((*output)[at + i]) << (8 * i);
    at += width;
    Check(s < n);
    const std::uint32_t k = extra != nullptr ? extra(s) : 0;
    if (k > 0) at += k <= 8 ? 1 : k <= 16 ? 2 : 4;
    Check(at <= output->size());
  }
  return r;
}

// Encodes `symbols` with a code from their own counts; decoding must give them back.
void ReEncode(const Bytes& symbols, std::uint32_t n, std::uint32_t width, sfx::ExtraBitsFunction extra,
              std::uint32_t maxBits) {
  if (symbols.empty() || (width == 1 && n > 256)) return;  // values cut to one byte do not survive
  sfx::HuffmanEncoder* e = nullptr;
  Check(sfx::HuffmanEncoders()->CreateHuffmanEncoder(n, &e) == sfx::kOk);
  sfx::Stream* in = NewStream(symbols.data(), symbols.size());
  Check(e->CountSymbols(sfx::kHuffmanResetCounts, in, 0, sfx::kHuffmanToEndOfStream, width, extra) == sfx::kOk);
  if (e->BuildCode(maxBits) == sfx::kOk) {
    sfx::Stream* header = NewStream(nullptr, 0);
    sfx::Stream* body = NewStream(nullptr, 0);
    std::uint32_t written = 0, measured = 0, estimated = 0;
    Check(e->WriteCodeLengths(sfx::kHuffmanRawLengths, header, 0, nullptr) == sfx::kOk);
    Check(e->EncodeSymbols(0, in, 0, sfx::kHuffmanToEndOfStream, width, extra, body, 0, &written) == sfx::kOk);
    Check(e->MeasureSymbols(in, 0, sfx::kHuffmanToEndOfStream, width, extra, &measured) == sfx::kOk);
    Check(e->EstimateEncodedSize(extra, &estimated) == sfx::kOk);
    Check(written == measured && written == estimated);
    sfx::HuffmanDecoder* d = nullptr;
    Check(sfx::HuffmanDecoders()->CreateHuffmanDecoder(n, &d) == sfx::kOk);
    Check(d->LoadCodeLengths(sfx::kHuffmanRawLengths, header, 0, sfx::kHuffmanToEndOfStream) == sfx::kOk);
    Bytes back;
    Check(Decode(d, Contents(body), width, extra, n, &back) == sfx::kOk);
    Check(back.size() >= symbols.size() && std::memcmp(back.data(), symbols.data(), symbols.size()) == 0);
    (void)d->DestroyHuffmanDecoder();
    (void)header->Close();
    (void)body->Close();
  }
  (void)in->Close();
  (void)e->DestroyHuffmanEncoder();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  (void)sfx::RegisterCoreServices();
  (void)sfx::RegisterCodecServices();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 6) return 0;
  const std::uint32_t source = data[0] & 3;
  const std::uint32_t widths[4] = {1, 2, 4, 3};
  const std::uint32_t width = widths[(data[0] >> 2) & 3];
  const sfx::ExtraBitsFunction extra = kExtraRules[(data[0] >> 4) & 3];
  const std::uint32_t n = 1 + ((data[1] | (data[2] << 8)) % 4096);
  std::size_t lengthBytes = data[3] | (data[4] << 8);
  const std::uint32_t maxBits = 1 + data[5] % 32;
  data += 6;
  size -= 6;
  if (lengthBytes > size) lengthBytes = size;

  sfx::HuffmanDecoder* d = nullptr;
  Check(sfx::HuffmanDecoders()->CreateHuffmanDecoder(n, &d) == sfx::kOk);
  (void)LoadLengths(d, source, data, lengthBytes, n);
  // A failed load leaves a tree that decodes nothing, which must still be safe.
  Bytes output;
  const Bytes coded(data + lengthBytes, data + size);
  if (Decode(d, coded, width, extra, n, &output) == sfx::kOk && output.size() <= (1u << 20)) {
    ReEncode(output, n, width, extra, maxBits);
  }
  (void)d->DestroyHuffmanDecoder();
  return 0;
}
