#include "services/codec/zip_archive.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "services/codec/crc.h"
#include "services/core/memory_service.h"
#include "services/core/memory_stream.h"
#include "tests/services/codec/zip_fixtures_data.h"
#include "tests/support/fault_memory.h"
#include "tests/support/scratch_folder.h"

namespace sfx {
namespace {

using Bytes = std::string;
namespace fx = test::zip_fixtures;

template <std::size_t N>
Bytes FromArray(const unsigned char (&a)[N]) {
  return Bytes(reinterpret_cast<const char*>(a), N);
}

// The text member of the fixtures, built as zip_fixtures.py builds it.
Bytes SampleText() {
  Bytes s;
  for (int i = 0; i < 200; ++i) {
    s += "line " + std::to_string(i) + " of the sample text, repeated to compress well\n";
  }
  return s;
}

std::uint32_t Crc32(const Bytes& b) {
  std::uint32_t r = 0xFFFFFFFFu;
  EXPECT_EQ(Crc()->UpdateCrc32(b.data(), static_cast<std::uint32_t>(b.size()), &r), kOk);
  return ~r;
}

std::uint32_t Le32(const Bytes& b, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at]) | static_cast<std::uint8_t>(b[at + 1]) << 8 |
                                    static_cast<std::uint8_t>(b[at + 2]) << 16 |
                                    static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 3])) << 24);
}
void SetLe16(Bytes* b, std::size_t at, std::uint32_t v) {
  (*b)[at] = static_cast<char>(v);
  (*b)[at + 1] = static_cast<char>(v >> 8);
}
void SetLe32(Bytes* b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) (*b)[at + i] = static_cast<char>(v >> (8 * i));
}
std::size_t EndRecordAt(const Bytes& b) { return b.rfind("PK\x05\x06"); }

// A writable memory stream holding bytes, and its archive.
class ZipTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(ZipArchives()->CreateZipArchive(32768, &zip_), kOk); }
  void TearDown() override {
    if (zip_ != nullptr) {
      EXPECT_EQ(zip_->DestroyZipArchive(), kOk);
    }
    for (Stream* s : streams_) (void)s->Close();
  }
  Stream* NewStream(const Bytes& bytes) {
    Stream* s = nullptr;
    EXPECT_EQ(MemoryStreams()->CreateMemoryStream(nullptr, 0, 0, kMemoryStreamWritable, &s), kOk);
    EXPECT_EQ(s->WriteAt(0, bytes.data(), static_cast<std::uint32_t>(bytes.size()), nullptr), kOk);
    streams_.push_back(s);
    return s;
  }
  static Bytes Contents(Stream* s) {
    void* data = nullptr;
    std::uint32_t size = 0;
    EXPECT_EQ(MemoryStreams()->GetMemoryBlock(s, &data, &size, nullptr), kOk);
    return Bytes(static_cast<const char*>(data), size);
  }
  Bytes CurrentName(Stream* s) {
    std::uint16_t length = 0;
    std::uint32_t position = 0;
    EXPECT_EQ(zip_->GetEntryInfo(nullptr, nullptr, nullptr, nullptr, &length, &position), kOk);
    return Contents(s).substr(position, length);
  }
  // Extracts the current member; checks the CRC register against the record.
  Result Extract(Bytes* out) {
    Stream* o = NewStream("");
    std::uint32_t size = 0, crc = 0, recorded = 0;
    const Result r = zip_->ExtractEntry(o, &size, &crc, nullptr);
    if (Failed(r)) return r;
    EXPECT_EQ(zip_->GetEntryInfo(nullptr, &recorded, nullptr, nullptr, nullptr, nullptr), kOk);
    EXPECT_EQ(~crc, recorded);
    *out = Contents(o);
    EXPECT_EQ(size, out->size());
    return r;
  }
  struct Member {
    Bytes name;
    Result extracted;
    Bytes data;
  };
  // Walks the whole directory of an opened archive.
  std::vector<Member> Walk(Stream* s) {
    std::vector<Member> members;
    Result r = zip_->FirstEntry();
    while (r == kOk) {
      Member m{CurrentName(s), kOk, {}};
      m.extracted = Extract(&m.data);
      members.push_back(m);
      r = zip_->NextEntry();
    }
    EXPECT_EQ(r, kZipNoMoreEntries);
    return members;
  }

  ZipArchive* zip_ = nullptr;
  std::vector<Stream*> streams_;
};

// ---- archives written by other tools ----

