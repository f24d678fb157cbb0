// Parses arbitrary media-type texts and looks up arbitrary extensions with
// every small capacity, in exact-size buffers: the recorded pieces must lie
// inside the text, codes must be in range, and no output may pass its
// capacity. A known code must format to a text that parses back to it.
//
// Input: a capacity byte, then the text (also used as the extension).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "services/core/service.h"
#include "services/data/mime_type.h"

namespace {

using namespace sfx;

void Check(bool condition) {
  if (!condition) std::abort();
}

struct Registered {
  Registered() { (void)RegisterCoreServices(); }
} g_registered;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 4096) return 0;
  const std::uint32_t capacity = data[0] % 40;
  const auto n = static_cast<std::uint32_t>(size - 1);
  const std::unique_ptr<char[]> text(new char[n + 1]);
  std::memcpy(text.get(), data + 1, n);

  MimeTypeInfo info{};
  Check(MimeTypes()->ParseMimeType(text.get(), n, &info) == kOk);
  Check(info.typeText >= text.get() && info.typeText + info.typeLength <= text.get() + n);
  Check(info.subtypeText >= text.get() && info.subtypeText + info.subtypeLength <= text.get() + n);
  Check(info.typeCode <= kMimeTopLevelCount && info.subtypeCode <= kMimeSubtypeCount);

  std::vector<char> out(capacity);
  std::uint32_t length = capacity;
  Check(MimeTypes()->MimeTypeFromExtension(text.get(), n, out.data(), &length) == kOk);
  Check(length <= capacity);

  length = capacity;
  Check(MimeTypes()->FormatMimeType(info.typeCode, info.subtypeCode, out.data(), &length) == kOk);
  Check(length <= capacity);
  if (info.typeCode != 0 && info.subtypeCode != 0 && capacity >= kMimeTopLevelTextMax + 1 + kMimeSubtypeTextMax) {
    MimeTypeInfo again{};
    Check(MimeTypes()->ParseMimeType(out.data(), length, &again) == kOk);
    Check(again.typeCode == info.typeCode && again.subtypeCode == info.subtypeCode);
  }
  return 0;
}
