#include "services/core/file_system.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "platform/file.h"
#include "platform/time.h"
#include "services/core/file_stream.h"
#include "services/locator/url_service.h"
#include "tests/support/fault_memory.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/stream_suite.h"

namespace sfx {
namespace {

using test::Exists;
using test::IsFolder;
using test::ReadWholeFile;
using test::StreamPtr;
using test::WriteWholeFile;

class FileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.ok()); }

  StreamPtr OpenPath(const std::string& path, std::uint32_t mode, Result expected = kOk) {
    Stream* s = nullptr;
    EXPECT_EQ(FileSystem()->OpenPath(path.c_str(), mode, &s), expected) << path;
    return StreamPtr(s);
  }
  std::string Contents(const std::string& path) {
    std::string bytes;
    EXPECT_TRUE(ReadWholeFile(path, &bytes)) << path;
    return bytes;
  }
  // A path inside the scratch folder of exactly `length` characters.
  std::string PathOfLength(std::size_t length, char fill = 'n') {
    const std::string prefix = dir_.path() + "\\";
    return prefix + std::string(length - prefix.size(), fill);
  }

  test::ScratchFolder dir_;
};

// The names of the library's temporary files now in the temporary-files folder.
std::set<std::string> TempFiles() {
  char folder[platform::kMaxPathBytes];
  const std::uint32_t length = platform::GetTempFolder(folder, sizeof folder);
  std::set<std::string> names;
  if (length == 0 || length >= sizeof folder) return names;
  platform::FolderListing* listing = platform::StartFolderListing(folder);
  char name[platform::kMaxPathBytes];
  bool isFolder = false;
  while (listing != nullptr && platform::NextFolderEntry(listing, name, &isFolder)) {
    if (std::string(name).rfind(kTempFilePrefix, 0) == 0) names.insert(name);
  }
  platform::EndFolderListing(listing);
  return names;
}

// ---- Open, modes 0 to 2 ----

TEST_F(FileSystemTest, ModesOpenCreateAndEmpty) {
  const std::string path = dir_ / "a.bin";
  OpenPath(path, kOpenRead, kFail);  // missing
  OpenPath(path, kOpenReadWrite, kFail);
  EXPECT_FALSE(Exists(path));
  {
    StreamPtr s = OpenPath(path, kOpenCreate);
    ASSERT_TRUE(s);
    ASSERT_EQ(s->Write("0123456789", 10, nullptr), kOk);
  }
  {
    StreamPtr s = OpenPath(path, kOpenReadWrite);  // keeps the bytes
    ASSERT_EQ(s->Write("ab", 2, nullptr), kOk);
  }
  EXPECT_EQ(Contents(path), "ab23456789");
  {
    StreamPtr s = OpenPath(path, kOpenRead);
    char c;
    EXPECT_EQ(s->Read(&c, 1, nullptr), kOk);
    EXPECT_EQ(s->Write("x", 1, nullptr), kFail);  // read only
  }
  OpenPath(path, kOpenCreate);  // an existing file is emptied
  EXPECT_EQ(Contents(path), "");

  Stream* s = nullptr;
  EXPECT_EQ(FileSystem()->Open(const_cast<char*>(path.c_str()), 0, 4, &s), kModeOutOfRange);
  EXPECT_EQ(FileSystem()->Open(const_cast<char*>(path.c_str()), 0, kOpenCreate, nullptr), kNullOutput);
  EXPECT_EQ(FileSystem()->Open(nullptr, 0, kOpenCreate, &s), kFail);
  OpenPath(dir_.path(), kOpenRead, kFail);  // a folder is not a file
}

