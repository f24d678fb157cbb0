// Opens arbitrary bytes as a ZIP archive (at offset 0 and inside a larger
// range), walks the whole central directory, reads every entry's fields and
// extracts every member into a memory stream, then appends a member. Every
// operation must end in a Result: no crash, no hang, no read outside the data,
// and whatever AddEntry accepts must read back.
//
// Input: the archive bytes; the first byte also picks the range's start.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "services/codec/zip_archive.h"
#include "services/core/memory_stream.h"
#include "services/core/service.h"

namespace {

using namespace sfx;

void Check(bool condition) {
  if (!condition) std::abort();
}

// Output that keeps nothing: the decoded bytes only need to be produced, and a
// member claiming gigabytes must not exhaust the fuzzer's memory.
class CountingStream final : public Stream {
 public:
  Result Close() override { return kOk; }
  Result Seek(std::int32_t, std::uint32_t, std::uint32_t*) override { return kFail; }
  Result Read(void*, std::uint32_t, std::uint32_t*) override { return kFail; }
  Result Write(const void*, std::uint32_t count, std::uint32_t* done) override {
    if (count > (64u << 20) - total_) return kFail;  // 64 MiB per member is plenty
    total_ += count;
    if (done != nullptr) *done = count;
    return kOk;
  }
  Result WriteAt(std::uint32_t, const void* buffer, std::uint32_t count, std::uint32_t* done) override {
    return Write(buffer, count, done);
  }
  Result GetSize(std::uint32_t* size) override {
    *size = total_;
    return kOk;
  }
  Result SetSize(std::uint32_t) override { return kFail; }
  Result Reserve(std::uint32_t) override { return kOk; }
  Result SetParameter(std::uint32_t) override { return kOk; }

 private:
  std::uint32_t total_ = 0;
};

void Walk(ZipArchive* zip) {
  Result r = zip->FirstEntry();
  for (int n = 0; r == kOk; ++n) {
    Check(n < 65536);
    DateTimeRecord t{};
    std::uint32_t crc = 0, packed = 0, size = 0, namePosition = 0;
    std::uint16_t nameLength = 0;
    Check(zip->GetEntryInfo(&t, &crc, &packed, &size, &nameLength, &namePosition) == kOk);
    Check(t.second % 2 == 0 && t.hundredths == 0);
    Check(zip->GetEntryExtra(nullptr, nullptr, nullptr, nullptr, nullptr) == kOk);
    CountingStream out;
    std::uint32_t extracted = 0, register_ = 0;
    (void)zip->ExtractEntry(&out, &extracted, &register_, nullptr);  // any Result is fine
    r = zip->NextEntry();
  }
  Check(Failed(r) || r == kZipNoMoreEntries);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  (void)sfx::RegisterCoreServices();
  (void)sfx::RegisterCodecServices();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 20)) return 0;
  ZipArchive* zip = nullptr;
  Check(ZipArchives()->CreateZipArchive(32768, &zip) == kOk);
  Stream* s = nullptr;
  Check(MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, kMemoryStreamWritable, &s) == kOk);
  Check(s->WriteAt(0, data, static_cast<std::uint32_t>(size), nullptr) == kOk);

  if (zip->OpenArchive(s, 0, 0xFFFFFFFFu) == kOk) Walk(zip);
  const std::uint32_t start = size > 0 ? data[0] % 8 : 0;
  if (zip->OpenArchive(s, start, static_cast<std::uint32_t>(size) - (size > 0 ? 1 : 0)) == kOk) Walk(zip);

  // Appending either refuses with nothing written or leaves a readable archive.
  if (zip->OpenArchive(s, 0, 0xFFFFFFFFu) == kOk) {
    Stream* in = nullptr;
    Check(MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, kMemoryStreamWritable, &in) == kOk);
    Check(in->WriteAt(0, "fuzz member", 11, nullptr) == kOk);
    const DateTimeRecord t{2000, 1, 2, 3, 4, 6, 0};
    const Result r = zip->AddEntry(in, 0, 11, "m", 1, &t, nullptr);
    if (r == kZipBadRecord) {
      void* block = nullptr;
      std::uint32_t now = 0;
      Check(MemoryStreams()->GetMemoryBlock(s, &block, &now, nullptr) == kOk);
      Check(now == size && std::memcmp(block, data, size) == 0);
    } else if (r == kOk) {
      Check(zip->OpenArchive(s, 0, 0xFFFFFFFFu) == kOk);
      std::uint16_t records = 0;
      Check(zip->GetArchiveInfo(nullptr, nullptr, &records, nullptr, nullptr, nullptr) == kOk);
      Check(records >= 1);
      Walk(zip);
    }
    (void)in->Close();
  }
  (void)s->Close();
  Check(zip->DestroyZipArchive() == kOk);
  return 0;
}
