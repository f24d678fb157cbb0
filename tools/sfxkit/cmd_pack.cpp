#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "launcher/payload_writer.h"
#include "platform/launcher_files.h"
#include "platform/program_path.h"
#include "services/codec/crc.h"
#include "services/codec/deflater.h"
#include "services/core/memory_stream.h"
#include "tools/sfxkit/cli.h"
#include "tools/sfxkit/commands.h"
#include "tools/sfxkit/launcher_payload.h"
#include "tools/sfxkit/options.h"
#include "tools/sfxkit/pack_tree.h"
#include "tools/sfxkit/pe_format.h"
#include "tools/sfxkit/pe_image.h"
#include "tools/sfxkit/pe_writer.h"
#include "tools/sfxkit/progress.h"
#include "tools/sfxkit/stub_target.h"

namespace sfx::cli {

namespace fs = std::filesystem;

const char kPackUsage[] =
    "usage: sfxkit pack DIR -o OUT --run PROGRAM [options]\n"
    "\n"
    "Packs the folder DIR into OUT, a copy of the launcher stub that carries DIR's\n"
    "files as its payload. When OUT runs, it unpacks them into a fresh temporary\n"
    "folder, starts PROGRAM (one of the packed files, named relative to DIR) with\n"
    "ARGS, waits for it and deletes the folder.\n"
    "\n"
    "options:\n"
    "  -o, --output OUT        the launcher to write\n"
    "  -r, --run PROGRAM       the setup program, relative to DIR (e.g. setup.sh)\n"
    "  -a, --args ARGS         its command line arguments, as one text (at most 255 bytes)\n"
    "  -t, --title TITLE       the product title the progress display shows (first 31 bytes;\n"
    "                          default: DIR's name)\n"
    "      --target T          posix (payload appended) or windows (payload in resources);\n"
    "                          or a machine: linux-x86_64, linux-arm64, ... (the stub must\n"
    "                          be built for it); default: the stub's kind, else this system's\n"
    "  -s, --stub PATH         the launcher stub (default: $SFXKIT_STUB, else the launcher\n"
    "                          built beside this tool)\n"
    "      --store             store every file without compressing it\n"
    "\n"
    "Files are compressed one by one and stored as they are when that is not smaller.\n"
    "Folders come before their contents, names in byte order; time stamps are the\n"
    "files' modification times in local time. Names over 255 bytes or ones the\n"
    "launcher refuses, files of 4 GiB or more, and a PROGRAM that is not a packed\n"
    "file are refused. The launcher is read back and checked before OUT is replaced.\n";

namespace {

const Command& PackCommand() { return CommandNamed("pack"); }

bool ReadWholeFile(const fs::path& path, std::vector<std::uint8_t>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool WriteWholeFile(const fs::path& path, std::span<const std::uint8_t> a, std::span<const std::uint8_t> b = {}) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(a.data()), static_cast<std::streamsize>(a.size()));
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
  out.close();
  return static_cast<bool>(out);
}

// Compresses `content` with the deflater into `stored`; false (and `stored`
// untouched) when the result would not be smaller than the content, so that
// the caller stores it instead.
Result Compress(Deflater* deflater, std::vector<std::uint8_t>& content, std::vector<std::uint8_t>* stored,
                bool* compressed) {
  *compressed = false;
  if (content.size() < 2) return kOk;
  const auto size = static_cast<std::uint32_t>(content.size());
  Stream* input = nullptr;
  SFX_TRY(MemoryStreams()->CreateMemoryStream(content.data(), size, size, kMemoryStreamCallerOwns, &input));
  std::vector<std::uint8_t> out(size - 1);
  Result r = deflater->InitOutput(out.data(), size - 1);
  if (Succeeded(r)) r = deflater->Compress(input, 0, size, nullptr, nullptr);
  std::uint32_t total = 0;
  if (Succeeded(r)) r = deflater->FinishOutput(&total);
  (void)input->Close();
  if (r == kDeflateOutputFull) return kOk;
  SFX_TRY(r);
  out.resize(total);
  *stored = std::move(out);
  *compressed = true;
  return kOk;
}

// The stub when none is given: $SFXKIT_STUB, else the launcher of the same
// build tree as this tool (build/<preset>/tools/sfxkit/sfxkit beside
// build/<preset>/launcher/launcher), for a Windows target also the one of the
// win32 build beside it, for another machine the one of the build named after
// it (build/linux-arm64/launcher/launcher).
std::string DefaultStub(bool windows, const std::string& machine) {
  if (const char* env = std::getenv("SFXKIT_STUB"); env && *env) return env;
  const std::string self = platform::OwnProgramPath();
  if (self.empty()) return {};
  const fs::path build = fs::path(self).parent_path().parent_path().parent_path();
  std::vector<fs::path> candidates;
  if (machine.empty() || machine == HostPosixTarget())
    candidates.push_back(build / "launcher" / (windows ? "launcher.exe" : "launcher"));
  if (!machine.empty()) candidates.push_back(build.parent_path() / machine / "launcher" / "launcher");
  if (windows) candidates.push_back(build.parent_path() / "win32" / "launcher" / "launcher.exe");
  for (const fs::path& candidate : candidates) {
    std::error_code ec;
    if (fs::is_regular_file(candidate, ec)) return candidate.string();
  }
  return {};
}

// Closes a stream on every way out of a scope.
struct StreamCloser {
  Stream* stream = nullptr;
  ~StreamCloser() {
    if (stream) (void)stream->Close();
  }
};

struct SetupTexts {
  std::string title, program, arguments;
};

// Writes the payload of `entries` into `image` in the launcher's record
// layouts, compressing each file unless `store`. False with a message.
bool BuildPayload(const std::vector<PackEntry>& entries, std::uint64_t totalBytes, const SetupTexts& setup, bool store,
                  Stream* image, std::uint32_t* fileCount, std::uint64_t* storedBytes, std::string* error) {
  launcher::PayloadWriter writer;
  Deflater* deflater = nullptr;
  std::string what = "writing the payload";
  Result r = writer.Start(image, launcher::PayloadFormat::kAppendedImage);
  if (Succeeded(r)) r = writer.SetSetup(setup.title.c_str(), setup.program.c_str(), setup.arguments.c_str());
  if (Succeeded(r) && !store) r = Deflaters()->CreateDeflater(kDeflateDefaultBlockSize, &deflater);

  ProgressBar progress("packing", totalBytes);
  std::vector<std::uint8_t> content, compressed;
  for (std::size_t i = 0; i < entries.size() && Succeeded(r); ++i) {
    const PackEntry& e = entries[i];
    progress.Advance(0, e.name);
    what = "packing '" + e.path.string() + "'";
    if (e.isFolder) {
      r = writer.AddFolder(e.name.c_str(), e.time);
      continue;
    }
    if (!ReadWholeFile(e.path, &content) || content.size() != e.size) {
      if (deflater) (void)deflater->DestroyDeflater();
      *error = "cannot read '" + e.path.string() + "' (did it change while packing?)";
      return false;
    }
    const auto size = static_cast<std::uint32_t>(content.size());
    std::uint32_t crc = 0xFFFFFFFFu;
    (void)Crc()->UpdateCrc32(content.data(), size, &crc);
    bool isCompressed = false;
    if (deflater) r = Compress(deflater, content, &compressed, &isCompressed);
    if (Failed(r)) break;
    const std::vector<std::uint8_t>& data = isCompressed ? compressed : content;
    r = writer.AddFile(e.name.c_str(), e.time, isCompressed ? launcher::kMethodDeflate : launcher::kMethodStored, size,
                       ~crc, data.data(), static_cast<std::uint32_t>(data.size()));
    *storedBytes += data.size();
    progress.Advance(size);
  }
  if (Succeeded(r)) {
    what = "writing the payload";
    r = writer.Finish();
  }
  if (deflater) (void)deflater->DestroyDeflater();
  if (Failed(r)) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(r));
    const char* reason = DescribeResult(r);
    if (r == launcher::kPayloadTooLarge) {
      *error = "the payload would pass 4 GiB";
    } else if (r == kOutOfMemory) {
      // The payload is built in one memory block of at most about 2 GB.
      *error = what + ": the payload does not fit in memory";
    } else {
      *error = what + ": " + code + (*reason ? std::string(" (") + reason + ")" : "");
    }
    return false;
  }
  *fileCount = writer.fileCount();
  return true;
}

