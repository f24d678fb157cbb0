// Decodes arbitrary text with DecodeBase64Stream and checks it against a
// plain model of the rules: white space (TAB, LF, CR, space) skipped, the
// rest taken in groups of 512 characters, each decoded on its own up to its
// first character outside the alphabet. Also checks DecodeBase64 on the raw
// text and that encoding the decoded bytes gives them back.
//
// Input: the first byte picks the start position; the rest is the text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "services/codec/base64.h"
#include "services/core/memory_stream.h"
#include "services/core/service.h"

namespace {

using namespace sfx;

void Check(bool condition) {
  if (!condition) std::abort();
}

int Value(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

std::string ModelDecode(const std::string& text) {
  std::string out;
  std::uint32_t v = 0;
  int n = 0;
  for (unsigned char c : text) {
    const int x = Value(c);
    if (x < 0) break;
    v = v << 6 | static_cast<std::uint32_t>(x);
    if (++n == 4) {
      out += static_cast<char>(v >> 16);
      out += static_cast<char>(v >> 8);
      out += static_cast<char>(v);
      v = 0;
      n = 0;
    }
  }
  if (n == 2) out += static_cast<char>(v >> 4);
  if (n == 3) {
    out += static_cast<char>(v >> 10);
    out += static_cast<char>(v >> 2);
  }
  return out;
}

std::string Contents(Stream* s) {
  void* block = nullptr;
  std::uint32_t size = 0;
  Check(MemoryStreams()->GetMemoryBlock(s, &block, &size, nullptr) == kOk);
  return std::string(static_cast<const char*>(block), size);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  (void)sfx::RegisterCoreServices();
  (void)sfx::RegisterCodecServices();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > (1u << 20)) return 0;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::uint32_t position = data[0] % 16;

  std::string model;
  std::string group;
  const std::string from = position < text.size() ? text.substr(position) : std::string();
  for (std::size_t i = 0; i <= from.size(); ++i) {
    if (i < from.size()) {
      const char c = from[i];
      if (c == '\t' || c == '\n' || c == '\r' || c == ' ') continue;
      group += c;
    }
    if (group.size() == 512 || (i == from.size() && !group.empty())) {
      model += ModelDecode(group);
      group.clear();
    }
  }

  Stream* in = nullptr;
  Stream* out = nullptr;
  Check(MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, kMemoryStreamWritable, &in) == kOk);
  Check(MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, kMemoryStreamWritable, &out) == kOk);
  Check(in->WriteAt(0, text.data(), static_cast<std::uint32_t>(text.size()), nullptr) == kOk);
  std::uint32_t written = 0xDEAD;
  Check(Base64s()->DecodeBase64Stream(in, position, 0xFFFFFFFFu, out, 0, &written) == kOk);
  Check(written == model.size() && Contents(out) == model);

  // The memory decoder on the raw text, and encoding back.
  std::uint32_t bound = 0;
  Check(Base64s()->GetDecodedLength(static_cast<std::uint32_t>(text.size()), &bound) == kOk);
  std::string bytes(bound + 1, '\x5A');
  std::uint32_t n = 0;
  Check(Base64s()->DecodeBase64(text.data(), static_cast<std::uint32_t>(text.size()), bytes.data(), &n) == kOk);
  Check(n <= bound && bytes[bound] == '\x5A');
  bytes.resize(n);
  Check(bytes == ModelDecode(text));
  std::uint32_t encodedLength = 0;
  Check(Base64s()->GetEncodedLength(n, &encodedLength) == kOk);
  std::string encoded(encodedLength, '\0');
  Check(Base64s()->EncodeBase64(bytes.data(), n, encoded.data()) == kOk);
  std::uint32_t back = 0;
  std::string again(bound + 1, '\0');
  Check(Base64s()->DecodeBase64(encoded.data(), encodedLength, again.data(), &back) == kOk);
  Check(back == n && again.compare(0, n, bytes) == 0);

  (void)in->Close();
  (void)out->Close();
  return 0;
}
