// Launcher files of either target as the inspection commands read them: the
// PE headers and resource tree or the appended image directory, the setup and
// file records, and the decoding of every entry. Whatever the bytes, reading
// must end in a clean refusal or a consistent result, never a crash. A PE
// image that reads cleanly must also take a new resource and read back.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "services/core/service.h"
#include "tools/sfxkit/discard_stream.h"
#include "tools/sfxkit/launcher_payload.h"
#include "tools/sfxkit/payload_entries.h"
#include "tools/sfxkit/pe_format.h"
#include "tools/sfxkit/pe_image.h"
#include "tools/sfxkit/pe_writer.h"

namespace {

// Bounds the work per input: record counts come from the input.
constexpr std::uint32_t kMaxEntries = 256;

void CheckPeRoundTrip(const std::uint8_t* data, std::size_t size) {
  sfx::pe::PeImage image;
  std::string error;
  if (!sfx::cli::IsOk(image.Parse(std::span<const std::uint8_t>(data, size)), &error)) return;
  std::vector<sfx::pe::Resource> before;
  if (!sfx::cli::IsOk(image.ReadResources(&before), &error)) return;
  const std::uint8_t record[] = {1, 2, 3, 4, 5};
  std::vector<sfx::pe::Resource> added = {sfx::pe::Resource{sfx::pe::ResourceKey::Id(sfx::pe::kRtRcData),
                                                            sfx::pe::ResourceKey::Name("FZZZZZZZZ"), 0, 0, record}};
  std::vector<std::uint8_t> out;
  if (!sfx::cli::IsOk(sfx::pe::WriteWithResources(image, added, &out), &error)) return;
  sfx::pe::PeImage again;
  std::vector<sfx::pe::Resource> after;
  if (!sfx::cli::IsOk(again.Parse(out), &error) || !sfx::cli::IsOk(again.ReadResources(&after), &error) ||
      after.size() != before.size() + 1) {
    std::fprintf(stderr, "round trip failed: %s\n", error.c_str());
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Registering cannot fail; its Results are always 0.
  static const bool registered = ((void)sfx::RegisterCoreServices(), (void)sfx::RegisterCodecServices(), true);
  (void)registered;
  CheckPeRoundTrip(data, size);

  sfx::cli::LauncherPayload payload;
  std::string error;
  if (!sfx::cli::IsOk(payload.OpenBytes(std::vector<std::uint8_t>(data, data + size)), &error)) return 0;
  sfx::cli::SetupInfo setup;
  if (!sfx::cli::IsOk(sfx::cli::ReadSetup(payload, &setup), &error)) return 0;
  sfx::cli::DiscardStream* sink = nullptr;
  if (sfx::Failed(sfx::cli::DiscardStream::Create(&sink))) return 0;
  const std::uint32_t count = setup.header.fileCount < kMaxEntries ? setup.header.fileCount : kMaxEntries;
  for (std::uint32_t n = 1; n <= count; ++n) {
    sfx::cli::Entry entry;
    if (!sfx::cli::IsOk(sfx::cli::ReadEntry(payload, n, &entry), &error)) break;
    if (entry.isFolder) continue;
    std::uint32_t decoded = 0, crc = 0;
    if (sfx::Failed(sfx::cli::DecodeEntry(entry, sink, &decoded, &crc))) continue;
    (void)sfx::cli::IsOk(sfx::cli::CheckDecoded(entry, decoded, crc), &error);
  }
  (void)sink->Close();
  return 0;
}
