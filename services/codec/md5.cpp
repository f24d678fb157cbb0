#include "services/codec/md5.h"

#include "services/codec/md5_transform_p.h"
#include "services/core/memory_service.h"
#include "services/core/registry_p.h"

namespace sfx {
namespace {

Md5Service g_md5Service;

inline constexpr std::uint32_t kPaddingTarget = 56;  // buffered bytes before the 8 length bytes
inline constexpr std::uint8_t kPadding[kMd5BlockBytes] = {0x80};

}  // namespace

ServiceObject* detail::TheMd5Service() { return &g_md5Service; }

Result Md5Service::Md5Init(Md5Context* context) {
  context->state[0] = 0x67452301;
  context->state[1] = 0xEFCDAB89;
  context->state[2] = 0x98BADCFE;
  context->state[3] = 0x10325476;
  context->countLow = 0;
  context->countHigh = 0;
  return kOk;
}

Result Md5Service::Md5Update(Md5Context* context, const void* data, std::uint32_t length) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::uint32_t index = (context->countLow >> 3) & (kMd5BlockBytes - 1);
  const std::uint32_t bits = length << 3;
  context->countLow += bits;
  if (context->countLow < bits) ++context->countHigh;
  context->countHigh += length >> 29;

  MemoryService* memory = Memory();
  if (length >= kMd5BlockBytes - index) {
    std::uint32_t taken = 0;
    if (index != 0) {
      taken = kMd5BlockBytes - index;
      (void)memory->Copy(context->buffer + index, bytes, taken);  // Copy cannot fail on valid blocks
      detail::Md5Blocks(context->state, context->buffer, 1);
      index = 0;
    }
    const std::uint32_t blocks = (length - taken) / kMd5BlockBytes;
    if (blocks != 0) detail::Md5Blocks(context->state, bytes + taken, blocks);
    taken += blocks * kMd5BlockBytes;
    bytes += taken;
    length -= taken;
  }
  if (length != 0) (void)memory->Copy(context->buffer + index, bytes, length);
  return kOk;
}

Result Md5Service::Md5Final(Md5Context* context, std::uint8_t* digest) {
  std::uint8_t count[8];
  for (int i = 0; i < 4; ++i) {
    count[i] = static_cast<std::uint8_t>(context->countLow >> (8 * i));
    count[4 + i] = static_cast<std::uint8_t>(context->countHigh >> (8 * i));
  }
  const std::uint32_t index = (context->countLow >> 3) & (kMd5BlockBytes - 1);
  const std::uint32_t padLength = index < kPaddingTarget ? kPaddingTarget - index : kPaddingTarget + 64 - index;
  (void)Md5Update(context, kPadding, padLength);
  (void)Md5Update(context, count, sizeof(count));
  for (int w = 0; w < 4; ++w) {
    for (int i = 0; i < 4; ++i) digest[4 * w + i] = static_cast<std::uint8_t>(context->state[w] >> (8 * i));
  }
  (void)Memory()->Fill(context, 0, sizeof(*context));  // Fill cannot fail on a valid block
  return kOk;
}

}  // namespace sfx
