#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "services/codec/deflater.h"
#include "services/codec/zip_archive.h"
#include "services/core/file_system.h"
#include "tools/sfxkit/cli.h"
#include "tools/sfxkit/commands.h"
#include "tools/sfxkit/file_times.h"
#include "tools/sfxkit/options.h"

namespace sfx::cli {
namespace {

namespace fs = std::filesystem;

const char* ZipReason(Result r) {
  switch (static_cast<std::uint32_t>(r)) {
    case 0x82030001u: return "not a ZIP archive: no end record";
    case 0x82030002u: return "damaged ZIP archive: a record is not where it must be";
    case 0x82030003u: return "the member is encrypted";
    case 0x80000004u: return "the member is not DEFLATE-compressed";
    default: return nullptr;
  }
}

int Fail(const std::string& what, Result r) {
  if (const char* reason = ZipReason(r)) {
    std::fprintf(stderr, "sfxkit: %s: 0x%08X (%s)\n", what.c_str(), static_cast<unsigned>(r), reason);
    return kExitFailure;
  }
  return ReportFailure(what, r);
}

// An archive open on a file stream; closes both on the way out.
class OpenZip {
 public:
  ~OpenZip() {
    if (zip_ != nullptr) (void)zip_->DestroyZipArchive();  // nothing left to report at this point
    if (stream_ != nullptr) (void)stream_->Close();
  }
  Result Open(const std::string& path, std::uint32_t mode, bool create) {
    SFX_TRY(ZipArchives()->CreateZipArchive(kDeflateDefaultBlockSize, &zip_));
    SFX_TRY(FileSystem()->OpenPath(path.c_str(), mode, &stream_));
    return create ? zip_->NewArchive(stream_, 0) : zip_->OpenArchive(stream_, 0, 0xFFFFFFFFu);
  }
  // Closes the stream, reporting whether its last writes reached the file.
  Result Close() {
    Stream* s = stream_;
    stream_ = nullptr;
    return s->Close();
  }
  ZipArchive* zip() { return zip_; }
  Stream* stream() { return stream_; }

 private:
  ZipArchive* zip_ = nullptr;
  Stream* stream_ = nullptr;
};

struct EntryInfo {
  std::string name;
  DateTimeRecord time{};
  std::uint32_t crc = 0;
  std::uint32_t packed = 0;
  std::uint32_t size = 0;
};

Result ReadEntry(OpenZip& z, EntryInfo* e) {
  std::uint16_t nameLength = 0;
  std::uint32_t namePosition = 0;
  SFX_TRY(z.zip()->GetEntryInfo(&e->time, &e->crc, &e->packed, &e->size, &nameLength, &namePosition));
  e->name.assign(nameLength, '\0');
  std::uint32_t done = 0;
  SFX_TRY(z.stream()->ReadAt(namePosition, e->name.data(), nameLength, &done));
  return done == nameLength ? kOk : kStreamShortRead;
}

// Names come from the archive and are untrusted: only relative paths that
// stay inside the target folder are written.
bool IsSafeName(const std::string& name) {
  if (name.empty() || name[0] == '/' || name[0] == '\\' || (name.size() > 1 && name[1] == ':')) return false;
  std::size_t at = 0;
  while (at <= name.size()) {
    std::size_t next = name.find_first_of("/\\", at);
    if (next == std::string::npos) next = name.size();
    if (name.compare(at, next - at, "..") == 0 && next - at == 2) return false;
    at = next + 1;
  }
  return name.find('\0') == std::string::npos;
}

int RunList(OpenZip& z) {
  Result r = z.zip()->FirstEntry();
  while (r == kOk) {
    EntryInfo e;
    r = ReadEntry(z, &e);
    if (Failed(r)) break;
    std::printf("%10u %10u  %04u-%02u-%02u %02u:%02u:%02u  %08x  %s\n", e.size, e.packed, e.time.year, e.time.month,
                e.time.day, e.time.hour, e.time.minute, e.time.second, e.crc, e.name.c_str());
    r = z.zip()->NextEntry();
  }
  return Failed(r) ? Fail("list", r) : kExitOk;
}

int ExtractOne(OpenZip& z, const EntryInfo& e, const fs::path& folder) {
  if (!IsSafeName(e.name)) return ReportError("skipping '" + e.name + "': not a relative path inside the folder");
  const fs::path target = folder / fs::path(e.name).relative_path();
  std::error_code ec;
  const bool isFolder = e.name.back() == '/' || e.name.back() == '\\';
  fs::create_directories(isFolder ? target : target.parent_path(), ec);
  if (ec) return ReportError("cannot create the folder for '" + e.name + "'");
  if (isFolder) return kExitOk;
  Stream* out = nullptr;
  Result r = FileSystem()->OpenPath(target.string().c_str(), kOpenCreate, &out);
  if (Failed(r)) return Fail("cannot create '" + target.string() + "'", r);
  std::uint32_t size = 0, crc = 0;
  r = z.zip()->ExtractEntry(out, &size, &crc, nullptr);
  const Result closed = out->Close();
  if (Succeeded(r)) r = closed;
  if (Failed(r)) return Fail("extract '" + e.name + "'", r);
  if (~crc != e.crc || size != e.size) return ReportError("'" + e.name + "' is damaged: its size or CRC-32 differs");
  std::printf("%s\n", e.name.c_str());
  return kExitOk;
}

int RunExtract(OpenZip& z, const fs::path& folder, const std::vector<std::string>& wanted) {
  std::vector<bool> found(wanted.size(), false);
  int status = kExitOk;
  Result r = z.zip()->FirstEntry();
  while (r == kOk) {
    EntryInfo e;
    r = ReadEntry(z, &e);
    if (Failed(r)) break;
    bool take = wanted.empty();
    for (std::size_t i = 0; i < wanted.size(); ++i) {
      if (wanted[i] == e.name) take = found[i] = true;
    }
    if (take && ExtractOne(z, e, folder) != kExitOk) status = kExitFailure;
    r = z.zip()->NextEntry();
  }
  if (Failed(r)) return Fail("extract", r);
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    if (!found[i]) status = ReportError("no member named '" + wanted[i] + "'");
  }
  return status;
}

// The member name of a file given on the command line: forward slashes, no
// leading "./" or root.
std::string MemberName(const fs::path& path) {
  std::string name = path.lexically_normal().relative_path().generic_string();
  while (name.rfind("./", 0) == 0) name.erase(0, 2);
  return name;
}

int AddOne(OpenZip& z, const fs::path& file) {
  const std::string name = MemberName(file);
  if (name.empty() || !IsSafeName(name)) return ReportError("cannot add '" + file.string() + "': no usable name");
  DateTimeRecord time{};
  if (!LocalModificationTime(file, &time)) time = DateTimeRecord{1980, 1, 1, 0, 0, 0, 0};
  Stream* in = nullptr;
  Result r = FileSystem()->OpenPath(file.string().c_str(), kOpenRead, &in);
  if (Failed(r)) return Fail("cannot read '" + file.string() + "'", r);
  r = z.zip()->AddEntry(in, 0, 0xFFFFFFFFu, name.data(), static_cast<std::uint32_t>(name.size()), &time, nullptr);
  (void)in->Close();  // a read-only stream has nothing to flush
  if (Failed(r)) return Fail("add '" + file.string() + "'", r);
  std::printf("%s\n", name.c_str());
  return kExitOk;
}

int RunAdd(OpenZip& z, const std::vector<std::string>& files) {
  for (const std::string& f : files) {
    std::error_code ec;
    if (fs::is_directory(f, ec)) {
      std::vector<fs::path> inside;
      for (auto it = fs::recursive_directory_iterator(f, ec); !ec && it != fs::recursive_directory_iterator();
           it.increment(ec)) {
        if (it->is_regular_file(ec)) inside.push_back(it->path());
      }
      if (ec) return ReportError("cannot read the folder '" + f + "'");
      std::sort(inside.begin(), inside.end());
      for (const fs::path& p : inside) {
        if (AddOne(z, p) != kExitOk) return kExitFailure;
      }
    } else if (AddOne(z, f) != kExitOk) {
      // A failure in the middle of appending leaves the archive damaged; stop at once.
      return kExitFailure;
    }
  }
  return kExitOk;
}

}  // namespace