TEST_F(FileSystemTest, PathsOf259CharactersAreTheLimit) {
  const std::string longest = PathOfLength(259);
  StreamPtr s = OpenPath(longest, kOpenCreate);
  ASSERT_TRUE(s);
  EXPECT_STREQ(static_cast<FileStream*>(s.get())->fileName(), longest.c_str());
  s.reset();
  EXPECT_TRUE(Exists(longest));

  const std::string tooLong = PathOfLength(260, 'm');
  OpenPath(tooLong, kOpenCreate, kPathTooLong);
  EXPECT_FALSE(Exists(tooLong.substr(0, 259)));  // refused before any platform call
  EXPECT_EQ(FileSystem()->CreateFolders(tooLong.c_str()), kPathTooLong);
}

TEST_F(FileSystemTest, StreamsShareTheirFile) {
  const std::string path = dir_ / "shared";
  StreamPtr writer = OpenPath(path, kOpenCreate);
  StreamPtr reader = OpenPath(path, kOpenRead);
  StreamPtr other = OpenPath(path, kOpenReadWrite);
  ASSERT_TRUE(writer && reader && other);
  ASSERT_EQ(writer->Write("shared", 6, nullptr), kOk);
  char buffer[6];
  ASSERT_EQ(reader->Read(buffer, 6, nullptr), kOk);
  EXPECT_EQ(std::string(buffer, 6), "shared");
}

// ---- Open, mode 3: temporary files ----

TEST_F(FileSystemTest, TemporaryFileWithoutBufferVanishesOnClose) {
  Stream* s = nullptr;
  ASSERT_EQ(FileSystem()->Open(nullptr, 0, kOpenTemporary, &s), kOk);
  auto* file = static_cast<FileStream*>(s);
  const std::string name = file->fileName();
  EXPECT_EQ(file->fileFlags(), FileStream::kDeleteOnClose);
  char folder[platform::kMaxPathBytes];
  const std::uint32_t folderLength = platform::GetTempFolder(folder, sizeof folder);
  ASSERT_GT(folderLength, 0u);
  EXPECT_EQ(name.rfind(folder, 0), 0u) << name;
  EXPECT_EQ(name.substr(folderLength, 3), kTempFilePrefix);
  EXPECT_TRUE(Exists(name));
  ASSERT_EQ(s->Write("temp", 4, nullptr), kOk);
  ASSERT_EQ(s->Close(), kOk);
  EXPECT_FALSE(Exists(name));
}

TEST_F(FileSystemTest, TemporaryFileWithCallerBufferStays) {
  char name[300];
  std::memset(name, 'x', sizeof name);
  Stream* s = nullptr;
  ASSERT_EQ(FileSystem()->Open(name, sizeof name, kOpenTemporary, &s), kOk);
  EXPECT_EQ(static_cast<FileStream*>(s)->fileFlags(), 0u);
  EXPECT_STREQ(static_cast<FileStream*>(s)->fileName(), name);
  ASSERT_EQ(s->Write("kept", 4, nullptr), kOk);
  ASSERT_EQ(s->Close(), kOk);
  EXPECT_EQ(Contents(name), "kept");
  EXPECT_EQ(FileSystem()->Delete(name), kOk);

  char exact[kMaxPathLength];
  ASSERT_EQ(FileSystem()->Open(exact, sizeof exact, kOpenTemporary, &s), kOk);
  ASSERT_EQ(s->Close(), kOk);
  EXPECT_EQ(FileSystem()->Delete(exact), kOk);

  char small[100];
  EXPECT_EQ(FileSystem()->Open(small, sizeof small, kOpenTemporary, &s), kNameBufferTooSmall);
  EXPECT_EQ(FileSystem()->Open(exact, kMaxPathLength - 1, kOpenTemporary, &s), kNameBufferTooSmall);
}

TEST_F(FileSystemTest, FailedTemporaryOpenLeavesNoFile) {
  const std::set<std::string> before = TempFiles();
  {
    test::ScopedFaultMemory memory;
    memory->FailAll();  // the instance block cannot be had
    Stream* s = nullptr;
    EXPECT_EQ(FileSystem()->Open(nullptr, 0, kOpenTemporary, &s), kOutOfMemory);
    char name[300];
    EXPECT_EQ(FileSystem()->Open(name, sizeof name, kOpenTemporary, &s), kOutOfMemory);
    EXPECT_FALSE(Exists(name));
  }
  EXPECT_EQ(TempFiles(), before);
}