TEST_F(ZipTest, ArchivesOfOtherToolsListAndExtract) {
  const Bytes text = SampleText();
  const Bytes small = FromArray(fx::kSmall);
  struct Case {
    const char* what;
    Bytes archive;
    std::vector<Member> members;
  };
  const Case cases[] = {
      {"zipfile",
       FromArray(fx::kPythonArchive),
       {{"text.txt", kOk, text}, {"dir/small.txt", kOk, small}, {"empty.bin", kOk, ""}}},
      // zip stores what does not shrink; only DEFLATE members are supported.
      {"zip", FromArray(fx::kZipToolArchive), {{"small.txt", kZipUnsupportedMethod, ""}, {"text.txt", kOk, text}}},
      // Written to a pipe: the local header has zero sizes, the directory the real ones.
      {"zip streamed", FromArray(fx::kZipToolStreamed), {{"text.txt", kOk, text}}},
      {"zip -0", FromArray(fx::kZipToolStored), {{"small.txt", kZipUnsupportedMethod, ""}}},
      {"zip -P", FromArray(fx::kZipToolEncrypted), {{"text.txt", kZipEncrypted, ""}}},
  };
  for (const Case& c : cases) {
    Stream* s = NewStream(c.archive);
    ASSERT_EQ(zip_->OpenArchive(s, 0, 0xFFFFFFFFu), kOk) << c.what;
    const std::vector<Member> got = Walk(s);
    ASSERT_EQ(got.size(), c.members.size()) << c.what;
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].name, c.members[i].name) << c.what;
      EXPECT_EQ(got[i].extracted, c.members[i].extracted) << c.what << " " << got[i].name;
      EXPECT_TRUE(got[i].data == c.members[i].data) << c.what << " " << got[i].name;
    }
  }
}

TEST_F(ZipTest, EntryAndArchiveFieldsOfAnArchiveInsideALargerStream) {
  // The archive sits after 1000 bytes of something else; its offsets are
  // relative to its own start.
  const Bytes archive = FromArray(fx::kPythonArchive);
  Stream* s = NewStream(Bytes(1000, 'x') + archive + Bytes(50, 'y'));
  ASSERT_EQ(zip_->OpenArchive(s, 1000, static_cast<std::uint32_t>(archive.size())), kOk);
  std::uint16_t disk = 9, directoryDisk = 9, onDisk = 0, total = 0, commentLength = 0;
  std::uint32_t commentPosition = 0;
  ASSERT_EQ(zip_->GetArchiveInfo(&disk, &directoryDisk, &onDisk, &total, &commentLength, &commentPosition), kOk);
  EXPECT_EQ(disk, 0);
  EXPECT_EQ(directoryDisk, 0);
  EXPECT_EQ(onDisk, 3);
  EXPECT_EQ(total, 3);
  EXPECT_EQ(Contents(s).substr(commentPosition, commentLength), "an archive comment");

  ASSERT_EQ(zip_->FirstEntry(), kOk);
  DateTimeRecord t{};
  std::uint32_t crc = 0, packed = 0, unpacked = 0;
  ASSERT_EQ(zip_->GetEntryInfo(&t, &crc, &packed, &unpacked, nullptr, nullptr), kOk);
  EXPECT_EQ(t.year, 2021);
  EXPECT_EQ(t.month, 6);
  EXPECT_EQ(t.day, 15);
  EXPECT_EQ(t.hour, 13);
  EXPECT_EQ(t.minute, 45);
  EXPECT_EQ(t.second, 30);
  EXPECT_EQ(t.hundredths, 0);
  EXPECT_EQ(crc, Crc32(SampleText()));
  EXPECT_EQ(unpacked, SampleText().size());
  EXPECT_LT(packed, unpacked);
  std::uint16_t flags = 9, method = 0, entryComment = 9;
  std::uint32_t entryCommentPosition = 0, attributes = 0;
  ASSERT_EQ(zip_->GetEntryExtra(&flags, &method, &entryComment, &entryCommentPosition, &attributes), kOk);
  EXPECT_EQ(flags, 0);
  EXPECT_EQ(method, 8);
  EXPECT_EQ(entryComment, 0);
  ASSERT_EQ(zip_->NextEntry(), kOk);
  ASSERT_EQ(zip_->GetEntryInfo(&t, nullptr, nullptr, nullptr, nullptr, nullptr), kOk);
  EXPECT_EQ(t.year, 1999);
  EXPECT_EQ(t.second, 58);
  Bytes data;
  ASSERT_EQ(Extract(&data), kOk);
  EXPECT_EQ(data, FromArray(fx::kSmall));
}