const char kZipUsage[] =
    "usage: sfxkit zip list ARCHIVE\n"
    "       sfxkit zip extract [-d FOLDER] ARCHIVE [NAME...]\n"
    "       sfxkit zip add ARCHIVE FILE...\n"
    "\n"
    "list     shows each member: size, compressed size, time, CRC-32 and name.\n"
    "extract  writes every member, or the NAMEd ones, below FOLDER (default the\n"
    "         current folder) and checks each one's size and CRC-32. Names that\n"
    "         are absolute or climb out with '..' are skipped.\n"
    "add      appends each FILE (folders with everything in them) as a DEFLATE\n"
    "         member named by its path; ARCHIVE is created when it does not\n"
    "         exist. Adding drops the archive comment. An archive whose end\n"
    "         record does not agree with its directory is left untouched.\n"
    "\n"
    "Only DEFLATE members can be extracted (not stored or encrypted ones).\n"
    "Any failure is shown on standard error and makes the exit status 1.\n";

int RunZip(int argc, char** argv) {
  const Command& self = CommandNamed("zip");
  if (argc < 2) return ReportUsageError(self, "no action given (list, extract or add)");
  const std::string action = argv[1];
  if (action != "list" && action != "extract" && action != "add")
    return ReportUsageError(self, "unknown action '" + action + "'");
  Options options;
  std::string error;
  if (!options.Parse(argc - 1, argv + 1, {{"folder", 'd', true}}, &error)) return ReportUsageError(self, error);
  if (options.Has("folder") && action != "extract") return ReportUsageError(self, "-d belongs to extract");
  const auto& operands = options.operands();
  if (operands.empty()) return ReportUsageError(self, "no archive given");
  const std::string& archive = operands[0];
  const std::vector<std::string> rest(operands.begin() + 1, operands.end());
  if (action == "list" && !rest.empty()) return ReportUsageError(self, "unexpected argument '" + rest[0] + "'");
  if (action == "add" && rest.empty()) return ReportUsageError(self, "no file to add");

  OpenZip z;
  std::error_code ec;
  const bool create = action == "add" && !fs::exists(archive, ec);
  const Result r = z.Open(archive, action == "add" ? (create ? kOpenCreate : kOpenReadWrite) : kOpenRead, create);
  if (Failed(r)) return Fail("'" + archive + "'", r);
  if (action == "list") return RunList(z);
  if (action == "extract") {
    const std::string* folder = options.Value("folder");
    return RunExtract(z, folder != nullptr ? fs::path(*folder) : fs::path("."), rest);
  }
  int status = RunAdd(z, rest);
  const Result closed = z.Close();
  if (Failed(closed) && status == kExitOk) status = Fail("cannot write '" + archive + "'", closed);
  return status;
}

}  // namespace sfx::cli
