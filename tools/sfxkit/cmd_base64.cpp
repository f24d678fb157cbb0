#include <cstdio>
#include <cstring>
#include <string>

#include "platform/standard_streams.h"
#include "services/codec/base64.h"
#include "services/core/memory_stream.h"
#include "tools/sfxkit/cli.h"
#include "tools/sfxkit/commands.h"
#include "tools/sfxkit/options.h"

namespace sfx::cli {
namespace {

inline constexpr std::uint32_t kDefaultWrap = 76;

std::FILE* OpenNamed(const std::string& name, const char* mode) {
  if (name != "-") return std::fopen(name.c_str(), mode);
  if (!platform::UseBinaryStandardStreams()) return nullptr;
  return std::strchr(mode, 'r') ? stdin : stdout;
}

// The whole input in a memory stream; false when it cannot be read or does
// not fit one.
bool ReadInto(const std::string& name, Stream* stream) {
  std::FILE* f = OpenNamed(name, "rb");
  if (f == nullptr) return false;
  static unsigned char chunk[65536];
  std::size_t n = 0;
  std::uint32_t at = 0;
  bool ok = true;
  while (ok && (n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
    ok = n <= kMemoryStreamMaxCapacity - at &&
         Succeeded(stream->WriteAt(at, chunk, static_cast<std::uint32_t>(n), nullptr));
    at += static_cast<std::uint32_t>(n);
  }
  ok = ok && !std::ferror(f);
  if (f != stdin) std::fclose(f);
  return ok;
}

bool WriteFrom(const std::string& name, Stream* stream) {
  void* data = nullptr;
  std::uint32_t size = 0;
  if (Failed(MemoryStreams()->GetMemoryBlock(stream, &data, &size, nullptr))) return false;
  std::FILE* f = OpenNamed(name, "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(data, 1, size, f) == size;
  ok = std::fflush(f) == 0 && ok;
  if (f != stdout && std::fclose(f) != 0) ok = false;
  return ok;
}

}  // namespace

const char kBase64Usage[] =
    "usage: sfxkit base64 [-d] [--wrap N] [IN [OUT]]\n"
    "\n"
    "Encodes IN as Base64 text (the standard alphabet with '=' padding) into\n"
    "OUT, or with -d decodes it. '-' or a missing name means standard input or\n"
    "output.\n"
    "\n"
    "  -d, --decode   decode: TAB, LF, CR and space are skipped anywhere; any\n"
    "                 other character outside the alphabet ends the decoding\n"
    "                 of its group of 512 characters\n"
    "  -w, --wrap N   end every N characters of text, and the last line, with\n"
    "                 CR LF (default 76); 0 writes one line without a break\n";

int RunBase64(int argc, char** argv) {
  const Command& self = CommandNamed("base64");
  Options options;
  std::string error;
  if (!options.Parse(argc, argv, {{"decode", 'd', false}, {"wrap", 'w', true}}, &error))
    return ReportUsageError(self, error);
  std::uint32_t wrap = kDefaultWrap;
  if (const std::string* w = options.Value("wrap")) {
    char* end = nullptr;
    const unsigned long v = std::strtoul(w->c_str(), &end, 10);
    if (w->empty() || *end != '\0' || (*w)[0] == '-' || v > 0xFFFFFFFFul)
      return ReportUsageError(self, "--wrap needs a number of characters");
    wrap = static_cast<std::uint32_t>(v);
  }
  const auto& names = options.operands();
  if (names.size() > 2) return ReportUsageError(self, "unexpected argument '" + names[2] + "'");
  const std::string in = names.size() > 0 ? names[0] : "-";
  const std::string out = names.size() > 1 ? names[1] : "-";

  Stream* input = nullptr;
  Stream* output = nullptr;
  Result r = MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, kMemoryStreamWritable, &input);
  if (Succeeded(r)) r = MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, kMemoryStreamWritable, &output);
  int status = kExitOk;
  if (Failed(r)) {
    status = ReportFailure("base64", r);
  } else if (!ReadInto(in, input)) {
    status = ReportError("cannot read '" + in + "'");
  } else {
    r = options.Has("decode") ? Base64s()->DecodeBase64Stream(input, 0, 0xFFFFFFFFu, output, 0, nullptr)
                              : Base64s()->EncodeBase64Stream(input, 0, 0xFFFFFFFFu, output, 0, wrap, nullptr);
    if (Failed(r)) {
      status = ReportFailure("base64", r);
    } else if (!WriteFrom(out, output)) {
      status = ReportError("cannot write '" + out + "'");
    }
  }
  if (input != nullptr) (void)input->Close();  // memory streams close without failing
  if (output != nullptr) (void)output->Close();
  return status;
}

}  // namespace sfx::cli
