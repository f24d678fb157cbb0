#include "services/codec/crc.h"

#include "services/codec/crc_dispatch_p.h"
#include "services/core/registry_p.h"

namespace sfx {
namespace {

CrcService g_crcService;

}  // namespace

ServiceObject* detail::TheCrcService() { return &g_crcService; }

Result CrcService::UpdateCrc32(const void* data, std::uint32_t length, std::uint32_t* crc) {
  *crc = detail::ChosenCrc32()(*crc, static_cast<const std::uint8_t*>(data), length);
  return kOk;
}

Result CrcService::UpdateCrc32NoCase(const void* data, std::uint32_t length, std::uint32_t* crc) {
  // Rarely used: folded in pieces on the stack, then run through the fast update.
  const auto* p = static_cast<const std::uint8_t*>(data);
  const detail::Crc32Update update = detail::ChosenCrc32();
  std::uint32_t c = *crc;
  std::uint8_t folded[256];
  while (length > 0) {
    const std::uint32_t n = length < sizeof folded ? length : static_cast<std::uint32_t>(sizeof folded);
    for (std::uint32_t i = 0; i < n; ++i) {
      const std::uint8_t b = p[i];
      folded[i] = (b >= 0x41 && b <= 0x5A) ? static_cast<std::uint8_t>(b | 0x20) : b;
    }
    c = update(c, folded, n);
    p += n;
    length -= n;
  }
  *crc = c;
  return kOk;
}

Result CrcService::UpdateAdler32(const void* data, std::uint32_t length, std::uint32_t* adler) {
  *adler = detail::ChosenAdler32()(*adler, static_cast<const std::uint8_t*>(data), length);
  return kOk;
}

}  // namespace sfx
