#include "tests/launcher/launcher_fixture.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "launcher/progress_queue.h"
#include "services/core/memory_service.h"
#include "services/core/memory_stream.h"
#include "services/core/sync_service.h"
#include "services/core/thread_service.h"
#include "tests/support/zlib_peer.h"

namespace sfx::test {

void RecordingMessages::Record(const char* text, const char* caption, std::uint32_t style) {
  std::lock_guard<std::mutex> hold(lock_);
  messages_.push_back({text == nullptr ? "" : text, caption == nullptr ? "(null)" : caption, style});
}

std::vector<RecordedMessage> RecordingMessages::Take() {
  std::lock_guard<std::mutex> hold(lock_);
  std::vector<RecordedMessage> out;
  out.swap(messages_);
  return out;
}

std::vector<std::string> RecordingMessages::Captions() {
  std::lock_guard<std::mutex> hold(lock_);
  std::vector<std::string> out;
  for (const RecordedMessage& m : messages_) out.push_back(m.caption);
  return out;
}

DateTimeRecord SampleTime() { return DateTimeRecord{2024, 3, 5, 6, 7, 8, 9}; }

std::vector<std::uint8_t> Deflate(const std::string& content, int level) {
  return test::ZlibRawDeflate(content.data(), content.size(), level, 8, Z_DEFAULT_STRATEGY);
}

std::uint32_t Crc32(const std::string& content) {
  return static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size())));
}

std::vector<std::uint8_t> MakeRecord(const payload::FileHeader& header, const std::string& name,
                                     const std::vector<std::uint8_t>& data) {
  std::vector<std::uint8_t> bytes(payload::kFileHeaderSize);
  payload::EncodeFileHeader(header, bytes.data());
  bytes.insert(bytes.end(), name.begin(), name.end());
  bytes.insert(bytes.end(), data.begin(), data.end());
  return bytes;
}

payload::FileHeader StoredHeader(const std::string& name, const std::string& content) {
  payload::FileHeader h{};
  const DateTimeRecord t = SampleTime();
  h.year = t.year;
  h.month = t.month;
  h.day = t.day;
  h.hour = t.hour;
  h.minute = t.minute;
  h.second = t.second;
  h.hundredths = t.hundredths;
  h.size = static_cast<std::uint32_t>(content.size());
  h.crc = Crc32(content);
  h.storedSize = static_cast<std::uint32_t>(content.size());
  h.method = payload::kMethodStored;
  h.nameLength = static_cast<std::uint8_t>(name.size());
  return h;
}

namespace {

class RefusingFileTimes final : public FileSystemService {
 public:
  Result SetFileTimes(const char*, const DateTimeRecord*) override { return kFail; }
};
class RefusingLocks final : public SyncService {
 public:
  Result MakeSemaphore(std::int32_t, std::int32_t, Semaphore**) override { return kFail; }
};
class RefusingThreads final : public ThreadService {
 public:
  Result StartThread(ThreadFunction, void*, Thread**) override { return kThreadStartFailed; }
};

}  // namespace

RefusedStep::RefusedStep(Step step) {
  static RefusingFileTimes fileTimes;
  static RefusingLocks locks;
  static RefusingThreads threads;
  switch (step) {
    case kSetFileTimes: override_ = std::make_unique<ScopedServiceOverride>(Slot::kFileSystem, &fileTimes); break;
    case kMakeLock: override_ = std::make_unique<ScopedServiceOverride>(Slot::kSync, &locks); break;
    case kStartThread: override_ = std::make_unique<ScopedServiceOverride>(Slot::kThread, &threads); break;
  }
}

RefusedStep::~RefusedStep() = default;

TestPayload::TestPayload() {
  EXPECT_EQ(MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, kMemoryStreamWritable, &stream_), kOk);
  EXPECT_EQ(writer_.Start(stream_, payload::PayloadFormat::kAppendedImage), kOk);
}

TestPayload::~TestPayload() { (void)stream_->Close(); }

void TestPayload::Setup(const char* title, const char* program, const char* arguments) {
  ASSERT_EQ(writer_.SetSetup(title, program, arguments), kOk);
}

void TestPayload::Folder(const std::string& name) { ASSERT_EQ(writer_.AddFolder(name.c_str(), SampleTime()), kOk); }

void TestPayload::Stored(const std::string& name, const std::string& content) {
  ASSERT_EQ(
      writer_.AddFile(name.c_str(), SampleTime(), payload::kMethodStored, static_cast<std::uint32_t>(content.size()),
                      Crc32(content), content.data(), static_cast<std::uint32_t>(content.size())),
      kOk);
}

void TestPayload::Deflated(const std::string& name, const std::string& content) {
  const std::vector<std::uint8_t> packed = Deflate(content);
  ASSERT_EQ(
      writer_.AddFile(name.c_str(), SampleTime(), payload::kMethodDeflate, static_cast<std::uint32_t>(content.size()),
                      Crc32(content), packed.data(), static_cast<std::uint32_t>(packed.size())),
      kOk);
}

void TestPayload::Raw(const std::vector<std::uint8_t>& bytes) {
  ASSERT_EQ(writer_.AddRecord(bytes.data(), static_cast<std::uint32_t>(bytes.size())), kOk);
}

void TestPayload::SetupRaw(const std::vector<std::uint8_t>& bytes) {
  ASSERT_EQ(writer_.SetSetupRecord(bytes.data(), static_cast<std::uint32_t>(bytes.size())), kOk);
}

void TestPayload::Install() {
  ASSERT_EQ(writer_.Finish(), kOk);
  void* data = nullptr;
  std::uint32_t size = 0;
  ASSERT_EQ(MemoryStreams()->GetMemoryBlock(stream_, &data, &size, nullptr), kOk);
  ASSERT_TRUE(image_.Open(static_cast<const std::uint8_t*>(data), size));
}

std::vector<std::uint8_t> TestPayload::Bytes() const {
  void* data = nullptr;
  std::uint32_t size = 0;
  EXPECT_EQ(MemoryStreams()->GetMemoryBlock(stream_, &data, &size, nullptr), kOk);
  const auto* p = static_cast<const std::uint8_t*>(data);
  return std::vector<std::uint8_t>(p, p + size);
}

ScratchDir::ScratchDir() {
  static std::atomic<int> counter{0};
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  char name[200];
  std::snprintf(name, sizeof name, "sfx-launcher-%s-%d", info != nullptr ? info->name() : "test", counter++);
  path_ = std::filesystem::temp_directory_path() / name;
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> DrainProgressTexts() {
  std::vector<std::string> texts;
  while (char* text = launcher::PopProgressText()) {
    texts.emplace_back(text);
    EXPECT_EQ(Memory()->Free(text), kOk);
  }
  return texts;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace sfx::test
