// Extracting file entries: contents, time stamps, and every failure with its
// one message (two when closing fails too). Faults that real files and real
// data cannot produce come from substitute services in the registry slots.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "launcher/extract_record.h"
#include "launcher/progress_queue.h"
#include "services/codec/crc.h"
#include "services/codec/inflater.h"
#include "services/core/file_system.h"
#include "services/core/stream.h"
#include "tests/launcher/launcher_fixture.h"
#include "tests/support/fault_memory.h"

namespace sfx {
namespace {

namespace fs = std::filesystem;
using Captions = std::vector<std::string>;

// ---- substitutes ----

// A stream whose Write and Close fail on request.
class FakeStream final : public Stream {
 public:
  FakeStream(bool failWrite, bool failClose) : failWrite_(failWrite), failClose_(failClose) {}
  Result Close() override {
    const Result r = failClose_ ? kFail : kOk;
    delete this;
    return r;
  }
  Result Seek(std::int32_t, std::uint32_t, std::uint32_t*) override { return kOk; }
  Result Read(void*, std::uint32_t, std::uint32_t*) override { return kFail; }
  Result Write(const void*, std::uint32_t count, std::uint32_t* done) override {
    if (failWrite_) return kFail;
    if (done != nullptr) *done = count;
    return kOk;
  }
  Result GetSize(std::uint32_t*) override { return kFail; }
  Result SetSize(std::uint32_t) override { return kFail; }
  Result Reserve(std::uint32_t) override { return kOk; }
  Result SetParameter(std::uint32_t) override { return kOk; }

 private:
  bool failWrite_, failClose_;
};

class FakeFileSystem : public FileSystemService {
 public:
  FakeFileSystem(bool failWrite, bool failClose) : failWrite_(failWrite), failClose_(failClose) {}
  Result Open(char*, std::uint32_t, std::uint32_t mode, Stream** stream) override {
    if (mode != 2) return kFail;
    *stream = new FakeStream(failWrite_, failClose_);
    return kOk;
  }

 private:
  bool failWrite_, failClose_;
};

// An inflater whose steps fail on request; its Extract writes a fixed text.
struct InflaterFaults {
  bool init = false, extract = false, destroy = false;
};

class FakeInflater final : public Inflater {
 public:
  explicit FakeInflater(InflaterFaults faults) : faults_(faults) {}
  Result DestroyInflater() override {
    const Result r = faults_.destroy ? kFail : kOk;
    delete this;
    return r;
  }
  Result InitInput(const void*, std::uint32_t) override { return faults_.init ? kFail : kOk; }
  Result Extract(Stream* output, std::uint32_t* size, std::uint32_t* crc, std::uint32_t*, ProgressSink*) override {
    if (faults_.extract) return kFail;
    static const char kText[] = "abc";
    SFX_TRY(output->Write(kText, 3, nullptr));
    (void)Crc()->UpdateCrc32(kText, 3, crc);
    *size = 3;
    return kOk;
  }

 private:
  InflaterFaults faults_;
};

class FakeInflaterService : public InflaterService {
 public:
  explicit FakeInflaterService(InflaterFaults faults) : faults_(faults) {}
  Result CreateInflater(std::uint32_t windowSize, Inflater** out) override {
    if (windowSize != 32768) return kFail;
    *out = new FakeInflater(faults_);
    return kOk;
  }

 private:
  InflaterFaults faults_;
};

// ---- the fixture ----

class ExtractFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(launcher::OpenProgressQueue()); }
  void TearDown() override {
    (void)test::DrainProgressTexts();
    launcher::CloseProgressQueue();
  }

  // Installs a payload of these records and extracts them all; false at the
  // first failure.
  bool ExtractAll(test::TestPayload& payload, std::uint32_t count) {
    payload.Install();
    for (std::uint32_t n = 1; n <= count; ++n) {
      if (!launcher::ExtractRecord(payload.records(), folder_.str().c_str(), n)) return false;
    }
    return true;
  }
  fs::path At(const std::string& name) const { return folder_.path() / name; }

  test::ScratchDir folder_;
  test::RecordingMessages messages_;
};

// The file's time read back as local time: whole seconds from the C++
// library (some only have those), hundredths from the file service.
std::string LocalStamp(const fs::path& path) {
  const auto system = std::chrono::file_clock::to_sys(fs::last_write_time(path));
  const std::time_t seconds = std::chrono::system_clock::to_time_t(system);
  const std::tm t = *std::localtime(&seconds);
  DateTimeRecord utc{};
  std::string name = path.string();
  if (Failed(FileSystem()->GetFileInfo(name.c_str(), &utc, nullptr, 0, nullptr))) return "<no time>";
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                t.tm_hour, t.tm_min, t.tm_sec, utc.hundredths);
  return text;
}

