#include "services/codec/base64.h"

#include <algorithm>

#include "services/codec/base64_codec_p.h"
#include "services/core/registry_p.h"

namespace sfx {
namespace {

Base64Service g_base64Service;

// A full chunk of 384 bytes is 512 characters.
inline constexpr std::uint32_t kEncodeChunkBytes = 384;
inline constexpr std::uint32_t kEncodeChunkChars = 512;
// Decoding gathers this many alphabet characters (white space skipped) and
// decodes them as one text.
inline constexpr std::uint32_t kDecodeGroupChars = 512;
inline constexpr std::uint32_t kDecodeReadBytes = 512;
// The worst case of line breaks: a CR LF after every character of a chunk.
inline constexpr std::uint32_t kEncodeLineBufferBytes = kEncodeChunkChars * 3;

bool IsSkippedSpace(std::uint8_t c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }

// The input range clamped to the stream; false when nothing of it is left.
Result ClampRange(Stream* input, std::uint32_t position, std::uint32_t* length, bool* empty) {
  std::uint32_t size = 0;
  SFX_TRY(input->GetSize(&size));
  *empty = position >= size;
  if (!*empty) *length = std::min(*length, size - position);
  return kOk;
}

// Reads exactly count bytes; a kind that reports a short read as success
// would otherwise leave stale bytes in the buffer.
Result ReadFully(Stream* input, std::uint32_t position, void* buffer, std::uint32_t count) {
  std::uint32_t done = 0;
  SFX_TRY(input->ReadAt(position, buffer, count, &done));
  return done == count ? kOk : kStreamShortRead;
}

}  // namespace

ServiceObject* detail::TheBase64Service() { return &g_base64Service; }

Result Base64Service::GetEncodedLength(std::uint32_t length, std::uint32_t* out) {
  if (out == nullptr) return kNullOutput;
  if (length > kBase64MaxEncodeLength) return kFail;
  *out = (length + 2) / 3 * 4;
  return kOk;
}

Result Base64Service::EncodeBase64(const void* data, std::uint32_t length, char* text) {
  if (length > kBase64MaxEncodeLength) return kFail;
  detail::Base64Encode(static_cast<const std::uint8_t*>(data), length, text);
  return kOk;
}

Result Base64Service::GetDecodedLength(std::uint32_t length, std::uint32_t* out) {
  if (out == nullptr) return kNullOutput;
  if (length > kBase64MaxDecodeLength) return kFail;
  *out = (length + 3) / 4 * 3;
  return kOk;
}

Result Base64Service::DecodeBase64(const char* text, std::uint32_t length, void* out, std::uint32_t* decodedLength) {
  const std::uint32_t n = detail::Base64Decode(text, length, static_cast<std::uint8_t*>(out));
  if (decodedLength != nullptr) *decodedLength = n;
  return kOk;
}

Result Base64Service::EncodeBase64Stream(Stream* input, std::uint32_t position, std::uint32_t length, Stream* output,
                                         std::uint32_t outputPosition, std::uint32_t lineLength,
                                         std::uint32_t* written) {
  if (written != nullptr) *written = 0;
  if (input == nullptr || output == nullptr) return kNullOutput;
  bool empty = false;
  SFX_TRY(ClampRange(input, position, &length, &empty));
  if (empty) return kOk;

  std::uint8_t bytes[kEncodeChunkBytes];
  char text[kEncodeChunkChars];
  char lines[kEncodeLineBufferBytes + 2];
  std::uint32_t total = 0;
  std::uint32_t column = 0;  // characters on the current line, counted across chunks
  while (length > 0) {
    const std::uint32_t piece = std::min(kEncodeChunkBytes, length);
    SFX_TRY(ReadFully(input, position, bytes, piece));
    detail::Base64Encode(bytes, piece, text);
    const std::uint32_t chars = (piece + 2) / 3 * 4;
    position += piece;
    length -= piece;

    const char* out = text;
    std::uint32_t outLength = chars;
    if (lineLength != 0) {
      std::uint32_t n = 0;
      for (std::uint32_t i = 0; i < chars;) {
        const std::uint32_t run = std::min(chars - i, lineLength - column);
        std::copy(text + i, text + i + run, lines + n);
        n += run;
        i += run;
        column += run;
        if (column == lineLength) {
          lines[n++] = '\r';
          lines[n++] = '\n';
          column = 0;
        }
      }
      // The last line ends with a break too, unless it just got one.
      if (length == 0 && column != 0) {
        lines[n++] = '\r';
        lines[n++] = '\n';
      }
      out = lines;
      outLength = n;
    }
    std::uint32_t done = 0;
    SFX_TRY(output->WriteAt(outputPosition + total, out, outLength, &done));
    total += done;
    if (written != nullptr) *written = total;
    if (done != outLength) return kStreamShortWrite;
  }
  return kOk;
}

Result Base64Service::DecodeBase64Stream(Stream* input, std::uint32_t position, std::uint32_t length, Stream* output,
                                         std::uint32_t outputPosition, std::uint32_t* written) {
  if (written != nullptr) *written = 0;
  if (input == nullptr || output == nullptr) return kNullOutput;
  bool empty = false;
  SFX_TRY(ClampRange(input, position, &length, &empty));
  if (empty) return kOk;

  std::uint8_t raw[kDecodeReadBytes];
  std::uint32_t rawAt = 0;
  std::uint32_t rawLength = 0;
  char group[kDecodeGroupChars];
  std::uint8_t bytes[kDecodeGroupChars / 4 * 3];
  std::uint32_t total = 0;
  for (;;) {
    std::uint32_t gathered = 0;
    while (gathered < kDecodeGroupChars) {
      if (rawAt == rawLength) {
        if (length == 0) break;
        rawLength = std::min(kDecodeReadBytes, length);
        SFX_TRY(ReadFully(input, position, raw, rawLength));
        position += rawLength;
        length -= rawLength;
        rawAt = 0;
      }
      const std::uint8_t c = raw[rawAt++];
      if (!IsSkippedSpace(c)) group[gathered++] = static_cast<char>(c);
    }
    if (gathered == 0) break;
    const std::uint32_t n = detail::Base64Decode(group, gathered, bytes);
    if (n != 0) {
      std::uint32_t done = 0;
      SFX_TRY(output->WriteAt(outputPosition + total, bytes, n, &done));
      total += done;
      if (written != nullptr) *written = total;
      if (done != n) return kStreamShortWrite;
    }
  }
  return kOk;
}

}  // namespace sfx
