#include <cstdio>
#include <cstring>
#include <string>

#include "platform/standard_streams.h"
#include "services/codec/md5.h"
#include "tools/sfxkit/cli.h"
#include "tools/sfxkit/commands.h"
#include "tools/sfxkit/options.h"

namespace sfx::cli {
namespace {

// Digests a file read in 64 KiB pieces; false when it cannot be read.
bool DigestFile(const char* name, std::uint8_t* digest) {
  const bool isStdin = std::strcmp(name, "-") == 0;
  std::FILE* f = isStdin ? (platform::UseBinaryStandardStreams() ? stdin : nullptr) : std::fopen(name, "rb");
  if (f == nullptr) return false;
  Md5Context context;
  (void)Md5s()->Md5Init(&context);  // the digest operations always succeed
  static unsigned char chunk[65536];
  std::size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
    (void)Md5s()->Md5Update(&context, chunk, static_cast<std::uint32_t>(n));
  const bool ok = !std::ferror(f);
  if (!isStdin) std::fclose(f);
  (void)Md5s()->Md5Final(&context, digest);
  return ok;
}

}  // namespace

const char kMd5Usage[] =
    "usage: sfxkit md5 FILE...\n"
    "\n"
    "Prints the MD5 digest of each file: 32 lower-case hex digits, two spaces\n"
    "and the name. '-' reads standard input. A file that cannot be read is\n"
    "reported and skipped; the exit status is then 1.\n";

int RunMd5(int argc, char** argv) {
  if (argc < 2) return ReportUsageError(CommandNamed("md5"), "no file given");
  int status = kExitOk;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) continue;
    std::uint8_t digest[kMd5DigestBytes];
    if (!DigestFile(argv[i], digest)) {
      status = ReportError(std::string("cannot read '") + argv[i] + "'");
      continue;
    }
    for (std::uint8_t b : digest) std::printf("%02x", b);
    std::printf("  %s\n", argv[i]);
  }
  return status;
}

}  // namespace sfx::cli
