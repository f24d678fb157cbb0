#include <cstdio>
#include <filesystem>
#include <string>

#include "services/core/file_system.h"
#include "tools/sfxkit/cli.h"
#include "tools/sfxkit/commands.h"
#include "tools/sfxkit/file_times.h"
#include "tools/sfxkit/launcher_payload.h"
#include "tools/sfxkit/options.h"
#include "tools/sfxkit/payload_entries.h"
#include "tools/sfxkit/progress.h"

namespace sfx::cli {

namespace fs = std::filesystem;

const char kExtractUsage[] =
    "usage: sfxkit extract FILE -o DIR [--overwrite]\n"
    "\n"
    "Unpacks the payload of a packed launcher (POSIX or Windows) into DIR without\n"
    "running the setup program. Records are checked as the launcher checks them,\n"
    "every file's size and CRC-32 is verified and it gets the record's time stamp.\n"
    "\n"
    "options:\n"
    "  -o, --output DIR   the folder to unpack into (made if missing)\n"
    "  --overwrite        replace files that already exist in DIR (default: refuse)\n"
    "\n"
    "Exits with 1 at the first damaged record or failed write; what was unpacked\n"
    "before it stays.\n";

namespace {

const Command& ExtractCommand() { return CommandNamed("extract"); }

// Folders and files go where the name says, below `root` only: the names
// passed the launcher's checks (no "..", no root, no drive) before they get
// here.
fs::path TargetPath(const fs::path& root, const std::string& name) {
  std::string relative = name;
  if (!relative.empty() && (relative.back() == '/' || relative.back() == '\\')) relative.pop_back();
  for (char& c : relative)
    if (c == '\\') c = '/';
  return root / fs::path(relative);
}

}  // namespace

int RunExtract(int argc, char** argv) {
  Options options;
  std::string error;
  if (!options.Parse(argc, argv, {{"output", 'o', true}, {"overwrite", 0, false}}, &error))
    return ReportUsageError(ExtractCommand(), error);
  if (options.operands().size() != 1) return ReportUsageError(ExtractCommand(), "expected one FILE");
  const std::string* output = options.Value("output");
  if (output == nullptr || output->empty()) return ReportUsageError(ExtractCommand(), "give the folder with -o DIR");
  const std::string& path = options.operands()[0];
  const bool overwrite = options.Has("overwrite");

  LauncherPayload payload;
  if (Status s = payload.Open(path); !s.ok()) return ReportError(path + ": " + s.message());
  SetupInfo setup;
  if (Status s = ReadSetup(payload, &setup); !s.ok()) return ReportError(path + ": " + s.message());
  // Every record is checked before anything is written.
  std::vector<Entry> entries;
  std::uint64_t storedTotal = 0;
  for (std::uint32_t n = 1; n <= setup.header.fileCount; ++n) {
    Entry e;
    if (Status s = ReadEntry(payload, n, &e); !s.ok()) return ReportError(path + ": " + s.message());
    storedTotal += e.data.size();
    entries.push_back(e);
  }

  const fs::path root(*output);
  std::error_code ec;
  fs::create_directories(root, ec);
  if (!fs::is_directory(root, ec)) return ReportError("cannot make the folder '" + *output + "'");

  ProgressBar progress("extracting", storedTotal);
  for (const Entry& e : entries) {
    const fs::path target = TargetPath(root, e.name);
    progress.Advance(0, e.name);
    if (e.isFolder) {
      if (!fs::is_directory(target, ec) && !fs::create_directory(target, ec))
        return ReportError("cannot make the folder '" + target.string() + "'" + (ec ? ": " + ec.message() : ""));
      continue;
    }
    if (fs::exists(fs::symlink_status(target, ec)) && !overwrite)
      return ReportError("'" + target.string() + "' exists already (use --overwrite to replace it)");
    const std::string targetText = target.string();
    // The file is written under a temporary name beside its own and moved into
    // place only after its size and CRC-32 checked: a damaged file never
    // appears under its name.
    const fs::path partial = fs::path(targetText + ".partial");
    std::string partialText = partial.string();
    Stream* stream = nullptr;
    Result r = FileSystem()->Open(partialText.data(), 0, kOpenCreate, &stream);
    if (Failed(r)) return ReportFailure("cannot create '" + targetText + "'", r);
    std::uint32_t size = 0, crc = 0;
    r = DecodeEntry(e, stream, &size, &crc);
    const Result closed = stream->Close();
    Status checked;
    if (Failed(r)) {
      checked = Status::Error("record " + e.recordName + " ('" + e.name + "') does not decode");
    } else if (Failed(closed)) {
      checked = Status::Error("cannot finish writing '" + targetText + "'");
    } else {
      checked = CheckDecoded(e, size, crc);
      if (!checked.ok()) checked = Status::Error(path + ": " + checked.message());
    }
    if (checked.ok() && !SetLocalModificationTime(partial, e.header))
      std::fprintf(stderr, "sfxkit: warning: could not set the time stamp of '%s'\n", targetText.c_str());
    if (checked.ok() && payload::IsMarkedExecutable(e.header)) {
      // Execute follows read, as the umask chose it.
      const fs::perms read = fs::status(partial, ec).permissions();
      fs::perms run = fs::perms::none;
      if ((read & fs::perms::owner_read) != fs::perms::none) run |= fs::perms::owner_exec;
      if ((read & fs::perms::group_read) != fs::perms::none) run |= fs::perms::group_exec;
      if ((read & fs::perms::others_read) != fs::perms::none) run |= fs::perms::others_exec;
      if (!ec) fs::permissions(partial, run, fs::perm_options::add, ec);
      if (ec) checked = Status::Error("cannot make '" + targetText + "' executable: " + ec.message());
    }
    if (checked.ok()) {
      fs::rename(partial, target, ec);
      if (ec) checked = Status::Error("cannot write '" + targetText + "': " + ec.message());
    }
    if (!checked.ok()) {
      std::error_code ignored;
      fs::remove(partial, ignored);
      if (Failed(r)) return ReportFailure(checked.message(), r);
      if (Failed(closed)) return ReportFailure(checked.message(), closed);
      return ReportError(checked.message());
    }
    progress.Advance(e.data.size());
  }
  // Folders get their time stamps last: creating their contents changed them.
  for (const Entry& e : entries) {
    if (e.isFolder) (void)SetLocalModificationTime(TargetPath(root, e.name), e.header);
  }
  progress.Finish();
  std::printf("extracted %u entries into %s\n", setup.header.fileCount, output->c_str());
  return kExitOk;
}

}  // namespace sfx::cli
