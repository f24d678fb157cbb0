// MD5 message digests (RFC 1321), computed incrementally over a context the
// caller owns. The service keeps no state; a context serves one thread at a
// time and must be initialised again after Md5Final, which wipes it.
#pragma once

#include <cstdint>

#include "services/core/service.h"

namespace sfx {

inline constexpr std::uint32_t kMd5DigestBytes = 16;
inline constexpr std::uint32_t kMd5BlockBytes = 64;

// 88 bytes: the chaining words A..D, the message length in bits (mod 2^64,
// low word first) and the bytes of an incomplete block.
struct Md5Context {
  std::uint32_t state[4];
  std::uint32_t countLow;
  std::uint32_t countHigh;
  std::uint8_t buffer[kMd5BlockBytes];
};
static_assert(sizeof(Md5Context) == 88);

class Md5Service : public ServiceObject {
 public:
  // Every operation returns 0.
  virtual Result Md5Init(Md5Context* context);                                            // 1
  virtual Result Md5Update(Md5Context* context, const void* data, std::uint32_t length);  // 2
  // Pads, stores the 16-byte digest and fills the whole context with zeros.
  virtual Result Md5Final(Md5Context* context, std::uint8_t* digest);  // 3
  virtual Result ReservedLast() { return kFail; }

  Md5Service() = default;
};

inline Md5Service* Md5s() { return Service<Md5Service>(Slot::kMd5); }

}  // namespace sfx