// ---- finding the end record ----

TEST_F(ZipTest, TheLastEndSignatureWithRoomForItsRecordIsTaken) {
  const Bytes archive = FromArray(fx::kPythonArchive);
  // Not found: no signature at all, a range too short, or a signature whose
  // record would reach past the range (a signature in the last 21 bytes).
  // The stream ends with the range, so any read past it would fail differently.
  for (const Bytes& bytes : {Bytes(), Bytes(5000, 'z'), Bytes("PK\x05\x06", 4) + Bytes(17, '\0'),
                             Bytes(600, 'z') + Bytes("PK\x05\x06", 4) + Bytes(17, '\0')}) {
    Stream* s = NewStream(bytes);
    EXPECT_EQ(zip_->OpenArchive(s, 0, 0xFFFFFFFFu), kZipNoEndRecord) << bytes.size();
  }
  // A start beyond the stream leaves an empty range.
  Stream* s = NewStream(archive);
  EXPECT_EQ(zip_->OpenArchive(s, 5000, 100), kZipNoEndRecord);
  EXPECT_EQ(zip_->FirstEntry(), kFail);  // nothing is open after a failed search
  // Trailing bytes with a signature but no room for a record are passed over.
  for (std::size_t tail : {1u, 17u, 18u, 21u}) {
    Bytes bytes = archive + Bytes("PK\x05\x06", 4) + Bytes(tail - 1 < 17 ? tail - 1 : 17, '\0');
    bytes.resize(archive.size() + tail);
    s = NewStream(bytes);
    ASSERT_EQ(zip_->OpenArchive(s, 0, 0xFFFFFFFFu), kOk) << tail;
    std::uint32_t commentPosition = 0;
    ASSERT_EQ(zip_->GetArchiveInfo(nullptr, nullptr, nullptr, nullptr, nullptr, &commentPosition), kOk);
    EXPECT_EQ(commentPosition, EndRecordAt(archive) + 22) << tail;
  }
  // The search covers the whole range, not only its last 64 KB, and finds a
  // signature split across two 512-byte reads.
  for (std::size_t pad : {70000u, 509u, 510u, 511u, 512u}) {
    Bytes bytes = archive;
    SetLe16(&bytes, EndRecordAt(bytes) + 20, static_cast<std::uint32_t>(18 + pad));
    bytes += Bytes(pad, 'c');
    s = NewStream(bytes);
    ASSERT_EQ(zip_->OpenArchive(s, 0, 0xFFFFFFFFu), kOk) << pad;
    EXPECT_EQ(Walk(s).size(), 3u) << pad;
  }
  // A comment holding the signature: the one inside the comment is the last.
  Bytes bytes = archive;
  const Bytes fake = Bytes("PK\x05\x06", 4) + Bytes(18, '\0');
  SetLe16(&bytes, EndRecordAt(bytes) + 20, static_cast<std::uint32_t>(18 + fake.size()));
  const std::size_t fakeAt = bytes.size();
  bytes += fake;
  s = NewStream(bytes);
  ASSERT_EQ(zip_->OpenArchive(s, 0, 0xFFFFFFFFu), kOk);
  std::uint32_t commentPosition = 0;
  std::uint16_t records = 9;
  ASSERT_EQ(zip_->GetArchiveInfo(nullptr, nullptr, &records, nullptr, nullptr, &commentPosition), kOk);
  EXPECT_EQ(commentPosition, fakeAt + 22);
  EXPECT_EQ(records, 0);
  EXPECT_EQ(zip_->FirstEntry(), kZipNoMoreEntries);
}

// ---- damaged directories ----

