#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "payload/image.h"
#include "payload/writer.h"
#include "platform/file.h"
#include "services/codec/crc.h"
#include "services/codec/deflater.h"
#include "services/core/memory_stream.h"
#include "tools/sfxkit/cli.h"
#include "tools/sfxkit/commands.h"
#include "tools/sfxkit/image_file_stream.h"
#include "tools/sfxkit/image_read_back.h"
#include "tools/sfxkit/launcher_payload.h"
#include "tools/sfxkit/options.h"
#include "tools/sfxkit/pack_pipeline.h"
#include "tools/sfxkit/pack_tree.h"
#include "tools/sfxkit/pe_format.h"
#include "tools/sfxkit/pe_image.h"
#include "tools/sfxkit/pe_writer.h"
#include "tools/sfxkit/progress.h"
#include "tools/sfxkit/stub_target.h"
#include "tools/sfxkit/stubs.h"

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
    "                          installed or built beside this tool; see sfxkit --version)\n"
    "      --store             store every file without compressing it\n"
    "  -j, --jobs N            compress with N workers (default: the number of\n"
    "                          processors); the launcher is the same for every N\n"
    "\n"
    "Files are compressed (large ones in pieces, by several workers at once) and\n"
    "stored as they are when that is not smaller. The payload streams into OUT as it\n"
    "is made, so memory stays small however large DIR is; it may hold up to 4 GiB\n"
    "(a Windows launcher's payload is built in memory and holds up to 2 GB).\n"
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

// 0, or the system's error number.
int WriteWholeFile(const fs::path& path, std::span<const std::uint8_t> a) {
  errno = 0;
  std::FILE* out = std::fopen(path.string().c_str(), "wb");
  if (out == nullptr) return errno != 0 ? errno : EIO;
  // An empty span may have no data pointer at all.
  const auto put = [out](std::span<const std::uint8_t> s) {
    return s.empty() || std::fwrite(s.data(), 1, s.size(), out) == s.size();
  };
  const bool ok = put(a);
  int error = ok ? 0 : (errno != 0 ? errno : EIO);
  if (std::fclose(out) != 0 && error == 0) error = errno != 0 ? errno : EIO;
  return error;
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

// Writes the payload of `entries` through `writer` onto `image` in the
// launcher's record layouts, compressing each file unless `work.store`.
Status BuildPayload(const std::vector<PackEntry>& entries, std::uint64_t totalBytes, const SetupTexts& setup,
                    const PackWork& work, payload::PayloadWriter* writer, Stream* image, std::uint64_t* storedBytes) {
  Result r = writer->Start(image, payload::PayloadFormat::kAppendedImage);
  if (Succeeded(r)) r = writer->SetSetup(setup.title.c_str(), setup.program.c_str(), setup.arguments.c_str());
  if (Failed(r)) return Status::Error("writing the payload: " + std::string(DescribeResult(r)));
  ProgressBar progress("packing", totalBytes);
  SFXKIT_TRY(PackEntries(entries, work, writer, &progress, storedBytes));
  r = writer->Finish();
  if (r == payload::kPayloadTooLarge) return Status::Error(kPayloadLimitMessage);
  if (Failed(r)) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(r));
    const char* reason = DescribeResult(r);
    return Status::Error(std::string("writing the payload: ") + code +
                         (*reason ? std::string(" (") + reason + ")" : ""));
  }
  return Status();
}

// Writes the Windows launcher to `path`: the stub with the payload's records
// merged into its resources. Then reads the file back as list and verify
// would and compares every record with the payload. Failures name `shown`,
// the path the user gave, rather than the temporary file.
Status WriteWindowsLauncher(const pe::PeImage& stubImage, std::span<const std::uint8_t> payload,
                            std::uint32_t fileCount, const fs::path& path, const fs::path& shown) {
  payload::PayloadImage records;
  if (!records.Open(payload.data(), payload.size())) return Status::Error("the payload built does not read back");
  std::vector<std::string> names;
  for (std::uint32_t n = 0; n <= fileCount; ++n) {
    char name[payload::kRecordNameBytes];
    payload::FormatRecordName(n, name);
    names.push_back(name);
  }
  auto record = [&](const std::string& name) {
    const std::uint8_t* data = nullptr;
    std::uint32_t size = 0;
    (void)records.Find(name.c_str(), &data, &size);
    return std::span<const std::uint8_t>(data, size);
  };

  std::vector<pe::Resource> resources;
  for (const std::string& name : names) {
    resources.push_back(
        pe::Resource{pe::ResourceKey::Id(pe::kRtRcData), pe::ResourceKey::Name(name.c_str()), 0, 0, record(name)});
  }
  std::vector<std::uint8_t> bytes;
  if (Status s = pe::WriteWithResources(stubImage, resources, &bytes); !s.ok())
    return Status::Error("the stub: " + s.message());
  const int written = WriteWholeFile(path, bytes);
  if (written != 0) return Status::Error("cannot write '" + shown.string() + "': " + std::strerror(written));
  LauncherPayload check;
  if (Status s = check.Open(path.string()); !s.ok())
    return Status::Error("the written launcher does not read back: " + s.message());
  for (const std::string& name : names) {
    const std::span<const std::uint8_t> expected = record(name);
    std::span<const std::uint8_t> found;
    if (!check.Find(name.c_str(), &found) ||
        !std::equal(expected.begin(), expected.end(), found.begin(), found.end())) {
      return Status::Error("the written launcher does not read back: record " + name + " differs");
    }
  }
  return Status();
}