TEST_F(FileSystemTest, FailedOpenFreesEverything) {
  test::ScopedFaultMemory memory;
  memory->FailAll();
  OpenPath(dir_ / "x", kOpenCreate, kOutOfMemory);
  memory->Heal();
  std::uint32_t current = 1;
  ASSERT_EQ(memory->GetStatistics(nullptr, &current, nullptr, nullptr), kOk);
  EXPECT_EQ(current, 0u);
  // The handle was closed again: the file can be deleted on every target.
  EXPECT_EQ(FileSystem()->Delete((dir_ / "x").c_str()), kOk);
}

// ---- Delete, OpenInFolder, DeleteInFolder ----

TEST_F(FileSystemTest, DeleteAndTheFolderForms) {
  const std::string folderWithSeparator = dir_.path() + "\\";
  Stream* s = nullptr;
  ASSERT_EQ(FileSystem()->OpenInFolder(dir_.path().c_str(), "one", kOpenCreate, &s), kOk);
  EXPECT_STREQ(static_cast<FileStream*>(s)->fileName(), (dir_ / "one").c_str());
  ASSERT_EQ(s->Close(), kOk);
  ASSERT_EQ(FileSystem()->OpenInFolder(folderWithSeparator.c_str(), "one", kOpenRead, &s), kOk);
  EXPECT_STREQ(static_cast<FileStream*>(s)->fileName(), (dir_ / "one").c_str());
  ASSERT_EQ(s->Close(), kOk);

  EXPECT_EQ(FileSystem()->OpenInFolder(dir_.path().c_str(), "one", 3, &s), kModeOutOfRange);
  EXPECT_EQ(FileSystem()->OpenInFolder(dir_.path().c_str(), "one", -1, &s), kModeOutOfRange);
  const std::string longName(kMaxPathLength - dir_.path().size() - 1, 'n');  // joined: 259 characters
  EXPECT_EQ(FileSystem()->OpenInFolder(dir_.path().c_str(), longName.c_str(), kOpenCreate, &s), kUrlTooLong);
  EXPECT_EQ(FileSystem()->DeleteInFolder(dir_.path().c_str(), longName.c_str()), kUrlTooLong);
  const std::string fits(kMaxPathLength - dir_.path().size() - 2, 'f');  // joined: 258 characters
  ASSERT_EQ(FileSystem()->OpenInFolder(dir_.path().c_str(), fits.c_str(), kOpenCreate, &s), kOk);
  ASSERT_EQ(s->Close(), kOk);
  EXPECT_EQ(FileSystem()->DeleteInFolder(dir_.path().c_str(), fits.c_str()), kOk);

  EXPECT_EQ(FileSystem()->DeleteInFolder(dir_.path().c_str(), "one"), kOk);
  EXPECT_FALSE(Exists(dir_ / "one"));
  EXPECT_EQ(FileSystem()->DeleteInFolder(dir_.path().c_str(), "one"), kFail);
  EXPECT_EQ(FileSystem()->Delete((dir_ / "missing").c_str()), kFail);
  EXPECT_EQ(FileSystem()->Delete(dir_.path().c_str()), kFail);  // folders are not deleted
  EXPECT_TRUE(IsFolder(dir_.path()));
}

// ---- Move ----

TEST_F(FileSystemTest, MoveWithAndWithoutReplace) {
  const std::string a = dir_ / "a", b = dir_ / "b", c = dir_ / "c";
  ASSERT_TRUE(WriteWholeFile(a, "first"));
  ASSERT_TRUE(WriteWholeFile(b, "second"));
  EXPECT_EQ(FileSystem()->Move(a.c_str(), c.c_str(), 0), kOk);
  EXPECT_FALSE(Exists(a));
  EXPECT_EQ(Contents(c), "first");

  EXPECT_EQ(FileSystem()->Move(c.c_str(), b.c_str(), 0), kMoveTargetExists);
  EXPECT_EQ(Contents(c), "first");
  EXPECT_EQ(Contents(b), "second");
  EXPECT_EQ(FileSystem()->Move(c.c_str(), b.c_str(), 1), kOk);
  EXPECT_FALSE(Exists(c));
  EXPECT_EQ(Contents(b), "first");

  EXPECT_EQ(FileSystem()->Move(a.c_str(), c.c_str(), 1), kFail);  // no source
}

