#include <cstdio>
#include <string>

#include "tools/sfxkit/cli.h"
#include "tools/sfxkit/commands.h"
#include "tools/sfxkit/launcher_payload.h"
#include "tools/sfxkit/options.h"
#include "tools/sfxkit/payload_entries.h"
#include "tools/sfxkit/stub_target.h"

namespace sfx::cli {

using namespace payload;

const char kListUsage[] =
    "usage: sfxkit list FILE\n"
    "\n"
    "Shows the payload of a packed launcher (POSIX or Windows) without running it:\n"
    "the setup record (title, setup program, arguments, number of files) and every\n"
    "entry with its kind, size, stored size, method, CRC-32, time stamp and name.\n"
    "\n"
    "Exits with 1 when the file is not a launcher or a record is damaged; the\n"
    "entries before the damaged one are listed.\n";

namespace {
const Command& ListCommand() { return CommandNamed("list"); }
}  // namespace

int RunList(int argc, char** argv) {
  Options options;
  std::string error;
  if (!options.Parse(argc, argv, {}, &error)) return ReportUsageError(ListCommand(), error);
  if (options.operands().size() != 1) return ReportUsageError(ListCommand(), "expected one FILE");
  const std::string& path = options.operands()[0];

  LauncherPayload payload;
  if (Status s = payload.Open(path); !s.ok()) return ReportError(path + ": " + s.message());
  SetupInfo setup;
  if (Status s = ReadSetup(payload, &setup); !s.ok()) return ReportError(path + ": " + s.message());
  // The machine of an ELF launcher follows its kind: "(posix) built for linux-arm64".
  const std::string machine = ExecutableTarget(payload.bytes());
  const std::string builtFor = payload.target() == Target::kPosix && !machine.empty() ? " built for " + machine : "";
  std::printf("launcher:  %s (%s)%s\n", path.c_str(), TargetName(payload.target()), builtFor.c_str());
  std::printf("title:     \"%s\"%s\n", setup.title.c_str(), setup.title.size() > 31 ? " (shown cut to 31 bytes)" : "");
  std::printf("program:   %s\n", setup.program.c_str());
  std::printf("arguments: %s\n", setup.arguments.c_str());
  std::printf("entries:   %u (longest name %u bytes, largest stored %u bytes)\n\n", setup.header.fileCount,
              setup.header.maxNameLength, setup.header.maxStoredSize);
  std::printf("%-6s %10s %10s %-7s %-8s %-22s %s\n", "kind", "size", "stored", "method", "crc", "time", "name");

  std::uint64_t total = 0, stored = 0;
  for (std::uint32_t n = 1; n <= setup.header.fileCount; ++n) {
    Entry e;
    if (Status s = ReadEntry(payload, n, &e); !s.ok()) return ReportError(path + ": " + s.message());
    const char* method = e.isFolder ? "-" : e.header.method == kMethodDeflate ? "deflate" : "stored";
    std::printf("%-6s %10u %10u %-7s %08X %-22s %s\n", e.isFolder ? "folder" : "file", e.header.size,
                e.header.storedSize, method, e.header.crc, FormatTimeStamp(e.header).c_str(), e.name.c_str());
    total += e.header.size;
    stored += e.header.storedSize;
  }
  std::printf("\n%u entries, %llu bytes, %llu stored\n", setup.header.fileCount, static_cast<unsigned long long>(total),
              static_cast<unsigned long long>(stored));
  return kExitOk;
}

}  // namespace sfx::cli