// What the command line asks for.
struct PackRequest {
  fs::path root;
  std::string output;
  SetupTexts setup;
  bool store = false;
  const std::string* targetOption = nullptr;  // "posix", "windows", a machine or none
  std::string machine;                        // "linux-arm64" and the like when named
  std::string stubPath;
};

// The options, checked; kExitOk to go on, else the exit status after the
// report.
int ReadRequest(int argc, char** argv, Options* options, PackRequest* request) {
  std::string error;
  if (!options->Parse(argc, argv,
                      {{"output", 'o', true},
                       {"run", 'r', true},
                       {"args", 'a', true},
                       {"title", 't', true},
                       {"target", 0, true},
                       {"stub", 's', true},
                       {"store", 0, false},
                       {"jobs", 'j', true}},
                      &error)) {
    return ReportUsageError(PackCommand(), error);
  }
  if (options->operands().size() != 1) return ReportUsageError(PackCommand(), "expected one folder DIR");
  request->root = fs::path(options->operands()[0]);
  const std::string* output = options->Value("output");
  const std::string* run = options->Value("run");
  if (!output || output->empty()) return ReportUsageError(PackCommand(), "give the launcher to write with -o OUT");
  if (!run || run->empty()) return ReportUsageError(PackCommand(), "give the setup program with --run PROGRAM");
  request->output = *output;
  SetupTexts& setup = request->setup;
  setup.program = NormaliseProgramName(*run);
  setup.arguments = options->Value("args") ? *options->Value("args") : std::string();
  const fs::path root = request->root;
  setup.title =
      options->Value("title") ? *options->Value("title") : fs::absolute(root).lexically_normal().filename().string();
  if (setup.title.empty()) setup.title = fs::absolute(root).lexically_normal().parent_path().filename().string();
  request->store = options->Has("store");

  // Texts are single length bytes in the setup record.
  if (setup.arguments.size() > 255)
    return ReportError("the arguments are " + std::to_string(setup.arguments.size()) +
                       " bytes; the launcher carries at most 255 (cutting them would change the command)");
  if (setup.title.size() > 255)
    return ReportError("the title is " + std::to_string(setup.title.size()) + " bytes, more than 255");
  if (setup.title.size() > 31)
    std::fprintf(stderr, "sfxkit: warning: the progress display shows only the first 31 bytes of the title: \"%s\"\n",
                 setup.title.substr(0, 31).c_str());

  request->targetOption = options->Value("target");
  const std::string* targetOption = request->targetOption;
  if (targetOption && !IsKnownTargetName(*targetOption)) {
    const std::string known = "--target is posix or windows, or a machine such as linux-x86_64 or linux-arm64";
    return ReportUsageError(PackCommand(), known + ", not '" + *targetOption + "'");
  }
  const bool wantWindows = targetOption ? *targetOption == "windows" : platform::kPathSeparator == '\\';
  // A machine named exactly: the stub must be built for it.
  if (targetOption && targetOption->starts_with("linux-")) request->machine = *targetOption;
  const std::string& machine = request->machine;
  request->stubPath = options->Value("stub") ? *options->Value("stub") : FindStub(wantWindows, machine);
  if (request->stubPath.empty()) {
    return ReportError("no " + (machine.empty() ? std::string(wantWindows ? "windows" : "posix") : machine) +
                       " launcher stub found: give one with --stub PATH (or set SFXKIT_STUB)");
  }
  return kExitOk;
}

// The stub, its target and, for Windows, its parsed image.
struct Stub {
  std::vector<std::uint8_t> bytes;
  Target target = Target::kPosix;
  std::string machine;  // what its header says it is built for
  pe::PeImage image;
};

