#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/standard_streams.h"
#include "services/codec/inflater.h"
#include "tools/sfxkit/cli.h"
#include "tools/sfxkit/commands.h"

namespace sfx::cli {
namespace {

std::FILE* OpenNamed(const char* name, const char* mode) {
  if (std::strcmp(name, "-") != 0) return std::fopen(name, mode);
  // Standard input and output carry bytes, not text.
  if (!platform::UseBinaryStandardStreams()) return nullptr;
  return std::strchr(mode, 'r') ? stdin : stdout;
}

bool ReadWholeFile(const char* name, std::vector<unsigned char>* bytes) {
  std::FILE* f = OpenNamed(name, "rb");
  if (f == nullptr) return false;
  unsigned char chunk[65536];
  std::size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
    if (bytes->size() + n > 0xFFFFFFFFu) break;  // the decoder takes 32-bit lengths
    bytes->insert(bytes->end(), chunk, chunk + n);
  }
  const bool ok = !std::ferror(f) && std::feof(f);
  if (f != stdin) std::fclose(f);
  return ok;
}

// The decoder's output: a write-only stream onto a C file, so that whatever
// was decoded before a failure stays in the file.
class FileOutputStream final : public Stream {
 public:
  bool Open(const char* name) {
    file_ = OpenNamed(name, "wb");
    return file_ != nullptr;
  }
  // Flushes and closes; false when any write failed.
  bool Finish() {
    bool ok = !failed_ && std::fflush(file_) == 0;
    if (file_ != stdout && std::fclose(file_) != 0) ok = false;
    file_ = nullptr;
    return ok;
  }

  Result Close() override { return kOk; }
  Result Seek(std::int32_t, std::uint32_t, std::uint32_t*) override { return kFail; }
  Result Read(void*, std::uint32_t, std::uint32_t*) override { return kFail; }
  Result Write(const void* buffer, std::uint32_t count, std::uint32_t* done) override {
    const std::size_t n = std::fwrite(buffer, 1, count, file_);
    written_ += static_cast<std::uint32_t>(n);
    if (done != nullptr) *done = static_cast<std::uint32_t>(n);
    if (n != count) {
      failed_ = true;
      if (done == nullptr) return kStreamShortWrite;
    }
    return kOk;
  }
  Result GetSize(std::uint32_t* size) override {
    if (size == nullptr) return kNullOutput;
    *size = written_;
    return kOk;
  }
  Result SetSize(std::uint32_t) override { return kFail; }
  Result Reserve(std::uint32_t) override { return kOk; }
  Result SetParameter(std::uint32_t) override { return kOk; }

 private:
  std::FILE* file_ = nullptr;
  std::uint32_t written_ = 0;
  bool failed_ = false;
};

const Command& Self() {
  for (int i = 0; i < kCommandCount; ++i)
    if (std::strcmp(kCommands[i].name, "inflate") == 0) return kCommands[i];
  return kCommands[0];
}

}  // namespace

const char kInflateUsage[] =
    "usage: sfxkit inflate [IN [OUT]]\n"
    "\n"
    "Decodes raw DEFLATE data (no zlib or gzip wrapper) from IN into OUT with a\n"
    "32768-byte window, as the launcher decodes its payload. '-' or a missing\n"
    "name means standard input or output.\n"
    "\n"
    "On failure the result code is shown in hex on standard error (for example\n"
    "0x82020007 for a distance that reaches too far), the exit status is 1, and\n"
    "OUT keeps whatever had been decoded and written before the failure.\n";

int RunInflate(int argc, char** argv) {
  const Command& self = Self();
  std::vector<const char*> names;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) continue;
    names.push_back(argv[i]);
  }
  if (names.size() > 2) return ReportUsageError(self, std::string("unexpected argument '") + names[2] + "'");
  const char* in = names.size() > 0 ? names[0] : "-";
  const char* out = names.size() > 1 ? names[1] : "-";

  std::vector<unsigned char> input;
  if (!ReadWholeFile(in, &input)) return ReportError(std::string("cannot read '") + in + "'");
  FileOutputStream output;
  if (!output.Open(out)) return ReportError(std::string("cannot create '") + out + "'");

  Inflater* inflater = nullptr;
  Result r = Inflaters()->CreateInflater(kInflateFullWindow, &inflater);
  if (Failed(r)) return ReportFailure("inflate", r);
  r = inflater->InitInput(input.data(), static_cast<std::uint32_t>(input.size()));
  std::uint32_t size = 0;
  if (Succeeded(r)) r = inflater->Extract(&output, &size, nullptr, nullptr, nullptr);
  const Result destroyed = inflater->DestroyInflater();
  if (Succeeded(r)) r = destroyed;
  const bool closed = output.Finish();
  if (Failed(r)) return ReportFailure("inflate", r);
  if (!closed) return ReportError(std::string("cannot write '") + out + "'");
  return kExitOk;
}

}  // namespace sfx::cli
