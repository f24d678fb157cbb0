// Extracting a ZIP archive of about 100 MB (the corpus files, repeated under
// new names until 100 MB are reached, each a DEFLATE member written by our
// AddEntry) into files: ours, walking the directory and extracting every
// member through a file stream with its CRC-32 checked, against the unzip
// program doing the same (`unzip -qo`). Both are timed on the wall clock and
// write into a fresh folder each round.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/corpus.h"
#include "services/codec/zip_archive.h"
#include "services/core/file_system.h"
#include "services/core/memory_stream.h"

namespace {

namespace fs = std::filesystem;
using namespace sfx;

struct Registered {
  Registered() {
    (void)RegisterCoreServices();
    (void)RegisterCodecServices();
  }
} g_registered;

constexpr std::size_t kArchiveBytes = 100u << 20;  // uncompressed

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "zip_bench: %s\n", what);
    std::exit(1);
  }
}

// The bytes the archive holds uncompressed, known once it is built.
std::int64_t g_archiveContent = 0;

const fs::path& Folder() {
  static const fs::path folder = fs::temp_directory_path() / "sfx_zip_bench";
  return folder;
}

// Builds the archive once per run.
const std::string& ArchivePath() {
  static const std::string path = [] {
    fs::create_directories(Folder());
    const std::string p = (Folder() / "corpus.zip").string();
    Stream* archive = nullptr;
    Check(Succeeded(FileSystem()->OpenPath(p.c_str(), kOpenCreate, &archive)), "cannot create the archive");
    ZipArchive* zip = nullptr;
    Check(Succeeded(ZipArchives()->CreateZipArchive(32768, &zip)), "no archive instance");
    Check(Succeeded(zip->NewArchive(archive, 0)), "NewArchive");
    const DateTimeRecord t{2024, 1, 1, 12, 0, 0, 0};
    std::size_t total = 0;
    for (int round = 0; total < kArchiveBytes; ++round) {
      for (const auto& file : bench::Corpus()) {
        if (total >= kArchiveBytes) break;
        const std::string name = std::to_string(round) + "/" + file.name;
        Stream* in = nullptr;
        Check(Succeeded(MemoryStreams()->CreateMemoryStream(
                  const_cast<unsigned char*>(file.bytes.data()), static_cast<std::uint32_t>(file.bytes.size()),
                  static_cast<std::uint32_t>(file.bytes.size()), kMemoryStreamCallerOwns, &in)),
              "memory stream");
        Check(Succeeded(
                  zip->AddEntry(in, 0, 0xFFFFFFFFu, name.data(), static_cast<std::uint32_t>(name.size()), &t, nullptr)),
              "AddEntry");
        (void)in->Close();
        total += file.bytes.size();
      }
    }
    (void)zip->DestroyZipArchive();
    Check(Succeeded(archive->Close()), "closing the archive");
    g_archiveContent = static_cast<std::int64_t>(total);
    return p;
  }();
  return path;
}

fs::path FreshOutput() {
  const fs::path out = Folder() / "out";
  fs::remove_all(out);
  fs::create_directories(out);
  return out;
}

void BM_ZipExtract(benchmark::State& state) {
  const std::string& archivePath = ArchivePath();
  ZipArchive* zip = nullptr;
  Check(Succeeded(ZipArchives()->CreateZipArchive(32768, &zip)), "no archive instance");
  std::int64_t bytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const fs::path out = FreshOutput();
    state.ResumeTiming();
    Stream* archive = nullptr;
    Check(Succeeded(FileSystem()->OpenPath(archivePath.c_str(), kOpenRead, &archive)), "open");
    Check(Succeeded(zip->OpenArchive(archive, 0, 0xFFFFFFFFu)), "OpenArchive");
    for (Result r = zip->FirstEntry(); r == kOk; r = zip->NextEntry()) {
      std::uint16_t nameLength = 0;
      std::uint32_t namePosition = 0, expected = 0, size = 0, crc = 0;
      Check(Succeeded(zip->GetEntryInfo(nullptr, &expected, nullptr, nullptr, &nameLength, &namePosition)), "info");
      std::string name(nameLength, '\0');
      Check(Succeeded(archive->ReadAt(namePosition, name.data(), nameLength, nullptr)), "name");
      const fs::path target = out / name;
      fs::create_directories(target.parent_path());
      Stream* file = nullptr;
      Check(Succeeded(FileSystem()->OpenPath(target.string().c_str(), kOpenCreate, &file)), "create");
      Check(Succeeded(zip->ExtractEntry(file, &size, &crc, nullptr)), "ExtractEntry");
      Check(Succeeded(file->Close()), "close");
      Check(~crc == expected, "CRC mismatch");
      bytes += size;
    }
    (void)archive->Close();
  }
  (void)zip->DestroyZipArchive();
  state.SetBytesProcessed(bytes);
}

void BM_UnzipExtract(benchmark::State& state) {
  const std::string command = "unzip -qo '" + ArchivePath() + "' -d '" + (Folder() / "out").string() + "'";
  std::int64_t bytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    FreshOutput();
    state.ResumeTiming();
    Check(std::system(command.c_str()) == 0, "unzip failed");
    bytes += g_archiveContent;
  }
  state.SetBytesProcessed(bytes);
}

BENCHMARK(BM_ZipExtract)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_UnzipExtract)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