TEST_F(FileSystemTest, FailingReplaceKeepsTheTarget) {
  // A folder cannot take a file's place: the target must survive the attempt.
  const std::string folder = dir_ / "folder", target = dir_ / "target";
  ASSERT_TRUE(platform::MakeFolder(folder.c_str()));
  ASSERT_TRUE(WriteWholeFile(target, "precious"));
  EXPECT_EQ(FileSystem()->Move(folder.c_str(), target.c_str(), 1), kFail);
  EXPECT_EQ(Contents(target), "precious");
  EXPECT_TRUE(IsFolder(folder));
}

TEST_F(FileSystemTest, MoveAcrossFolders) {
  const std::string sub = dir_ / "sub";
  ASSERT_EQ(FileSystem()->CreateFolders(sub.c_str()), kOk);
  ASSERT_TRUE(WriteWholeFile(dir_ / "f", "x"));
  EXPECT_EQ(FileSystem()->Move((dir_ / "f").c_str(), (sub + "\\f").c_str(), 0), kOk);
  EXPECT_EQ(Contents(sub + "\\f"), "x");
}

// Where the system cannot rename between two file systems, the file is
// copied and the original removed. Needs a second file system: the shared
// memory one where it exists.
TEST_F(FileSystemTest, MoveBetweenFileSystems) {
  const char* other = "/dev/shm/";
  if (!IsFolder(other)) GTEST_SKIP() << "no second file system here";
  char name[platform::kMaxPathBytes];
  ASSERT_TRUE(platform::CreateUniqueTempFile(other, "sfm", name, sizeof name));
  const std::string source = name, target = dir_ / "moved";
  ASSERT_TRUE(WriteWholeFile(source, "across"));
  ASSERT_TRUE(WriteWholeFile(target, "old"));
  EXPECT_EQ(FileSystem()->Move(source.c_str(), target.c_str(), 0), kMoveTargetExists);
  EXPECT_EQ(FileSystem()->Move(source.c_str(), target.c_str(), 1), kOk);
  EXPECT_EQ(Contents(target), "across");
  EXPECT_FALSE(Exists(source));

  EXPECT_EQ(FileSystem()->Move(target.c_str(), source.c_str(), 0), kOk);
  EXPECT_EQ(Contents(source), "across");
  EXPECT_FALSE(Exists(target));
  EXPECT_EQ(FileSystem()->Delete(source.c_str()), kOk);
}

// ---- CreateFolders ----

TEST_F(FileSystemTest, CreateFoldersMakesMissingLevelsParentFirst) {
  const std::string deep = dir_ / "one\\two";
  EXPECT_EQ(FileSystem()->CreateFolders(deep.c_str()), kOk);
  EXPECT_TRUE(IsFolder(dir_ / "one"));
  EXPECT_TRUE(IsFolder(deep));
  EXPECT_EQ(FileSystem()->CreateFolders(deep.c_str()), kOk);  // existing: nothing to do
  EXPECT_EQ(FileSystem()->CreateFolders(""), kOk);

  // Slashes separate too; a final separator or a doubled one does no harm.
  const std::string mixed = dir_.path() + "/three/four\\\\five\\";
  EXPECT_EQ(FileSystem()->CreateFolders(mixed.c_str()), kOk);
  EXPECT_TRUE(IsFolder(dir_ / "three\\four\\five"));
}