TEST_F(ZipTest, RecordsThatDoNotStartWhereTheyMustAreRejected) {
  const Bytes archive = FromArray(fx::kPythonArchive);
  const std::size_t end = EndRecordAt(archive);
  const std::uint32_t directory = Le32(archive, end + 16);
  struct Case {
    const char* what;
    std::size_t at;
    std::uint32_t value;
    int bytes;
    Result first, second, extract;
  };
  const Case cases[] = {
      {"directory offset off by one", end + 16, directory + 1, 4, kZipBadRecord, kOk, kOk},
      {"directory offset far out", end + 16, 0xFFFFFFF0u, 4, kZipBadRecord, kOk, kOk},
      {"second record's signature", directory + 46 + 8 + 0, 0x00000000u, 4, kOk, kZipBadRecord, kOk},
      {"first name length reaching out", directory + 28, 0xFFFF, 2, kOk, kZipBadRecord, kOk},
      {"local header offset off", directory + 42, 1, 4, kOk, kOk, kZipBadRecord},
      {"local header offset far out", directory + 42, 0xFFFFFFFFu, 4, kOk, kOk, kZipBadRecord},
      {"local signature", 0, 0x04034B51u, 4, kOk, kOk, kZipBadRecord},
      {"encrypted", 6, 1, 2, kOk, kOk, kZipEncrypted},
      {"stored", 8, 0, 2, kOk, kOk, kZipUnsupportedMethod},
      {"local name length reaching out", 26, 0xFFFF, 2, kOk, kOk, kZipBadRecord},
  };
  for (const Case& c : cases) {
    Bytes bytes = archive;
    if (c.bytes == 2) SetLe16(&bytes, c.at, c.value);
    if (c.bytes == 4) SetLe32(&bytes, c.at, c.value);
    Stream* s = NewStream(bytes);
    ASSERT_EQ(zip_->OpenArchive(s, 0, 0xFFFFFFFFu), kOk) << c.what;
    ASSERT_EQ(zip_->FirstEntry(), c.first) << c.what;
    if (c.first != kOk) continue;
    Bytes data;
    EXPECT_EQ(Extract(&data), c.extract) << c.what;
    EXPECT_EQ(zip_->NextEntry(), c.second) << c.what;
  }
  // Compressed data claimed beyond the range stops at the range end.
  Bytes bytes = archive;
  SetLe32(&bytes, 18, 0x7FFFFFFF);
  Stream* s = NewStream(bytes);
  ASSERT_EQ(zip_->OpenArchive(s, 0, 0xFFFFFFFFu), kOk);
  ASSERT_EQ(zip_->FirstEntry(), kOk);
  Bytes data;
  EXPECT_EQ(Extract(&data), kOk);  // the stream ends before the range does
  EXPECT_EQ(data, SampleText());
}

// ---- writing ----

TEST_F(ZipTest, NewArchiveIsAnEmptyEndRecordThatEndsTheStream) {
  Stream* s = NewStream(Bytes(100, 'p') + Bytes(50, 'q'));
  ASSERT_EQ(zip_->NewArchive(s, 100), kOk);
  EXPECT_EQ(Contents(s), Bytes(100, 'p') + Bytes("PK\x05\x06", 4) + Bytes(18, '\0'));
  std::uint16_t records = 9, commentLength = 9;
  ASSERT_EQ(zip_->GetArchiveInfo(nullptr, nullptr, &records, nullptr, &commentLength, nullptr), kOk);
  EXPECT_EQ(records, 0);
  EXPECT_EQ(commentLength, 0);
  EXPECT_EQ(zip_->FirstEntry(), kZipNoMoreEntries);
}

TEST_F(ZipTest, AddedMembersReadBackWithTheirTimesNamesAndData) {
  Bytes noise(100000, '\0');
  std::uint32_t x = 1;
  for (auto& c : noise) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
  const Bytes longName(70000, 'n');
  struct Case {
    Bytes name;
    Bytes data;
    DateTimeRecord time;
    DateTimeRecord expected;
  };
  const Case cases[] = {
      {"a.txt", SampleText(), {2024, 2, 29, 23, 59, 58, 99}, {2024, 2, 29, 23, 59, 58, 0}},
      {"empty", "", {1980, 1, 1, 0, 0, 0, 0}, {1980, 1, 1, 0, 0, 0, 0}},
      // Out-of-range components contribute 0; odd seconds round down.
      {"odd", "x", {1979, 13, 32, 24, 60, 59, 0}, {1980, 0, 0, 0, 0, 0, 0}},
      {"y2100", noise, {2100, 12, 31, 1, 2, 3, 0}, {1980, 12, 31, 1, 2, 2, 0}},
      {"", "nameless", {2099, 1, 1, 0, 0, 1, 0}, {2099, 1, 1, 0, 0, 0, 0}},
      {longName, "long", {2000, 1, 1, 0, 0, 0, 0}, {2000, 1, 1, 0, 0, 0, 0}},
  };
  Stream* s = NewStream("");
  ASSERT_EQ(zip_->NewArchive(s, 0), kOk);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    Stream* in = NewStream("--" + c.data);
    ASSERT_EQ(
        zip_->AddEntry(in, 2, 0xFFFFFFFFu, c.name.data(), static_cast<std::uint32_t>(c.name.size()), &c.time, nullptr),
        kOk);
    EXPECT_EQ(zip_->NextEntry(), kZipNoMoreEntries);  // the new member is the current record
    EXPECT_EQ(CurrentName(s), c.name.substr(0, 65535));
  }
  // Reopened from the stream alone.
  ASSERT_EQ(zip_->OpenArchive(s, 0, 0xFFFFFFFFu), kOk);
  Result r = zip_->FirstEntry();
  for (const Case& c : cases) {
    ASSERT_EQ(r, kOk);
    DateTimeRecord t{};
    ASSERT_EQ(zip_->GetEntryInfo(&t, nullptr, nullptr, nullptr, nullptr, nullptr), kOk);
    EXPECT_EQ(std::memcmp(&t, &c.expected, sizeof(t)), 0)
        << c.name.substr(0, 10) << " " << t.year << "-" << int(t.month) << "-" << int(t.day) << " " << int(t.second);
    EXPECT_EQ(CurrentName(s), c.name.substr(0, 65535));
    Bytes data;
    EXPECT_EQ(Extract(&data), kOk);
    EXPECT_TRUE(data == c.data);
    r = zip_->NextEntry();
  }
  EXPECT_EQ(r, kZipNoMoreEntries);
}

