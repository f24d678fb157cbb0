// Base64 (RFC 4648, section 4: "A".."Z", "a".."z", "0".."9", "+", "/" and "="
// padding) between memory blocks and between ranges of two Streams. The
// service keeps no state.
#pragma once

#include <cstdint>

#include "services/core/service.h"
#include "services/core/stream.h"

namespace sfx {

// The largest lengths whose converted lengths still fit in 32 bits; longer
// inputs fail with kFail instead of reporting a wrapped, too small length.
inline constexpr std::uint32_t kBase64MaxEncodeLength = 3221225469u;  // 0xBFFFFFFD
inline constexpr std::uint32_t kBase64MaxDecodeLength = 0xFFFFFFFCu;

class Base64Service : public ServiceObject {
 public:
  // 1. *out = ((length + 2) / 3) * 4.
  virtual Result GetEncodedLength(std::uint32_t length, std::uint32_t* out);
  // 2. Writes exactly GetEncodedLength characters, no terminator.
  virtual Result EncodeBase64(const void* data, std::uint32_t length, char* text);
  // 3. *out = ((length + 3) / 4) * 3, an upper bound of the decoded length.
  virtual Result GetDecodedLength(std::uint32_t length, std::uint32_t* out);
  // 4. Decodes up to the first character outside the alphabet (padding,
  //    white space, anything), which is consumed and ends the decoding; a
  //    trailing group of two or three characters gives one or two bytes.
  //    Malformed text is not an error. decodedLength is optional.
  virtual Result DecodeBase64(const char* text, std::uint32_t length, void* out, std::uint32_t* decodedLength);
  // 5. Encodes length bytes of input from position (clamped to its size) into
  //    output from outputPosition. lineLength 0 writes one line; otherwise a
  //    CR LF follows every lineLength characters and the last line. written
  //    (optional) gets every character written, line breaks included.
  virtual Result EncodeBase64Stream(Stream* input, std::uint32_t position, std::uint32_t length, Stream* output,
                                    std::uint32_t outputPosition, std::uint32_t lineLength, std::uint32_t* written);
  // 6. Decodes a range of input, skipping TAB, LF, CR and space, in groups of
  //    512 alphabet characters decoded one by one as by DecodeBase64: a stray
  //    character ends the decoding of its own group only. written (optional)
  //    gets the bytes written.
  virtual Result DecodeBase64Stream(Stream* input, std::uint32_t position, std::uint32_t length, Stream* output,
                                    std::uint32_t outputPosition, std::uint32_t* written);
  virtual Result ReservedLast() { return kFail; }

  Base64Service() = default;
};

inline Base64Service* Base64s() { return Service<Base64Service>(Slot::kBase64); }

}  // namespace sfx