Status LoadStub(const PackRequest& request, Stub* stub) {
  const std::string& stubPath = request.stubPath;
  if (!ReadWholeFile(stubPath, &stub->bytes)) return Status::Error("cannot read the stub '" + stubPath + "'");
  const bool stubIsWindows = stub->bytes.size() >= 2 && pe::LoadU16(stub->bytes.data()) == pe::kDosMagic;
  stub->target = stubIsWindows ? Target::kWindows : Target::kPosix;
  if (request.targetOption) {
    stub->target = *request.targetOption == "windows" ? Target::kWindows : Target::kPosix;
    if ((stub->target == Target::kWindows) != stubIsWindows)
      return Status::Error("the stub '" + stubPath + "' is not a " + TargetName(stub->target) + " launcher");
  }
  stub->machine = ExecutableTarget(stub->bytes);
  if (!request.machine.empty() && stub->machine != request.machine) {
    return Status::Error("the stub '" + stubPath + "' is " +
                         (stub->machine.empty() ? "not an executable" : "a " + stub->machine) + " launcher, not " +
                         request.machine);
  }
  if (stub->target == Target::kWindows) {
    if (Status s = stub->image.Parse(stub->bytes); !s.ok())
      return Status::Error("the stub '" + stubPath + "': " + s.message());
  }
  if (stub->target == Target::kPosix && payload::ImageStart(stub->bytes) != stub->bytes.size())
    return Status::Error("the stub '" + stubPath + "' already carries a payload; pack a bare launcher");
  return Status();
}

// Moves the finished launcher at `temporary` over OUT, made executable.
Status MoveIntoPlace(const fs::path& temporary, const fs::path& out) {
  std::error_code ec;
  fs::permissions(temporary, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                  fs::perm_options::add, ec);
  fs::rename(temporary, out, ec);
  if (ec) {
    fs::remove(temporary, ec);
    return Status::Error("cannot replace '" + out.string() + "': " + ec.message());
  }
  return Status();
}

// A Windows launcher: the payload is built in memory, since the records go
// into the stub's rebuilt resource section, and merged in.
Status PackWindows(const Stub& stub, const std::vector<PackEntry>& entries, std::uint64_t totalBytes,
                   const PackRequest& request, const PackWork& work, const PackLimits& limits, const fs::path& out,
                   std::uint64_t* storedBytes) {
  StreamCloser image;
  const std::uint64_t estimate = totalBytes + 300 * std::uint64_t{entries.size()} + 4096;
  if (Failed(MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, kMemoryStreamWritable, &image.stream)))
    return Status::Error("the payload does not fit in memory");
  // Only a hint: without it the stream grows as it is written.
  if (estimate < kMemoryStreamMaxCapacity) (void)image.stream->Reserve(static_cast<std::uint32_t>(estimate));
  payload::PayloadWriter writer;
  writer.LimitSize(limits.imageBytes);
  Status built = BuildPayload(entries, totalBytes, request.setup, work, &writer, image.stream, storedBytes);
  if (!built.ok()) {
    std::uint32_t size = 0;
    (void)image.stream->GetSize(&size);
    // A memory stream holds at most about 2 GB; the write that failed was
    // at most one unit of a file.
    constexpr std::uint64_t kLargestWrite = 1 << 20;
    if (size + kLargestWrite >= kMemoryStreamMaxCapacity)
      return Status::Error("a Windows launcher's payload is built in memory, which holds at most " +
                           std::to_string(kMemoryStreamMaxCapacity) + " bytes; the payload does not fit");
    return built;
  }
  void* imageData = nullptr;
  std::uint32_t imageSize = 0;
  (void)MemoryStreams()->GetMemoryBlock(image.stream, &imageData, &imageSize, nullptr);
  const std::span<const std::uint8_t> payload(static_cast<const std::uint8_t*>(imageData), imageSize);
  const fs::path temporary = fs::path(out.string() + ".partial");
  if (Status s = WriteWindowsLauncher(stub.image, payload, writer.fileCount(), temporary, out); !s.ok()) {
    std::error_code ec;
    fs::remove(temporary, ec);
    return s;
  }
  return MoveIntoPlace(temporary, out);
}

// A POSIX launcher: the stub, then the payload image streamed into the file
// as it is made. The file is written next to OUT, read back and checked, and
// only then moved over OUT, so a failure never leaves half a launcher behind.
Status PackPosix(const Stub& stub, const std::vector<PackEntry>& entries, std::uint64_t totalBytes,
                 const PackRequest& request, const PackWork& work, const PackLimits& limits, const fs::path& out,
                 std::uint64_t* storedBytes) {
  const fs::path temporary = fs::path(out.string() + ".partial");
  ImageFileStream* file = nullptr;
  if (Status s = ImageFileStream::Create(temporary.string(), out.string(), stub.bytes, &file); !s.ok()) {
    std::error_code ec;
    fs::remove(temporary, ec);  // the stub may be in it already
    return s;
  }
  file->FailWritesPast(limits.failWritesPast);
  payload::PayloadWriter writer;
  writer.LimitSize(limits.imageBytes);
  Status s = BuildPayload(entries, totalBytes, request.setup, work, &writer, file, storedBytes);
  // The system's reason says more than the writer's code.
  if (!file->failure().empty()) s = Status::Error("cannot write '" + out.string() + "': " + file->failure());
  if (s.ok()) {
    if (Status finished = file->Finish(); !finished.ok())
      s = Status::Error("cannot write '" + out.string() + "': " + finished.message());
  }
  (void)file->Close();
  if (s.ok()) s = CheckWrittenImage(temporary.string(), out.string(), stub.bytes, writer);
  if (!s.ok()) {
    std::error_code ec;
    fs::remove(temporary, ec);
    return s;
  }
  return MoveIntoPlace(temporary, out);
}