TEST_F(ZipTest, AddingToAnArchiveWithACommentDropsTheCommentAndEndsTheStream) {
  const Bytes archive = FromArray(fx::kPythonArchive);
  Stream* s = NewStream(Bytes(64, 'h') + archive);
  ASSERT_EQ(zip_->OpenArchive(s, 64, 0xFFFFFFFFu), kOk);
  const DateTimeRecord t{2020, 5, 6, 7, 8, 10, 0};
  Stream* in = NewStream("added member");
  ASSERT_EQ(zip_->AddEntry(in, 0, 100, "new.txt", 7, &t, nullptr), kOk);
  const Bytes after = Contents(s);
  EXPECT_EQ(after.substr(0, 64), Bytes(64, 'h'));
  const std::size_t end = EndRecordAt(after);
  EXPECT_EQ(end + 22, after.size());
  EXPECT_EQ(after[end + 20], 0);
  EXPECT_EQ(after[end + 21], 0);
  EXPECT_EQ(Le32(after, end + 16) + Le32(after, end + 12) + 64, end);  // directory offset + size
  ASSERT_EQ(zip_->OpenArchive(s, 64, 0xFFFFFFFFu), kOk);
  const std::vector<Member> members = Walk(s);
  ASSERT_EQ(members.size(), 4u);
  EXPECT_EQ(members[0].data, SampleText());
  EXPECT_EQ(members[1].data, FromArray(fx::kSmall));
  EXPECT_EQ(members[3].name, "new.txt");
  EXPECT_EQ(members[3].data, "added member");
}

TEST_F(ZipTest, AddingToAnArchiveTheEndRecordDisagreesWithWritesNothing) {
  const Bytes archive = FromArray(fx::kPythonArchive);
  const std::size_t end = EndRecordAt(archive);
  struct Case {
    const char* what;
    std::size_t at;
    std::uint32_t value;
    int bytes;
  };
  const Case cases[] = {
      {"disk number", end + 4, 1, 2},
      {"directory disk", end + 6, 1, 2},
      {"records on disk", end + 8, 2, 2},
      {"total records", end + 10, 4, 2},
      {"directory size", end + 12, Le32(archive, end + 12) - 1, 4},
      {"directory offset", end + 16, 0, 4},
      {"directory too small for its records", end + 8, 0x7FFF, 2},
      {"comment past the range", end + 20, 200, 2},
  };
  const DateTimeRecord t{2020, 1, 1, 0, 0, 0, 0};
  for (const Case& c : cases) {
    Bytes bytes = archive;
    if (c.bytes == 2) SetLe16(&bytes, c.at, c.value);
    if (c.bytes == 4) SetLe32(&bytes, c.at, c.value);
    if (std::string(c.what) == "directory too small for its records") SetLe16(&bytes, end + 10, c.value);
    Stream* s = NewStream(bytes);
    ASSERT_EQ(zip_->OpenArchive(s, 0, 0xFFFFFFFFu), kOk) << c.what;
    Stream* in = NewStream("data");
    EXPECT_EQ(zip_->AddEntry(in, 0, 4, "x", 1, &t, nullptr), kZipBadRecord) << c.what;
    EXPECT_EQ(Contents(s), bytes) << c.what;
  }
  // The end signature inside the comment: the fake record cannot match the directory.
  Bytes bytes = archive;
  const Bytes fake = Bytes("PK\x05\x06", 4) + Bytes(18, '\0');
  SetLe16(&bytes, end + 20, static_cast<std::uint32_t>(18 + fake.size()));
  bytes += fake;
  Stream* s = NewStream(bytes);
  ASSERT_EQ(zip_->OpenArchive(s, 0, 0xFFFFFFFFu), kOk);
  Stream* in = NewStream("data");
  EXPECT_EQ(zip_->AddEntry(in, 0, 4, "x", 1, &t, nullptr), kZipBadRecord);
  EXPECT_EQ(Contents(s), bytes);
  // Data after the archive's range would be overwritten and cut off.
  bytes = archive + "trailer";
  s = NewStream(bytes);
  ASSERT_EQ(zip_->OpenArchive(s, 0, static_cast<std::uint32_t>(archive.size())), kOk);
  EXPECT_EQ(zip_->AddEntry(in, 0, 4, "x", 1, &t, nullptr), kZipBadRecord);
  EXPECT_EQ(Contents(s), bytes);
}

