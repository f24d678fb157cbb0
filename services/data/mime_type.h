// A fixed vocabulary of MIME media types: splits a media-type text such as
// 'text/html; charset=x' into a top-level type and a subtype with small numeric
// codes, maps a file-name extension to a media-type text, and composes a
// media-type text from two codes. Stateless; allocates nothing; never fails on
// its input (unknown or empty names give code 0 or output length 0, short
// buffers get truncated output). No output is ever zero-terminated.
#pragma once

#include <cstdint>

#include "services/core/service.h"

namespace sfx {

// Codes are 1-based positions in the sorted vocabularies; 0 means absent or unknown.
inline constexpr std::uint32_t kMimeTopLevelCount = 8;  // "application" .. "video"
inline constexpr std::uint32_t kMimeSubtypeCount = 43;  // "avi" .. "zip"
inline constexpr std::uint32_t kMimeExtensionCount = 40;

// The longest texts, so a caller's buffer of this size never truncates.
inline constexpr std::uint32_t kMimeTypeTextMax = 33;
inline constexpr std::uint32_t kMimeTopLevelTextMax = 11;
inline constexpr std::uint32_t kMimeSubtypeTextMax = 21;

// Filled by ParseMimeType. The texts point into the caller's buffer.
struct MimeTypeInfo {
  std::uint32_t typeCode;
  const char* typeText;
  std::uint32_t typeLength;
  std::uint32_t subtypeCode;
  const char* subtypeText;
  std::uint32_t subtypeLength;
};

class MimeTypeService : public ServiceObject {
 public:
  // 1. Leading white space is skipped; type and subtype may be separated by
  //    any mix of "/" and white space; parameters after ";" are ignored.
  virtual Result ParseMimeType(const char* text, std::uint32_t length, MimeTypeInfo* info);
  // 2. The extension may start with "."; *length is the capacity on entry and
  //    the bytes written on return (0 when the extension is unknown).
  virtual Result MimeTypeFromExtension(const char* extension, std::uint32_t extensionLength, char* buffer,
                                       std::uint32_t* length);
  // 3. "type/subtype"; a code of 0 or out of range contributes nothing (a zero
  //    type gives the bare subtype, a zero subtype "type/").
  virtual Result FormatMimeType(std::uint32_t typeCode, std::uint32_t subtypeCode, char* buffer, std::uint32_t* length);
  virtual Result ReservedLast() { return kFail; }

  MimeTypeService() = default;
};

inline MimeTypeService* MimeTypes() { return Service<MimeTypeService>(Slot::kMimeType); }

}  // namespace sfx