TEST_F(FileSystemTest, CreateFoldersTriesAMissingDriveRoot) {
  // On Windows there is no drive Q: and creating its root fails; elsewhere
  // "q:" is a relative folder name like any other. Never success with nothing made.
  const Result r = FileSystem()->CreateFolders("q:\\");
  if (r == kOk) {
    EXPECT_TRUE(IsFolder("q:"));
    EXPECT_TRUE(test::RemoveTree("q:"));
  } else {
    EXPECT_EQ(r, kCreateFolderFailed);
  }
}

TEST_F(FileSystemTest, CreateFoldersStopsAtAFile) {
  ASSERT_TRUE(WriteWholeFile(dir_ / "file", "x"));
  EXPECT_EQ(FileSystem()->CreateFolders((dir_ / "file\\a\\b").c_str()), kPathPartIsFile);
  EXPECT_EQ(FileSystem()->CreateFolders((dir_ / "file").c_str()), kPathPartIsFile);
  EXPECT_EQ(Contents(dir_ / "file"), "x");
}

// ---- GetFileInfo ----

TEST_F(FileSystemTest, GetFileInfoReportsSizeAndUtcWriteTime) {
  const std::string path = dir_ / "info";
  ASSERT_TRUE(WriteWholeFile(path, std::string(1234, 'i')));
  const platform::CalendarTime when{2021, 7, 0, 14, 9, 5, 33, 987};
  std::uint64_t fileTime = 0;
  ASSERT_TRUE(platform::CalendarToFileTime(when, &fileTime));
  const platform::FileHandle f = platform::OpenFileHandle(path.c_str(), platform::FileAccess::kWrite,
                                                          platform::FileCreation::kOpenExisting, false);
  ASSERT_NE(f, platform::kInvalidFile);
  ASSERT_TRUE(platform::SetFileTimes(f, &fileTime, &fileTime, &fileTime));
  ASSERT_TRUE(platform::CloseFile(f));

  DateTimeRecord time{};
  std::uint8_t marker = 9;
  std::uint32_t size = 0;
  ASSERT_EQ(FileSystem()->GetFileInfo(path.c_str(), &time, &marker, 1, &size), kOk);
  EXPECT_EQ(size, 1234u);
  EXPECT_EQ(marker, 0);
  EXPECT_EQ(time.year, 2021);
  EXPECT_EQ(time.month, 7);
  EXPECT_EQ(time.day, 14);
  EXPECT_EQ(time.hour, 9);
  EXPECT_EQ(time.minute, 5);
  EXPECT_EQ(time.second, 33);
  EXPECT_EQ(time.hundredths, 98);  // milliseconds / 10, rounded down

  size = 0;
  ASSERT_EQ(FileSystem()->GetFileInfo(path.c_str(), nullptr, nullptr, 0, &size), kOk);
  EXPECT_EQ(size, 1234u);
}

TEST_F(FileSystemTest, SetFileTimesGivesTheLocalTimeInUtcOrSaysWhyNot) {
  const std::string path = dir_ / "stamped";
  ASSERT_TRUE(WriteWholeFile(path, "x"));
  const DateTimeRecord local{2022, 2, 3, 4, 5, 6, 70};
  ASSERT_EQ(FileSystem()->SetFileTimes(path.c_str(), &local), kOk);
  // What was set is the local time turned into UTC, as GetFileInfo reports it.
  const platform::CalendarTime calendar{2022, 2, 0, 3, 4, 5, 6, 700};
  std::uint64_t localTime = 0, universal = 0;
  ASSERT_TRUE(platform::CalendarToFileTime(calendar, &localTime));
  ASSERT_TRUE(platform::LocalFileTimeToUtc(localTime, &universal));
  platform::CalendarTime expected{};
  ASSERT_TRUE(platform::FileTimeToCalendar(universal, &expected));
  DateTimeRecord read{};
  ASSERT_EQ(FileSystem()->GetFileInfo(path.c_str(), &read, nullptr, 0, nullptr), kOk);
  EXPECT_EQ(read.year, expected.year);
  EXPECT_EQ(read.day, expected.day);
  EXPECT_EQ(read.hour, expected.hour);
  EXPECT_EQ(read.hundredths, 70);

  const DateTimeRecord noDay{2023, 2, 29, 0, 0, 0, 0};
  const DateTimeRecord tooFine{2023, 1, 1, 0, 0, 0, 100};
  EXPECT_EQ(FileSystem()->SetFileTimes(path.c_str(), &noDay), kFileTimeUnavailable);
  EXPECT_EQ(FileSystem()->SetFileTimes(path.c_str(), &tooFine), kFileTimeUnavailable);
  EXPECT_EQ(FileSystem()->SetFileTimes((dir_ / "missing").c_str(), &local), kCannotOpen);
  EXPECT_EQ(FileSystem()->SetFileTimes(path.c_str(), nullptr), kNullOutput);
}