TEST_F(ZipTest, AGrownArchivePassesOtherToolsChecks) {
  // The peers are programs on the build machine; where they are missing the
  // check is skipped.
  if (std::system("unzip -v > /dev/null 2>&1") != 0 || std::system("python3 -V > /dev/null 2>&1") != 0) {
    GTEST_SKIP() << "unzip or python3 missing";
  }
  test::ScratchFolder folder;
  ASSERT_TRUE(folder.ok());
  Stream* s = NewStream(FromArray(fx::kZipToolArchive));
  ASSERT_EQ(zip_->OpenArchive(s, 0, 0xFFFFFFFFu), kOk);
  const DateTimeRecord t{2022, 3, 4, 5, 6, 8, 0};
  Bytes big;
  for (int i = 0; i < 30000; ++i) big += std::to_string(i * 7919 % 10007) + ",";
  Stream* in = NewStream(big);
  ASSERT_EQ(zip_->AddEntry(in, 0, 0xFFFFFFFFu, "big.csv", 7, &t, nullptr), kOk);
  ASSERT_EQ(zip_->AddEntry(in, 0, 0, "empty", 5, &t, nullptr), kOk);
  const std::string path = folder.path() + "/grown.zip";
  ASSERT_TRUE(test::WriteWholeFile(path, Contents(s)));
  EXPECT_EQ(std::system(("unzip -tqq '" + path + "'").c_str()), 0);
  const std::string check =
      "python3 -c \"import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
      "assert z.testzip() is None; "
      "assert [i.filename for i in z.infolist()] == ['small.txt', 'text.txt', 'big.csv', 'empty']; "
      "assert zipfile.crc32(z.read('big.csv')) == " +
      std::to_string(Crc32(big)) + "\" '" + path + "'";
  EXPECT_EQ(std::system(check.c_str()), 0);
}

// ---- resources ----

TEST(ZipLifeTest, EveryFailedAllocationOfCreationIsReportedAndLeavesNothing) {
  bool succeeded = false;
  for (std::uint32_t n = 1; !succeeded && n < 50; ++n) {
    test::ScopedFaultMemory memory;
    memory->FailNth(n);
    ZipArchive* zip = nullptr;
    const Result r = ZipArchives()->CreateZipArchive(32768, &zip);
    if (r == kOk) {
      succeeded = true;
      EXPECT_EQ(zip->DestroyZipArchive(), kOk);
    } else {
      EXPECT_EQ(r, kOutOfMemory) << n;
    }
    std::uint32_t now = 1;
    ASSERT_EQ(memory->GetStatistics(nullptr, &now, nullptr, nullptr), kOk);
    EXPECT_EQ(now, 0u) << n;  // this memory service saw every block of the attempt
  }
  EXPECT_TRUE(succeeded);
  // A block size the Deflater refuses.
  ZipArchive* zip = nullptr;
  EXPECT_EQ(ZipArchives()->CreateZipArchive(0, &zip), kFail);
  EXPECT_EQ(ZipArchives()->CreateZipArchive(32769, &zip), kFail);
}

}  // namespace
}  // namespace sfx
