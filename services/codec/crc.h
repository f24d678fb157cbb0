// Running checksums over byte blocks: CRC-32 (reflected 0xEDB88320, the one of
// DEFLATE and ZIP), a case-folding variant, and Adler-32. Registers are the
// caller's: the operations never start or finish them (a CRC-32 starts at
// 0xFFFFFFFF and is complemented by the caller; Adler-32 starts at 1).
#pragma once

#include <cstdint>

#include "services/core/service.h"

namespace sfx {

class CrcService : public ServiceObject {
 public:
  virtual Result UpdateCrc32(const void* data, std::uint32_t length, std::uint32_t* crc);        // 1
  virtual Result UpdateCrc32NoCase(const void* data, std::uint32_t length, std::uint32_t* crc);  // 2
  virtual Result UpdateAdler32(const void* data, std::uint32_t length, std::uint32_t* adler);    // 3
  virtual Result ReservedLast() { return kFail; }

  CrcService() = default;
};

inline CrcService* Crc() { return Service<CrcService>(Slot::kCrc); }

// The constant CRC-32 table (generated, committed as data).
extern const std::uint32_t kCrc32Table[256];

}  // namespace sfx
