#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/standard_streams.h"
#include "services/codec/deflater.h"
#include "services/core/memory_stream.h"
#include "tools/sfxkit/cli.h"
#include "tools/sfxkit/commands.h"
#include "tools/sfxkit/options.h"

namespace sfx::cli {

const char kDeflateUsage[] =
    "usage: sfxkit deflate [--block-size N] [IN [OUT]]\n"
    "\n"
    "Compresses IN (standard input when absent or '-') into raw DEFLATE data\n"
    "written to OUT (standard output when absent or '-'). The input is cut into\n"
    "pieces of N bytes (1..32768, default 32768); each piece becomes one block\n"
    "with its own Huffman codes, and back-references stay inside their piece.\n"
    "The output depends only on the input and N. 'sfxkit inflate' reverses it.\n"
    "\n"
    "options:\n"
    "  --block-size N   bytes per block, 1..32768 (default 32768)\n";

namespace {

bool ReadAll(std::FILE* f, std::vector<unsigned char>* out) {
  unsigned char chunk[65536];
  for (;;) {
    const std::size_t n = std::fread(chunk, 1, sizeof chunk, f);
    out->insert(out->end(), chunk, chunk + n);
    if (n < sizeof chunk) return std::ferror(f) == 0;
  }
}

// Closes a Stream when it leaves scope.
struct StreamCloser {
  Stream* stream = nullptr;
  ~StreamCloser() {
    if (stream != nullptr) (void)stream->Close();
  }
};

}  // namespace

int RunDeflate(int argc, char** argv) {
  const Command& self = CommandNamed("deflate");
  Options options;
  std::string error;
  if (!options.Parse(argc, argv, {{"block-size", 0, true}}, &error)) return ReportUsageError(self, error);
  std::uint32_t blockSize = kDeflateDefaultBlockSize;
  if (const std::string* value = options.Value("block-size")) {
    char* end = nullptr;
    errno = 0;
    const unsigned long n = std::strtoul(value->c_str(), &end, 10);
    if (value->empty() || *end != '\0' || errno != 0 || (*value)[0] == '-' || n < 1 || n > kDeflateMaxBlockSize) {
      return ReportUsageError(self, "block size must be a number from 1 to 32768, not '" + *value + "'");
    }
    blockSize = static_cast<std::uint32_t>(n);
  }
  std::vector<const char*> paths;
  for (const std::string& operand : options.operands()) paths.push_back(operand.c_str());
  if (paths.size() > 2) return ReportUsageError(self, std::string("unexpected argument '") + paths[2] + "'");
  const bool fromStdin = paths.empty() || std::strcmp(paths[0], "-") == 0;
  const bool toStdout = paths.size() < 2 || std::strcmp(paths[1], "-") == 0;

  if ((fromStdin || toStdout) && !platform::UseBinaryStandardStreams()) {
    return ReportError("cannot switch standard input and output to binary mode");
  }
  std::vector<unsigned char> input;
  if (fromStdin) {
    if (!ReadAll(stdin, &input)) return ReportError("cannot read standard input");
  } else {
    std::FILE* f = std::fopen(paths[0], "rb");
    if (f == nullptr) return ReportError(std::string("cannot open '") + paths[0] + "': " + std::strerror(errno));
    const bool ok = ReadAll(f, &input);
    std::fclose(f);
    if (!ok) return ReportError(std::string("cannot read '") + paths[0] + "'");
  }
  if (input.size() > 0xFFFFFFFFu - 1) return ReportError("input larger than 4 GiB");
  const auto length = static_cast<std::uint32_t>(input.size());

  StreamCloser in, out;
  Result r = MemoryStreams()->CreateMemoryStream(input.data(), length, length, kMemoryStreamCallerOwns, &in.stream);
  if (Failed(r)) return ReportFailure("input stream", r);
  r = MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, kMemoryStreamWritable, &out.stream);
  if (Failed(r)) return ReportFailure("output stream", r);
  Deflater* deflater = nullptr;
  r = Deflaters()->CreateDeflater(blockSize, &deflater);
  if (Failed(r)) return ReportFailure("create deflater", r);
  std::uint32_t total = 0;
  r = deflater->InitOutputStream(out.stream, 0);
  if (Succeeded(r)) r = deflater->Compress(in.stream, 0, length, nullptr, nullptr);
  if (Succeeded(r)) r = deflater->FinishOutput(&total);
  (void)deflater->DestroyDeflater();
  if (Failed(r)) return ReportFailure("compress", r);

  void* data = nullptr;
  (void)MemoryStreams()->GetMemoryBlock(out.stream, &data, nullptr, nullptr);
  std::FILE* f = nullptr;
  if (toStdout) {
    f = stdout;
  } else {
    f = std::fopen(paths[1], "wb");
    if (f == nullptr) return ReportError(std::string("cannot create '") + paths[1] + "': " + std::strerror(errno));
  }
  const bool written = total == 0 || std::fwrite(data, 1, total, f) == total;
  const bool closed = toStdout ? std::fflush(f) == 0 : std::fclose(f) == 0;
  if (!written || !closed) return ReportError("cannot write the output");
  return kExitOk;
}

}  // namespace sfx::cli
