// The compressor under hostile input. The first byte picks a mode:
//   0: Compress with a block size taken from the next two bytes; the stream
//      must equal the literal reference's byte for byte, decode back to the
//      input and use only complete prefix codes;
//   1: the piecewise operations with forcedLiterals (0..25) from the next byte;
//   2: the Huffman construction on counts taken from the input, against the
//      reference construction, under any length limit that can hold them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "services/codec/deflater.h"
#include "services/codec/huffman_build_p.h"
#include "services/codec/inflater.h"
#include "services/core/memory_stream.h"
#include "tests/reference/deflate_ref.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void Check(bool ok) {
  if (!ok) std::abort();
}

// Decodes with the checking decoder (which also demands complete codes) and
// with the library's Inflater.
void CheckStream(const Bytes& stream, const std::uint8_t* data, std::size_t size) {
  const auto inspected = sfx::reference::InspectDeflateStream(stream.data(), stream.size());
  Check(inspected.ok);
  Check(inspected.bytesUsed == stream.size());
  Check(inspected.output.size() == size && std::equal(inspected.output.begin(), inspected.output.end(), data));
  for (const auto& block : inspected.blocks) Check(block.codesComplete);

  sfx::Inflater* inflater = nullptr;
  Check(sfx::Succeeded(sfx::Inflaters()->CreateInflater(sfx::kInflateFullWindow, &inflater)));
  sfx::Stream* sink = nullptr;
  Check(sfx::Succeeded(sfx::MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, sfx::kMemoryStreamWritable, &sink)));
  std::uint32_t decoded = 0;
  Check(sfx::Succeeded(inflater->InitInput(stream.data(), static_cast<std::uint32_t>(stream.size()))));
  Check(sfx::Succeeded(inflater->Extract(sink, &decoded, nullptr, nullptr, nullptr)));
  void* bytes = nullptr;
  std::uint32_t length = 0;
  (void)sfx::MemoryStreams()->GetMemoryBlock(sink, &bytes, &length, nullptr);
  Check(decoded == size && length == size && (size == 0 || std::memcmp(bytes, data, size) == 0));
  (void)sink->Close();
  (void)inflater->DestroyInflater();
}

void FuzzCompress(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return;
  const std::uint32_t blockSize = 1 + ((data[0] | (data[1] << 8)) & 0x7FFF);
  data += 2;
  size -= 2;
  // Many tiny pieces add little beyond the first few dozen and slow the run.
  if (size / blockSize > 16) size = std::size_t{blockSize} * 16;
  const auto n = static_cast<std::uint32_t>(size);
  sfx::Deflater* d = nullptr;
  Check(sfx::Succeeded(sfx::Deflaters()->CreateDeflater(blockSize, &d)));
  sfx::Stream* in = nullptr;
  Check(sfx::Succeeded(sfx::MemoryStreams()->CreateMemoryStream(const_cast<std::uint8_t*>(data), n, n,
                                                                sfx::kMemoryStreamCallerOwns, &in)));
  Bytes out(2 * size + 1024 + (size / blockSize + 1) * 600);
  std::uint32_t total = 0;
  Check(sfx::Succeeded(d->InitOutput(out.data(), static_cast<std::uint32_t>(out.size()))));
  Check(sfx::Succeeded(d->Compress(in, 0, n, nullptr, nullptr)));
  Check(sfx::Succeeded(d->FinishOutput(&total)));
  out.resize(total);
  (void)in->Close();
  (void)d->DestroyDeflater();
  Check(out == sfx::reference::ReferenceDeflate(data, size, blockSize));
  CheckStream(out, data, size);
}

void FuzzPiecewise(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return;
  const std::uint32_t forced = data[0] % 26;
  data += 1;
  size = std::min<std::size_t>(size - 1, 32768);
  const auto n = static_cast<std::uint32_t>(size);
  sfx::Deflater* d = nullptr;
  Check(sfx::Succeeded(sfx::Deflaters()->CreateDeflater(32768, &d)));
  Bytes out(2 * size + 1024);
  std::uint32_t total = 0;
  Check(sfx::Succeeded(d->InitOutput(out.data(), static_cast<std::uint32_t>(out.size()))));
  Check(sfx::Succeeded(d->ResetFrequencies()));
  Check(sfx::Succeeded(d->ParseBlock(data, n, nullptr, nullptr, nullptr)));
  Check(sfx::Succeeded(d->BuildTrees(forced)));
  Check(sfx::Succeeded(d->WriteBlockHeader(1, 1, 1)));
  Check(sfx::Succeeded(d->WriteDynamicTables()));
  Check(sfx::Succeeded(d->WriteBlockData(0, nullptr, nullptr)));
  Check(sfx::Succeeded(d->FinishOutput(&total)));
  out.resize(total);
  (void)d->DestroyDeflater();
  CheckStream(out, data, size);
}

void FuzzHuffman(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return;
  const std::uint32_t n = 2 + data[0] % 285;  // 2..286
  std::uint32_t minBits = 1;
  while ((1u << minBits) < n) ++minBits;
  const std::uint32_t maxBits = minBits + data[1] % (16 - minBits);  // minBits..15
  data += 2;
  size -= 2;
  std::uint16_t counts[286] = {};
  for (std::uint32_t s = 0; s < n && 2 * s + 1 < size; ++s) {
    counts[s] = static_cast<std::uint16_t>(data[2 * s] | (data[2 * s + 1] << 8));
  }
  sfx::deflate::HuffmanWork work{};
  std::uint8_t lengths[286];
  std::uint16_t codes[286];
  std::uint32_t maxCode = 0;
  sfx::deflate::BuildHuffmanCode(counts, n, maxBits, work, lengths, codes, &maxCode);
  const auto ref = sfx::reference::ReferenceHuffman(counts, n, maxBits);
  Check(maxCode == ref.maxCode);
  for (std::uint32_t s = 0; s < n; ++s) {
    Check(lengths[s] == ref.lengths[s] && lengths[s] <= maxBits);
    if (lengths[s] != 0) Check(codes[s] == ref.codes[s]);
  }
  Check(sfx::reference::IsCompletePrefixCode(Bytes(lengths, lengths + n)));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  (void)sfx::RegisterCoreServices();
  (void)sfx::RegisterCodecServices();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  switch (data[0] % 3) {
    case 0: FuzzCompress(data + 1, size - 1); break;
    case 1: FuzzPiecewise(data + 1, size - 1); break;
    default: FuzzHuffman(data + 1, size - 1); break;
  }
  return 0;
}
