// File streams against the platform's plain read and write calls, with the
// same chunk sizes, over one 32 MiB file in the temporary-files folder.
// The file stream adds an instance call and the Result checks on top of the
// same system calls; the ratio of the two shows that overhead.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "platform/file.h"
#include "services/core/file_stream.h"
#include "services/core/file_system.h"

namespace {

constexpr std::uint32_t kTotalBytes = 32u << 20;

struct Registered {
  Registered() { (void)sfx::RegisterCoreServices(); }
} g_registered;

// One scratch file for the whole run, deleted at exit.
const std::string& ScratchPath() {
  static const std::string path = [] {
    char name[sfx::platform::kMaxPathBytes] = {};
    char folder[sfx::platform::kMaxPathBytes];
    const std::uint32_t n = sfx::platform::GetTempFolder(folder, sizeof folder);
    if (n != 0 && n < sizeof folder) (void)sfx::platform::CreateUniqueTempFile(folder, "sfb", name, sizeof name);
    return std::string(name);
  }();
  return path;
}

struct RemoveAtExit {
  ~RemoveAtExit() {
    if (!ScratchPath().empty()) (void)sfx::platform::RemoveFile(ScratchPath().c_str());
  }
} g_removeAtExit;

void BM_FileStreamWrite(benchmark::State& state) {
  const auto chunk = static_cast<std::uint32_t>(state.range(0));
  std::vector<unsigned char> data(chunk, 0x5A);
  for (auto _ : state) {
    sfx::Stream* s = nullptr;
    if (sfx::Failed(sfx::FileSystem()->OpenPath(ScratchPath().c_str(), sfx::kOpenCreate, &s))) {
      state.SkipWithError("open failed");
      break;
    }
    for (std::uint32_t done = 0; done < kTotalBytes; done += chunk) {
      if (sfx::Failed(s->Write(data.data(), chunk, nullptr))) state.SkipWithError("write failed");
    }
    (void)s->Close();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kTotalBytes);
}

void BM_PlainWrite(benchmark::State& state) {
  const auto chunk = static_cast<std::uint32_t>(state.range(0));
  std::vector<unsigned char> data(chunk, 0x5A);
  for (auto _ : state) {
    const sfx::platform::FileHandle f =
        sfx::platform::OpenFileHandle(ScratchPath().c_str(), sfx::platform::FileAccess::kReadWrite,
                                      sfx::platform::FileCreation::kCreateAlways, false);
    if (f == sfx::platform::kInvalidFile) {
      state.SkipWithError("open failed");
      break;
    }
    for (std::uint32_t done = 0; done < kTotalBytes; done += chunk) {
      std::uint32_t n = 0;
      if (!sfx::platform::WriteToFile(f, data.data(), chunk, &n) || n != chunk) state.SkipWithError("write failed");
    }
    (void)sfx::platform::CloseFile(f);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kTotalBytes);
}

// Reads run over a file of kTotalBytes written once beforehand (warm cache).
void PrepareFile() {
  sfx::Stream* s = nullptr;
  if (sfx::Failed(sfx::FileSystem()->OpenPath(ScratchPath().c_str(), sfx::kOpenCreate, &s))) return;
  (void)s->SetSize(kTotalBytes);
  (void)s->Close();
}

void BM_FileStreamRead(benchmark::State& state) {
  const auto chunk = static_cast<std::uint32_t>(state.range(0));
  PrepareFile();
  std::vector<unsigned char> data(chunk);
  for (auto _ : state) {
    sfx::Stream* s = nullptr;
    if (sfx::Failed(sfx::FileSystem()->OpenPath(ScratchPath().c_str(), sfx::kOpenRead, &s))) {
      state.SkipWithError("open failed");
      break;
    }
    for (std::uint32_t done = 0; done < kTotalBytes; done += chunk) {
      if (sfx::Failed(s->Read(data.data(), chunk, nullptr))) state.SkipWithError("read failed");
    }
    benchmark::DoNotOptimize(data.data());
    (void)s->Close();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kTotalBytes);
}

void BM_PlainRead(benchmark::State& state) {
  const auto chunk = static_cast<std::uint32_t>(state.range(0));
  PrepareFile();
  std::vector<unsigned char> data(chunk);
  for (auto _ : state) {
    const sfx::platform::FileHandle f = sfx::platform::OpenFileHandle(
        ScratchPath().c_str(), sfx::platform::FileAccess::kRead, sfx::platform::FileCreation::kOpenExisting, false);
    if (f == sfx::platform::kInvalidFile) {
      state.SkipWithError("open failed");
      break;
    }
    for (std::uint32_t done = 0; done < kTotalBytes; done += chunk) {
      std::uint32_t n = 0;
      if (!sfx::platform::ReadFromFile(f, data.data(), chunk, &n) || n != chunk) state.SkipWithError("read failed");
    }
    benchmark::DoNotOptimize(data.data());
    (void)sfx::platform::CloseFile(f);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kTotalBytes);
}

BENCHMARK(BM_FileStreamWrite)->Arg(512)->Arg(4096)->Arg(65536)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainWrite)->Arg(512)->Arg(4096)->Arg(65536)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FileStreamRead)->Arg(512)->Arg(4096)->Arg(65536)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainRead)->Arg(512)->Arg(4096)->Arg(65536)->Unit(benchmark::kMillisecond);

}  // namespace
