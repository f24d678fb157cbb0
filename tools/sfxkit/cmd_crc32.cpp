#include <cstdio>
#include <cstring>
#include <string>

#include "platform/standard_streams.h"
#include "services/codec/crc.h"
#include "tools/sfxkit/cli.h"
#include "tools/sfxkit/commands.h"

namespace sfx::cli {
namespace {

// Runs the register over a file read in 64 KiB pieces; false when it cannot be read.
bool UpdateFromFile(const char* name, std::uint32_t* crc) {
  const bool isStdin = std::strcmp(name, "-") == 0;
  std::FILE* f = isStdin ? (platform::UseBinaryStandardStreams() ? stdin : nullptr) : std::fopen(name, "rb");
  if (f == nullptr) return false;
  static unsigned char chunk[65536];
  std::size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
    (void)Crc()->UpdateCrc32(chunk, static_cast<std::uint32_t>(n), crc);
  const bool ok = !std::ferror(f);
  if (!isStdin) std::fclose(f);
  return ok;
}

const Command& Self() {
  for (int i = 0; i < kCommandCount; ++i)
    if (std::strcmp(kCommands[i].name, "crc32") == 0) return kCommands[i];
  return kCommands[0];
}

}  // namespace

const char kCrc32Usage[] =
    "usage: sfxkit crc32 FILE...\n"
    "\n"
    "Prints the CRC-32 of each file (the checksum the launcher compares with a\n"
    "record's): eight lower-case hex digits, two spaces and the name. '-' reads\n"
    "standard input. A file that cannot be read is reported and skipped; the\n"
    "exit status is then 1.\n";

int RunCrc32(int argc, char** argv) {
  if (argc < 2) return ReportUsageError(Self(), "no file given");
  int status = kExitOk;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) continue;
    std::uint32_t crc = 0xFFFFFFFFu;
    if (!UpdateFromFile(argv[i], &crc)) {
      status = ReportError(std::string("cannot read '") + argv[i] + "'");
      continue;
    }
    std::printf("%08x  %s\n", static_cast<unsigned>(~crc), argv[i]);
  }
  return status;
}

}  // namespace sfx::cli
