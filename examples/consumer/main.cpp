// Decompresses a raw DEFLATE file with the inflater, and resolves a relative
// URL against a base, through the installed sfxkit service library.
//
//   consumer inflate IN OUT      prints the decoded size and CRC-32
//   consumer resolve BASE REF    prints the resolved URL
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "services/codec/inflater.h"
#include "services/core/memory_stream.h"
#include "services/core/service.h"
#include "services/locator/url_service.h"

namespace {

int Inflate(const char* in, const char* out) {
  std::ifstream file(in, std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "consumer: cannot open '%s'\n", in);
    return 1;
  }
  const std::vector<char> input((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());

  sfx::Stream* output = nullptr;
  sfx::Inflater* inflater = nullptr;
  sfx::Result r = sfx::MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, sfx::kMemoryStreamWritable, &output);
  if (sfx::Succeeded(r)) r = sfx::Inflaters()->CreateInflater(sfx::kInflateFullWindow, &inflater);
  if (sfx::Succeeded(r)) r = inflater->InitInput(input.data(), static_cast<std::uint32_t>(input.size()));
  std::uint32_t size = 0;
  std::uint32_t crc = 0xFFFFFFFFu;
  if (sfx::Succeeded(r)) r = inflater->Extract(output, &size, &crc, nullptr, nullptr);
  if (inflater) (void)inflater->DestroyInflater();  // the decoding result is what counts
  void* data = nullptr;
  if (sfx::Succeeded(r)) r = sfx::MemoryStreams()->GetMemoryBlock(output, &data, nullptr, nullptr);
  if (sfx::Succeeded(r)) {
    std::ofstream(out, std::ios::binary).write(static_cast<const char*>(data), size);
    std::printf("%u bytes, CRC-32 %08x\n", size, ~crc);
  } else {
    std::fprintf(stderr, "consumer: inflating '%s' failed with 0x%08X\n", in, static_cast<unsigned>(r.value));
  }
  if (output) (void)output->Close();
  return sfx::Succeeded(r) ? 0 : 1;
}

int Resolve(const char* base, const char* relative) {
  char resolved[1024];
  std::uint32_t capacity = sizeof resolved;
  const sfx::Result r =
      sfx::Urls()->ResolveUrl(base, static_cast<std::uint32_t>(std::strlen(base)), nullptr, relative,
                              static_cast<std::uint32_t>(std::strlen(relative)), resolved, &capacity, nullptr);
  if (sfx::Failed(r)) {
    std::fprintf(stderr, "consumer: resolving failed with 0x%08X\n", static_cast<unsigned>(r.value));
    return 1;
  }
  std::printf("%s\n", resolved);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (sfx::Failed(sfx::RegisterCoreServices()) || sfx::Failed(sfx::RegisterCodecServices())) return 1;
  if (argc == 4 && std::strcmp(argv[1], "inflate") == 0) return Inflate(argv[2], argv[3]);
  if (argc == 4 && std::strcmp(argv[1], "resolve") == 0) return Resolve(argv[2], argv[3]);
  std::fprintf(stderr, "usage: consumer inflate IN OUT | consumer resolve BASE REFERENCE\n");
  return 2;
}
