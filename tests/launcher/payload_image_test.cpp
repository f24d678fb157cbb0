// The payload image (the POSIX stand-in for resources) and the writer that
// makes both payload forms.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "payload/byte_order.h"
#include "payload/image.h"
#include "payload/records.h"
#include "platform/resource.h"
#include "services/core/memory_stream.h"
#include "tests/launcher/launcher_fixture.h"

namespace sfx {
namespace {

using payload::LoadU32;

std::string RecordAt(const payload::PayloadImage& image, const char* name) {
  const std::uint8_t* data = nullptr;
  std::uint32_t size = 0;
  if (!image.Find(name, &data, &size)) return "<missing>";
  return std::string(reinterpret_cast<const char*>(data), size);
}

TEST(PayloadImage, WriterRecordsAreFoundByTheirHexadecimalNames) {
  test::TestPayload payload;
  payload.Setup("Title", "setup.exe", "-q");
  for (int i = 1; i <= 16; ++i)
    payload.Stored(std::string("f").append(std::to_string(i)), std::string(static_cast<std::size_t>(i), 'x'));
  ASSERT_EQ(payload.writer().Finish(), kOk);
  const std::vector<std::uint8_t> bytes = payload.Bytes();

  payload::PayloadImage image;
  ASSERT_TRUE(image.Open(bytes.data(), bytes.size()));
  // Record 10 is F0000000A, never F00000010.
  const std::string tenth = RecordAt(image, "F0000000A");
  ASSERT_EQ(tenth.size(), payload::kFileHeaderSize + 3 + 10);
  EXPECT_EQ(tenth.substr(payload::kFileHeaderSize, 3), "f10");
  EXPECT_EQ(RecordAt(image, "F00000010").size(), payload::kFileHeaderSize + 3 + 16);
  EXPECT_EQ(RecordAt(image, "F00000011"), "<missing>");
  EXPECT_EQ(RecordAt(image, "f0000000a"), "<missing>");

  const std::string setup = RecordAt(image, "F00000000");
  ASSERT_EQ(setup.size(), 16u + 5 + 9 + 2);
  const auto* s = reinterpret_cast<const std::uint8_t*>(setup.data());
  EXPECT_EQ(LoadU32(s + payload::kSetupFileCount), 16u);
  EXPECT_EQ(LoadU32(s + payload::kSetupMaxNameLength), 3u);
  EXPECT_EQ(LoadU32(s + payload::kSetupMaxStoredSize), 16u);
  EXPECT_EQ(setup.substr(16), "Titlesetup.exe-q");

  // Without files the maximum fields stay 0.
  test::TestPayload none;
  none.Setup("T", "p", "");
  ASSERT_EQ(none.writer().Finish(), kOk);
  const std::vector<std::uint8_t> empty = none.Bytes();
  ASSERT_TRUE(image.Open(empty.data(), empty.size()));
  const std::string emptySetup = RecordAt(image, "F00000000");
  ASSERT_EQ(emptySetup.size(), 16u + 2);
  const auto* e = reinterpret_cast<const std::uint8_t*>(emptySetup.data());
  EXPECT_EQ(LoadU32(e + payload::kSetupMaxNameLength), 0u);
  EXPECT_EQ(LoadU32(e + payload::kSetupMaxStoredSize), 0u);
}

TEST(PayloadImage, WriterChecksItsInputs) {
  test::TestPayload payload;
  const std::string longText(256, 'a');
  EXPECT_EQ(payload.writer().SetSetup(longText.c_str(), "", ""), payload::kPayloadTextTooLong);
  EXPECT_EQ(payload.writer().AddFolder("", test::SampleTime()), payload::kPayloadBadName);
  EXPECT_EQ(payload.writer().AddFile(longText.c_str(), test::SampleTime(), 1, 0, 0, nullptr, 0),
            payload::kPayloadBadName);
  payload::PayloadWriter unstarted;
  EXPECT_EQ(unstarted.AddRecord("x", 1), payload::kPayloadNotStarted);
  // A folder name gets its trailing separator.
  ASSERT_EQ(payload.writer().AddFolder("sub", test::SampleTime()), kOk);
  ASSERT_EQ(payload.writer().Finish(), kOk);
  const std::vector<std::uint8_t> bytes = payload.Bytes();
  payload::PayloadImage image;
  ASSERT_TRUE(image.Open(bytes.data(), bytes.size()));
  EXPECT_EQ(RecordAt(image, "F00000001").substr(payload::kFileHeaderSize), "sub/");
}

// Hostile images: every directory field is checked before a record is served.
TEST(PayloadImage, RejectsDamagedTrailersAndDirectories) {
  test::TestPayload payload;
  payload.Stored("a", "alpha");
  payload.Stored("b", "beta");
  ASSERT_EQ(payload.writer().Finish(), kOk);
  const std::vector<std::uint8_t> good = payload.Bytes();
  const std::size_t trailer = good.size() - payload::kPayloadTrailerSize;
  const std::uint32_t directory = LoadU32(good.data() + trailer + payload::kTrailerDirectoryOffset);

  payload::PayloadImage image;
  ASSERT_TRUE(image.Open(good.data(), good.size()));
  // An image inside a larger file (the executable before it) is found from the end.
  std::vector<std::uint8_t> file(1000, 0x90);
  file.insert(file.end(), good.begin(), good.end());
  const std::uint64_t size = payload::PayloadImage::ImageSizeFromTrailer(
      file.data() + file.size() - payload::kPayloadTrailerSize, file.size());
  EXPECT_EQ(size, good.size());

  struct Damage {
    const char* what;
    std::size_t offset;
    std::uint32_t value;
  };
  const Damage damages[] = {
      {"magic", trailer + payload::kTrailerMagic, 0x00505853},
      {"version", trailer + payload::kTrailerVersion, 2},
      {"entry count beyond the directory", trailer + payload::kTrailerEntryCount, 1000},
      {"directory offset", trailer + payload::kTrailerDirectoryOffset, directory - 1},
      {"directory size", trailer + payload::kTrailerDirectorySize, 0xFFFFFFF0u},
      {"image size", trailer + payload::kTrailerImageSize, static_cast<std::uint32_t>(good.size() + 1)},
      {"record past the data area", directory + 0, directory},
      {"record size wraps", directory + 4, 0xFFFFFFFFu},
      {"name outside the directory", directory + 8, 0x7FFFFFFF},
      {"name too long", directory + 12, 256},
      {"names out of order", directory + 16 + 8, LoadU32(good.data() + directory + 8)},
  };
  for (const Damage& d : damages) {
    std::vector<std::uint8_t> bad = good;
    payload::StoreU32(bad.data() + d.offset, d.value);
    EXPECT_FALSE(image.Open(bad.data(), bad.size())) << d.what;
    const std::uint8_t* data = nullptr;
    std::uint32_t recordSize = 0;
    EXPECT_FALSE(image.Find("F00000001", &data, &recordSize)) << d.what;
  }
  EXPECT_FALSE(image.Open(good.data(), payload::kPayloadTrailerSize - 1));
}

// Both payload forms, written once with AddFile and once in pieces with a
// restart in between (a file stored after its compressed form grew), give
// the same bytes; the checks a reader compares against describe the records.
TEST(PayloadImage, AFileWrittenInPiecesEqualsOneAddedWhole) {
  const std::string data = "stored content, longer than what was dropped";
  for (const payload::PayloadFormat format :
       {payload::PayloadFormat::kAppendedImage, payload::PayloadFormat::kResourceFile}) {
    std::vector<std::uint8_t> made[2];
    for (int pieces = 0; pieces < 2; ++pieces) {
      Stream* out = nullptr;
      ASSERT_EQ(MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, kMemoryStreamWritable, &out), kOk);
      payload::PayloadWriter writer;
      ASSERT_EQ(writer.Start(out, format), kOk);
      ASSERT_EQ(writer.AddFolder("d", test::SampleTime()), kOk);
      if (pieces == 0) {
        ASSERT_EQ(writer.AddFile("d/f", test::SampleTime(), payload::kMethodStored, 45, 0x1234, data.data(),
                                 static_cast<std::uint32_t>(data.size()), true),
                  kOk);
      } else {
        ASSERT_EQ(writer.BeginFile("d/f", test::SampleTime(), true), kOk);
        EXPECT_EQ(writer.AddFolder("e", test::SampleTime()), kFail);  // not while a file is open
        ASSERT_EQ(writer.AppendFileData("dropped", 7), kOk);
        ASSERT_EQ(writer.RestartFileData(), kOk);
        ASSERT_EQ(writer.AppendFileData(data.data(), 10), kOk);
        ASSERT_EQ(writer.AppendFileData(data.data() + 10, static_cast<std::uint32_t>(data.size() - 10)), kOk);
        ASSERT_EQ(writer.EndFile(payload::kMethodStored, 45, 0x1234), kOk);
      }
      ASSERT_EQ(writer.Finish(), kOk);
      payload::PayloadWriter::RecordCheck check{};
      ASSERT_EQ(writer.CheckOf(2, &check), kOk);
      EXPECT_EQ(check.size, payload::kFileHeaderSize + 3 + data.size());
      EXPECT_EQ(check.headSize, payload::kFileHeaderSize + 3);
      void* block = nullptr;
      std::uint32_t size = 0;
      ASSERT_EQ(MemoryStreams()->GetMemoryBlock(out, &block, &size, nullptr), kOk);
      made[pieces].assign(static_cast<std::uint8_t*>(block), static_cast<std::uint8_t*>(block) + size);
      EXPECT_EQ(std::string(reinterpret_cast<char*>(made[pieces].data()) + check.offset + check.headSize, data.size()),
                data);
      (void)out->Close();
    }
    EXPECT_TRUE(made[0] == made[1]);
  }
}

TEST(PayloadImage, ResourceFileHoldsEachRecordAsNeutralRawData) {
  Stream* out = nullptr;
  ASSERT_EQ(MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, kMemoryStreamWritable, &out), kOk);
  {
    payload::PayloadWriter writer;
    ASSERT_EQ(writer.Start(out, payload::PayloadFormat::kResourceFile), kOk);
    ASSERT_EQ(writer.SetSetup("T", "p", ""), kOk);
    ASSERT_EQ(writer.AddRecord("abcde", 5), kOk);
    ASSERT_EQ(writer.Finish(), kOk);
  }
  void* block = nullptr;
  std::uint32_t size = 0;
  ASSERT_EQ(MemoryStreams()->GetMemoryBlock(out, &block, &size, nullptr), kOk);
  const auto* p = static_cast<const std::uint8_t*>(block);
  // The empty first entry, then per resource: sizes, type 10, UTF-16 name.
  ASSERT_EQ(size, 32u + (48 + 8) + (48 + 20));
  EXPECT_EQ(LoadU32(p + 4), 32u);
  const std::uint8_t* r = p + 32;
  EXPECT_EQ(LoadU32(r), 5u);
  EXPECT_EQ(LoadU32(r + 4), 48u);
  EXPECT_EQ(LoadU32(r + 8), 0x000AFFFFu);
  EXPECT_EQ(r[12], 'F');
  EXPECT_EQ(r[12 + 2 * 8], '1');
  EXPECT_EQ(payload::LoadU16(r + 32 + 6), 0);  // language neutral
  EXPECT_EQ(std::memcmp(r + 48, "abcde", 5), 0);
  r += 48 + 8;
  EXPECT_EQ(LoadU32(r), 16u + 2);
  EXPECT_EQ(r[12 + 2 * 8], '0');
  EXPECT_EQ(LoadU32(r + 48), 1u);  // fileCount
  (void)out->Close();
}

}  // namespace
}  // namespace sfx