// "-j N": 1 to kMaxJobs; the number of processors when not given.
constexpr unsigned kMaxJobs = 256;
bool ReadJobs(const Options& options, unsigned* jobs) {
  const std::string* value = options.Value("jobs");
  if (value == nullptr) {
    *jobs = std::max(1u, std::min(kMaxJobs, std::thread::hardware_concurrency()));
    return true;
  }
  if (value->empty() || value->size() > 3 || value->find_first_not_of("0123456789") != std::string::npos) return false;
  *jobs = static_cast<unsigned>(std::stoul(*value));
  return *jobs >= 1 && *jobs <= kMaxJobs;
}

}  // namespace

int RunPack(int argc, char** argv) { return RunPackWithLimits(argc, argv, PackLimits()); }

int RunPackWithLimits(int argc, char** argv, const PackLimits& limits) {
  Options options;
  PackRequest request;
  if (const int status = ReadRequest(argc, argv, &options, &request); status != kExitOk) return status;
  PackWork work;
  work.store = request.store;
  if (!ReadJobs(options, &work.jobs))
    return ReportUsageError(PackCommand(), "-j takes a number of jobs from 1 to " + std::to_string(kMaxJobs));
  Stub stub;
  if (Status s = LoadStub(request, &stub); !s.ok()) return ReportError(s.message());

  // The folder.
  std::vector<PackEntry> entries;
  PackTreeOptions treeOptions;
  treeOptions.caseInsensitiveNames = stub.target == Target::kWindows;
  treeOptions.keepExecutable = stub.target == Target::kPosix;
  treeOptions.refuseDeviceNames = stub.target == Target::kWindows;
  if (Status s = WalkPackTree(request.root, treeOptions, &entries); !s.ok()) return ReportError(s.message());
  std::uint64_t totalBytes = 0;
  bool programFound = false;
  for (const PackEntry& e : entries) {
    totalBytes += e.size;
    if (!e.isFolder && e.name == request.setup.program) programFound = true;
  }
  if (!programFound) {
    return ReportError("the setup program '" + request.setup.program + "' is not among the files of '" +
                       request.root.string() + "'");
  }
  // Names carry the target's separator: the Windows dialog shows them as
  // stored.
  if (stub.target == Target::kWindows) {
    for (PackEntry& e : entries) std::replace(e.name.begin(), e.name.end(), '/', '\\');
  }

  // A tree that cannot fit even with every file compressed to nothing (or,
  // with --store, stored) is refused before anything is written.
  std::uint64_t least = payload::kSetupHeaderSize + request.setup.title.size() + request.setup.program.size() +
                        request.setup.arguments.size() + payload::kPayloadTrailerSize +
                        (entries.size() + 1) * (payload::kPayloadEntrySize + payload::kRecordNameBytes - 1);
  for (const PackEntry& e : entries) least += payload::kFileHeaderSize + e.name.size() + (work.store ? e.size : 0);
  if (least > limits.imageBytes) return ReportError(kPayloadLimitMessage);

  const fs::path out(request.output);
  std::uint64_t storedBytes = 0;
  Status s = stub.target == Target::kWindows
                 ? PackWindows(stub, entries, totalBytes, request, work, limits, out, &storedBytes)
                 : PackPosix(stub, entries, totalBytes, request, work, limits, out, &storedBytes);
  if (!s.ok()) return ReportError(s.message());
  std::error_code ec;
  const std::uint64_t outSize = fs::file_size(out, ec);
  std::printf("packed %zu entries (%llu bytes, %llu stored) into %s: %s launcher, %llu bytes\n", entries.size(),
              static_cast<unsigned long long>(totalBytes), static_cast<unsigned long long>(storedBytes),
              out.string().c_str(), stub.machine.empty() ? TargetName(stub.target) : stub.machine.c_str(),
              static_cast<unsigned long long>(outSize));
  return kExitOk;
}

}  // namespace sfx::cli