TEST_F(ExtractFileTest, StoredDeflatedAndEmptyFilesWithTheirTimeStamps) {
  const std::string text(100000, 'q');
  std::string mixed;
  for (int i = 0; i < 70000; ++i) mixed += static_cast<char>((i * 7919) >> 3);
  test::TestPayload payload;
  payload.Folder("sub/");
  payload.Stored("sub/stored.txt", "stored bytes");
  payload.Deflated("sub\\deflated.txt", text);
  payload.Deflated("mixed.bin", mixed);
  payload.Stored("empty", "");
  ASSERT_TRUE(ExtractAll(payload, 5));
  EXPECT_TRUE(messages_.Take().empty());
  EXPECT_EQ(test::ReadFile(At("sub/stored.txt")), "stored bytes");
  EXPECT_EQ(test::ReadFile(At("sub/deflated.txt")), text);
  EXPECT_EQ(test::ReadFile(At("mixed.bin")), mixed);
  EXPECT_EQ(fs::file_size(At("empty")), 0u);
  for (const char* name : {"sub/stored.txt", "sub/deflated.txt", "empty"}) {
    EXPECT_EQ(LocalStamp(At(name)), "2024-03-05 06:07:08.09") << name;
  }
  // Extracting again empties and rewrites an existing file.
  test::TestPayload again;
  again.Stored("mixed.bin", "short");
  ASSERT_TRUE(ExtractAll(again, 1));
  EXPECT_EQ(test::ReadFile(At("mixed.bin")), "short");
}

TEST_F(ExtractFileTest, RefusedTimeStampFailsTheRecordWithItsContentInPlace) {
  test::TestPayload payload;
  payload.Stored("stored.txt", "stored bytes");
  payload.Deflated("deflated.txt", "deflated bytes");
  payload.Stored("empty", "");
  payload.Install();
  test::RefusedStep refuse(test::RefusedStep::kSetFileTimes);
  for (std::uint32_t n = 1; n <= 3; ++n) {
    EXPECT_FALSE(launcher::ExtractRecord(payload.records(), folder_.str().c_str(), n)) << n;
  }
  const std::vector<test::RecordedMessage> shown = messages_.Take();
  ASSERT_EQ(shown.size(), 3u);
  const char* names[] = {"stored.txt", "deflated.txt", "empty"};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(shown[i].text, names[i]);
    EXPECT_EQ(shown[i].caption, "Set File Time");
    EXPECT_EQ(shown[i].style, 0x10u);
  }
  EXPECT_EQ(test::ReadFile(At("stored.txt")), "stored bytes");
  EXPECT_EQ(test::ReadFile(At("deflated.txt")), "deflated bytes");
  EXPECT_EQ(fs::file_size(At("empty")), 0u);
  // The handle opened for the time stamp was closed: the file can go.
  EXPECT_TRUE(fs::remove(At("stored.txt")));
}

TEST_F(ExtractFileTest, ContentChecksNameTheirStep) {
  // Stored: size and stored size differ, after the bytes were written.
  payload::FileHeader sizeOff = test::StoredHeader("size.txt", "abc");
  sizeOff.size = 4;
  payload::FileHeader crcOff = test::StoredHeader("crc.txt", "abc");
  EXPECT_EQ(crcOff.crc, 0x352441C2u);  // the running value after "abc" is its complement
  crcOff.crc ^= 0x80000000u;
  std::vector<std::uint8_t> broken = test::Deflate("some text that compresses");
  broken[0] |= 0x06;  // BTYPE 3
  payload::FileHeader badStream = test::StoredHeader("bad.z", "some text that compresses");
  badStream.method = 0;
  badStream.storedSize = static_cast<std::uint32_t>(broken.size());
  payload::FileHeader deflatedOff = test::StoredHeader("long.z", "abc");
  const std::vector<std::uint8_t> packed = test::Deflate("abcd");
  deflatedOff.method = 0;
  deflatedOff.storedSize = static_cast<std::uint32_t>(packed.size());

  struct Case {
    std::vector<std::uint8_t> record;
    const char* caption;
    const char* file;
  };
  const Case cases[] = {
      {test::MakeRecord(sizeOff, "size.txt", {'a', 'b', 'c'}), "Size Mismatch", "size.txt"},
      {test::MakeRecord(crcOff, "crc.txt", {'a', 'b', 'c'}), "File Corrupt", "crc.txt"},
      {test::MakeRecord(badStream, "bad.z", broken), "Extract Error", "bad.z"},
      {test::MakeRecord(deflatedOff, "long.z", packed), "Size Mismatch", "long.z"},
  };
  for (const Case& c : cases) {
    test::TestPayload payload;
    payload.Raw(c.record);
    EXPECT_FALSE(ExtractAll(payload, 1)) << c.caption;
    const std::vector<test::RecordedMessage> shown = messages_.Take();
    ASSERT_EQ(shown.size(), 1u) << c.caption;
    EXPECT_EQ(shown[0].caption, c.caption);
    EXPECT_EQ(shown[0].text, c.file);
    EXPECT_EQ(shown[0].style, 0x10u);
    // The failed file stays; it goes with the temporary folder.
    EXPECT_TRUE(fs::exists(At(c.file))) << c.caption;
  }
}