TEST_F(FileSystemTest, GetFileInfoWithoutTimeOrSizeDoesNotTouchTheFile) {
  const std::string missing = dir_ / "missing";
  std::uint8_t marker = 9;
  EXPECT_EQ(FileSystem()->GetFileInfo(missing.c_str(), nullptr, &marker, 0, nullptr), kOk);
  EXPECT_EQ(marker, 9);  // not wanted: untouched
  EXPECT_EQ(FileSystem()->GetFileInfo(missing.c_str(), nullptr, &marker, 1, nullptr), kOk);
  EXPECT_EQ(marker, 0);
  std::uint32_t size = 0;
  DateTimeRecord time{};
  EXPECT_EQ(FileSystem()->GetFileInfo(missing.c_str(), nullptr, nullptr, 0, &size), kCannotOpen);
  EXPECT_EQ(FileSystem()->GetFileInfo(missing.c_str(), &time, nullptr, 0, nullptr), kCannotOpen);
}

// Sizes of 4 GiB and more do not fit the 32-bit interface; they must fail
// rather than report their low 32 bits. The files are sparse.
TEST_F(FileSystemTest, FilesOf4GiBFailInsteadOfReportingLowBits) {
  const std::string path = dir_ / "huge";
  const platform::FileHandle f = platform::OpenFileHandle(path.c_str(), platform::FileAccess::kReadWrite,
                                                          platform::FileCreation::kCreateAlways, false);
  ASSERT_NE(f, platform::kInvalidFile);
  std::uint32_t position = 0, done = 0;
  ASSERT_TRUE(platform::SeekFile(f, 0xFFFFFFFEll, 0, &position));
  ASSERT_TRUE(platform::WriteToFile(f, "x", 1, &done));  // 4 GiB - 1 bytes
  ASSERT_TRUE(platform::CloseFile(f));

  std::uint32_t size = 0;
  ASSERT_EQ(FileSystem()->GetFileInfo(path.c_str(), nullptr, nullptr, 0, &size), kOk);
  EXPECT_EQ(size, 0xFFFFFFFFu);
  {
    StreamPtr s = OpenPath(path, kOpenReadWrite);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->GetSize(&size), kOk);
    EXPECT_EQ(size, 0xFFFFFFFFu);
    ASSERT_EQ(s->Seek(-1, kSeekEnd, &position), kOk);
    EXPECT_EQ(position, 0xFFFFFFFEu);  // past 2 GiB from the end or the current position
    ASSERT_EQ(s->Seek(1, kSeekCurrent, &position), kOk);
    EXPECT_EQ(position, 0xFFFFFFFFu);
    ASSERT_EQ(s->Write("y", 1, nullptr), kOk);  // now 4 GiB
    EXPECT_EQ(s->GetSize(&size), kFail);
    EXPECT_EQ(s->SetSize(10), kFail);
    EXPECT_EQ(s->Seek(0, kSeekEnd, &position), kFail);
  }
  size = 7;
  EXPECT_EQ(FileSystem()->GetFileInfo(path.c_str(), nullptr, nullptr, 0, &size), kFileSizeUnavailable);
  EXPECT_EQ(size, 7u);
}

}  // namespace
}  // namespace sfx