// Writes the launcher to `path`: the stub followed by the payload image for
// POSIX, the stub with the payload's records merged into its resources for
// Windows. Then reads the file back as list and verify would and compares
// every record with the payload. False with a message.
bool WriteLauncher(Target target, std::span<const std::uint8_t> stub, const pe::PeImage& stubImage,
                   std::span<const std::uint8_t> payload, std::uint32_t fileCount, const fs::path& path,
                   std::string* error) {
  platform::PayloadImage records;
  if (!records.Open(payload.data(), payload.size())) {
    *error = "the payload built does not read back";
    return false;
  }
  std::vector<std::string> names;
  for (std::uint32_t n = 0; n <= fileCount; ++n) {
    char name[launcher::kRecordNameBytes];
    launcher::FormatRecordName(n, name);
    names.push_back(name);
  }
  auto record = [&](const std::string& name) {
    const std::uint8_t* data = nullptr;
    std::uint32_t size = 0;
    (void)records.Find(name.c_str(), &data, &size);
    return std::span<const std::uint8_t>(data, size);
  };

  bool written = false;
  if (target == Target::kPosix) {
    written = WriteWholeFile(path, stub, payload);
  } else {
    std::vector<pe::Resource> resources;
    for (const std::string& name : names) {
      resources.push_back(
          pe::Resource{pe::ResourceKey::Id(pe::kRtRcData), pe::ResourceKey::Name(name.c_str()), 0, 0, record(name)});
    }
    std::vector<std::uint8_t> bytes;
    if (!pe::WriteWithResources(stubImage, resources, &bytes, error)) {
      *error = "the stub: " + *error;
      return false;
    }
    written = WriteWholeFile(path, bytes);
  }
  if (!written) {
    *error = "cannot write '" + path.string() + "'";
    return false;
  }
  LauncherPayload check;
  if (!check.Open(path.string(), error)) {
    *error = "the written launcher does not read back: " + *error;
    return false;
  }
  for (const std::string& name : names) {
    const std::span<const std::uint8_t> expected = record(name);
    std::span<const std::uint8_t> found;
    if (!check.Find(name.c_str(), &found) ||
        !std::equal(expected.begin(), expected.end(), found.begin(), found.end())) {
      *error = "the written launcher does not read back: record " + name + " differs";
      return false;
    }
  }
  return true;
}

}  // namespace