TEST_F(ExtractFileTest, MessagesNameTheEntryAsStored) {
  // Only the path on disk takes the platform's separator.
  for (const char* name : {"sub\\crc.txt", "sub/crc.txt"}) {
    payload::FileHeader h = test::StoredHeader(name, "abc");
    h.crc ^= 1;
    test::TestPayload payload;
    payload.Folder("sub/");
    payload.Raw(test::MakeRecord(h, name, {'a', 'b', 'c'}));
    EXPECT_FALSE(ExtractAll(payload, 2)) << name;
    const std::vector<test::RecordedMessage> shown = messages_.Take();
    ASSERT_EQ(shown.size(), 1u) << name;
    EXPECT_EQ(shown[0].text, name);
    EXPECT_TRUE(fs::exists(At("sub/crc.txt"))) << name;
    fs::remove_all(At("sub"));
  }
}

TEST_F(ExtractFileTest, PathsThatCannotBeFormedOrOpened) {
  test::TestPayload payload;
  payload.Stored("missing/x.txt", "x");  // its folder entry never came
  EXPECT_FALSE(ExtractAll(payload, 1));
  EXPECT_TRUE(messages_.Take().empty());

  const std::string deep = folder_.str() + "/" + std::string(259 - folder_.str().size() - 4, 'd');
  fs::create_directory(deep);
  test::TestPayload longer;
  longer.Stored("abcd", "x");
  longer.Install();
  EXPECT_FALSE(launcher::ExtractRecord(longer.records(), deep.c_str(), 1));
  const std::vector<test::RecordedMessage> shown = messages_.Take();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, "Form File Path");
  EXPECT_EQ(shown[0].text, "abcd");
  EXPECT_TRUE(fs::is_empty(deep));
}

TEST_F(ExtractFileTest, InflaterFailuresNameTheirStep) {
  {
    // The window cannot be had; the stream's own block still can.
    test::ScopedFaultMemory memory;
    memory->FailSizesFrom(32768);
    test::TestPayload payload;
    payload.Deflated("w.txt", "window");
    EXPECT_FALSE(ExtractAll(payload, 1));
    memory->Heal();
  }
  EXPECT_EQ(messages_.Captions(), Captions{"Create IF Error"});
  (void)messages_.Take();

  const struct {
    InflaterFaults faults;
    const char* caption;
  } cases[] = {
      {{true, false, false}, "Init Input Error"},
      {{false, true, false}, "Extract Error"},
      {{false, false, true}, "Destroy IF Error"},
      {{false, false, false}, nullptr},
  };
  for (const auto& c : cases) {
    FakeInflaterService inflaters(c.faults);
    ScopedServiceOverride slot(Slot::kInflater, &inflaters);
    test::TestPayload payload;
    payload.Deflated("f.txt", "abc");
    EXPECT_EQ(ExtractAll(payload, 1), c.caption == nullptr);
    EXPECT_EQ(messages_.Captions(), c.caption == nullptr ? Captions{} : Captions{c.caption});
    (void)messages_.Take();
  }
}

TEST_F(ExtractFileTest, StreamFailuresNameTheirStep) {
  const struct {
    bool failWrite, failClose;
    Captions captions;
  } cases[] = {
      {true, false, {"Write Error"}},
      {false, true, {"Close Error"}},
      {true, true, {"Write Error", "Close Error"}},
  };
  for (const auto& c : cases) {
    FakeFileSystem files(c.failWrite, c.failClose);
    ScopedServiceOverride slot(Slot::kFileSystem, &files);
    test::TestPayload payload;
    payload.Stored("s.txt", "abc");
    EXPECT_FALSE(ExtractAll(payload, 1));
    EXPECT_EQ(messages_.Captions(), c.captions);
    (void)messages_.Take();
  }
  // A failing close after a failed check is reported as well.
  FakeFileSystem files(false, true);
  ScopedServiceOverride slot(Slot::kFileSystem, &files);
  payload::FileHeader h = test::StoredHeader("c.txt", "abc");
  h.crc = 0;
  test::TestPayload payload;
  payload.Raw(test::MakeRecord(h, "c.txt", {'a', 'b', 'c'}));
  EXPECT_FALSE(ExtractAll(payload, 1));
  EXPECT_EQ(messages_.Captions(), (Captions{"File Corrupt", "Close Error"}));
}

}  // namespace
}  // namespace sfx
