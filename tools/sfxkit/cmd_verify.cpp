#include <algorithm>
#include <cstdio>
#include <string>

#include "tools/sfxkit/cli.h"
#include "tools/sfxkit/commands.h"
#include "tools/sfxkit/discard_stream.h"
#include "tools/sfxkit/launcher_payload.h"
#include "tools/sfxkit/options.h"
#include "tools/sfxkit/payload_entries.h"
#include "tools/sfxkit/progress.h"
#include "tools/sfxkit/stub_target.h"

namespace sfx::cli {

using namespace payload;

const char kVerifyUsage[] =
    "usage: sfxkit verify FILE\n"
    "\n"
    "Checks the payload of a packed launcher (POSIX or Windows) without running it\n"
    "and without writing anything: every record is checked as the launcher checks\n"
    "it, every file is decoded in memory and its size and CRC-32 compared with the\n"
    "record, and the setup program must be one of the files.\n"
    "\n"
    "Exits with 0 when the payload is intact, 1 otherwise (the first fault is named).\n";

namespace {
const Command& VerifyCommand() { return CommandNamed("verify"); }
}  // namespace

int VerifyPayload(const LauncherPayload& payload, const std::string& label, bool quiet) {
  SetupInfo setup;
  if (Status s = ReadSetup(payload, &setup); !s.ok()) return ReportError(label + ": " + s.message());
  std::vector<Entry> entries;
  std::uint64_t storedTotal = 0;
  bool programFound = false;
  // Either separator works on every target: "a/b" names the entry "a\\b".
  const auto slashed = [](std::string name) {
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
  };
  const std::string program = slashed(setup.program);
  for (std::uint32_t n = 1; n <= setup.header.fileCount; ++n) {
    Entry e;
    if (Status s = ReadEntry(payload, n, &e); !s.ok()) return ReportError(label + ": " + s.message());
    storedTotal += e.data.size();
    if (!e.isFolder && slashed(e.name) == program) programFound = true;
    entries.push_back(e);
  }
  if (!programFound) return ReportError(label + ": the setup program '" + setup.program + "' is not among the files");

  DiscardStream* sink = nullptr;
  if (Failed(DiscardStream::Create(&sink))) return ReportFailure("verify", kOutOfMemory);
  ProgressBar progress(quiet ? std::string() : "verifying", quiet ? 0 : storedTotal);
  std::uint64_t decodedTotal = 0;
  int status = kExitOk;
  for (const Entry& e : entries) {
    if (e.isFolder) continue;
    progress.Advance(0, e.name);
    std::uint32_t size = 0, crc = 0;
    const Result r = DecodeEntry(e, sink, &size, &crc);
    if (Failed(r)) {
      status = ReportFailure(label + ": record " + e.recordName + " ('" + e.name + "') does not decode", r);
      break;
    }
    if (Status checked = CheckDecoded(e, size, crc); !checked.ok()) {
      status = ReportError(label + ": " + checked.message());
      break;
    }
    decodedTotal += size;
    progress.Advance(e.data.size());
  }
  progress.Finish();
  (void)sink->Close();
  if (status == kExitOk && !quiet) {
    const std::string machine = ExecutableTarget(payload.bytes());
    std::printf("%s: intact (%s launcher, %u entries, %llu bytes)\n", label.c_str(),
                machine.empty() ? TargetName(payload.target()) : machine.c_str(), setup.header.fileCount,
                static_cast<unsigned long long>(decodedTotal));
  }
  return status;
}

int RunVerify(int argc, char** argv) {
  Options options;
  std::string error;
  if (!options.Parse(argc, argv, {}, &error)) return ReportUsageError(VerifyCommand(), error);
  if (options.operands().size() != 1) return ReportUsageError(VerifyCommand(), "expected one FILE");
  const std::string& path = options.operands()[0];
  LauncherPayload payload;
  if (Status s = payload.Open(path); !s.ok()) return ReportError(path + ": " + s.message());
  return VerifyPayload(payload, path, false);
}

}  // namespace sfx::cli