int RunPack(int argc, char** argv) {
  Options options;
  std::string error;
  if (!options.Parse(argc, argv,
                     {{"output", 'o', true},
                      {"run", 'r', true},
                      {"args", 'a', true},
                      {"title", 't', true},
                      {"target", 0, true},
                      {"stub", 's', true},
                      {"store", 0, false}},
                     &error)) {
    return ReportUsageError(PackCommand(), error);
  }
  if (options.operands().size() != 1) return ReportUsageError(PackCommand(), "expected one folder DIR");
  const fs::path root(options.operands()[0]);
  const std::string* output = options.Value("output");
  const std::string* run = options.Value("run");
  if (!output || output->empty()) return ReportUsageError(PackCommand(), "give the launcher to write with -o OUT");
  if (!run || run->empty()) return ReportUsageError(PackCommand(), "give the setup program with --run PROGRAM");
  const std::string program = NormaliseProgramName(*run);
  const std::string arguments = options.Value("args") ? *options.Value("args") : std::string();
  std::string title =
      options.Value("title") ? *options.Value("title") : fs::absolute(root).lexically_normal().filename().string();
  if (title.empty()) title = fs::absolute(root).lexically_normal().parent_path().filename().string();
  const bool store = options.Has("store");

  // Texts are single length bytes in the setup record.
  if (arguments.size() > 255)
    return ReportError("the arguments are " + std::to_string(arguments.size()) +
                       " bytes; the launcher carries at most 255 (cutting them would change the command)");
  if (title.size() > 255) return ReportError("the title is " + std::to_string(title.size()) + " bytes, more than 255");
  if (title.size() > 31)
    std::fprintf(stderr, "sfxkit: warning: the progress display shows only the first 31 bytes of the title: \"%s\"\n",
                 title.substr(0, 31).c_str());

  // The stub and the target.
  const std::string* targetOption = options.Value("target");
  if (targetOption && !IsKnownTargetName(*targetOption)) {
    const std::string known = "--target is posix or windows, or a machine such as linux-x86_64 or linux-arm64";
    return ReportUsageError(PackCommand(), known + ", not '" + *targetOption + "'");
  }
  const bool wantWindows = targetOption ? *targetOption == "windows" : platform::kPathSeparator == '\\';
  // A machine named exactly: the stub must be built for it.
  const std::string machine = targetOption && targetOption->starts_with("linux-") ? *targetOption : std::string();
  std::string stubPath = options.Value("stub") ? *options.Value("stub") : DefaultStub(wantWindows, machine);
  if (stubPath.empty()) {
    return ReportError("no " + (machine.empty() ? std::string(wantWindows ? "windows" : "posix") : machine) +
                       " launcher stub found: give one with --stub PATH (or set SFXKIT_STUB)");
  }
  std::vector<std::uint8_t> stub;
  if (!ReadWholeFile(stubPath, &stub)) return ReportError("cannot read the stub '" + stubPath + "'");
  const bool stubIsWindows = stub.size() >= 2 && pe::LoadU16(stub.data()) == pe::kDosMagic;
  Target target = stubIsWindows ? Target::kWindows : Target::kPosix;
  if (targetOption) {
    target = wantWindows ? Target::kWindows : Target::kPosix;
    if ((target == Target::kWindows) != stubIsWindows)
      return ReportError("the stub '" + stubPath + "' is not a " + TargetName(target) + " launcher");
  }
  const std::string stubTarget = ExecutableTarget(stub);
  if (!machine.empty() && stubTarget != machine) {
    return ReportError("the stub '" + stubPath + "' is " +
                       (stubTarget.empty() ? "not an executable" : "a " + stubTarget) + " launcher, not " + machine);
  }
  pe::PeImage stubImage;
  if (target == Target::kWindows && !stubImage.Parse(stub, &error))
    return ReportError("the stub '" + stubPath + "': " + error);
  if (target == Target::kPosix && PayloadImageStart(stub) != stub.size())
    return ReportError("the stub '" + stubPath + "' already carries a payload; pack a bare launcher");

  // The folder.
  std::vector<PackEntry> entries;
  PackTreeOptions treeOptions;
  treeOptions.caseInsensitiveNames = target == Target::kWindows;
  if (!WalkPackTree(root, treeOptions, &entries, &error)) return ReportError(error);
  std::uint64_t totalBytes = 0;
  bool programFound = false;
  for (const PackEntry& e : entries) {
    totalBytes += e.size;
    if (!e.isFolder && e.name == program) programFound = true;
  }
  if (!programFound)
    return ReportError("the setup program '" + program + "' is not among the files of '" + root.string() + "'");

  // The payload, built in memory, then the launcher: written next to OUT,
  // checked, and only then moved over OUT, so a failure never leaves half a
  // launcher behind.
  StreamCloser image;
  const std::uint64_t estimate = totalBytes + 300 * std::uint64_t{entries.size()} + 4096;
  Result r = MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, kMemoryStreamWritable, &image.stream);
  if (Failed(r)) return ReportFailure("payload", r);
  if (estimate < kMemoryStreamMaxCapacity) (void)image.stream->Reserve(static_cast<std::uint32_t>(estimate));
  std::uint32_t fileCount = 0;
  std::uint64_t storedBytes = 0;
  if (!BuildPayload(entries, totalBytes, SetupTexts{title, program, arguments}, store, image.stream, &fileCount,
                    &storedBytes, &error)) {
    return ReportError(error);
  }
  void* imageData = nullptr;
  std::uint32_t imageSize = 0;
  (void)MemoryStreams()->GetMemoryBlock(image.stream, &imageData, &imageSize, nullptr);
  const std::span<const std::uint8_t> payload(static_cast<const std::uint8_t*>(imageData), imageSize);

  const fs::path out(*output);
  const fs::path temporary = fs::path(*output + ".partial");
  if (!WriteLauncher(target, stub, stubImage, payload, fileCount, temporary, &error)) {
    std::error_code ec;
    fs::remove(temporary, ec);
    return ReportError(error);
  }
  std::error_code ec;
  fs::permissions(temporary, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                  fs::perm_options::add, ec);
  fs::rename(temporary, out, ec);
  if (ec) {
    fs::remove(temporary, ec);
    return ReportError("cannot replace '" + out.string() + "': " + ec.message());
  }
  const std::uint64_t outSize = fs::file_size(out, ec);
  std::printf("packed %zu entries (%llu bytes, %llu stored) into %s: %s launcher, %llu bytes\n", entries.size(),
              static_cast<unsigned long long>(totalBytes), static_cast<unsigned long long>(storedBytes),
              out.string().c_str(), stubTarget.empty() ? TargetName(target) : stubTarget.c_str(),
              static_cast<unsigned long long>(outSize));
  return kExitOk;
}

}  // namespace sfx::cli
