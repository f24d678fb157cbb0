#include "services/codec/crc.h"

#include "services/core/registry_p.h"

namespace sfx {
namespace {

CrcService g_crcService;

// Adler-32: 5552 is the longest run for which s2 cannot overflow 32 bits
// before the reduction; 65521 is the largest prime below 65536.
constexpr std::uint32_t kAdlerChunk = 5552;
constexpr std::uint32_t kAdlerModulus = 65521;

}  // namespace

ServiceObject* detail::TheCrcService() { return &g_crcService; }

Result CrcService::UpdateCrc32(const void* data, std::uint32_t length, std::uint32_t* crc) {
  const auto* p = static_cast<const unsigned char*>(data);
  std::uint32_t c = *crc;
  for (std::uint32_t i = 0; i < length; ++i) c = (c >> 8) ^ kCrc32Table[(c ^ p[i]) & 0xFF];
  *crc = c;
  return kOk;
}

Result CrcService::UpdateCrc32NoCase(const void* data, std::uint32_t length, std::uint32_t* crc) {
  const auto* p = static_cast<const unsigned char*>(data);
  std::uint32_t c = *crc;
  for (std::uint32_t i = 0; i < length; ++i) {
    unsigned char b = p[i];
    if (b >= 0x41 && b <= 0x5A) b |= 0x20;
    c = (c >> 8) ^ kCrc32Table[(c ^ b) & 0xFF];
  }
  *crc = c;
  return kOk;
}

Result CrcService::UpdateAdler32(const void* data, std::uint32_t length, std::uint32_t* adler) {
  const auto* p = static_cast<const unsigned char*>(data);
  std::uint32_t s1 = *adler & 0xFFFF;
  std::uint32_t s2 = *adler >> 16;
  while (length > 0) {
    const std::uint32_t n = length < kAdlerChunk ? length : kAdlerChunk;
    for (std::uint32_t i = 0; i < n; ++i) {
      s1 += p[i];
      s2 += s1;
    }
    s1 %= kAdlerModulus;
    s2 %= kAdlerModulus;
    p += n;
    length -= n;
  }
  *adler = (s2 << 16) | s1;
  return kOk;
}

}  // namespace sfx
