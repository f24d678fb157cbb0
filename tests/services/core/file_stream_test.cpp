#include "services/core/file_stream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "services/core/file_system.h"
#include "tests/support/fault_memory.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/stream_suite.h"

namespace sfx {
namespace {

using test::StreamPtr;

class FileStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    Stream* s = nullptr;
    ASSERT_EQ(FileSystem()->OpenPath(path_.c_str(), kOpenCreate, &s), kOk);
    stream_.reset(s);
  }
  std::string Contents() {
    std::string bytes;
    EXPECT_TRUE(test::ReadWholeFile(path_, &bytes));
    return bytes;
  }

  test::ScratchFolder dir_;
  std::string path_ = dir_ / "stream.bin";
  StreamPtr stream_;
};

TEST_F(FileStreamTest, ShortReadsFailOnlyWithoutACount) {
  ASSERT_EQ(stream_->Write("abcdef", 6, nullptr), kOk);
  ASSERT_EQ(stream_->Seek(2, kSeekStart, nullptr), kOk);
  char buffer[8];
  EXPECT_EQ(stream_->Read(buffer, 8, nullptr), kStreamShortRead);
  std::uint32_t position = 0;
  ASSERT_EQ(stream_->Seek(0, kSeekCurrent, &position), kOk);
  EXPECT_EQ(position, 6u);  // the bytes that were there were still read
  ASSERT_EQ(stream_->Seek(4, kSeekStart, nullptr), kOk);
  std::uint32_t done = 0;
  EXPECT_EQ(stream_->Read(buffer, 8, &done), kOk);
  EXPECT_EQ(done, 2u);
  EXPECT_EQ(std::string(buffer, 2), "ef");
  EXPECT_EQ(stream_->Read(buffer, 0, nullptr), kOk);
}

TEST_F(FileStreamTest, SeekRefusesPositionsOutsideTheFileRange) {
  std::uint32_t position = 5;
  ASSERT_EQ(stream_->Seek(3, kSeekStart, nullptr), kOk);
  for (const std::int32_t before : {-1, -4096, INT32_MIN}) {  // a negative position from the start
    EXPECT_EQ(stream_->Seek(before, kSeekStart, &position), kFail) << before;
    EXPECT_EQ(stream_->Seek(before, kSeekStart, nullptr), kFail) << before;
  }
  ASSERT_EQ(stream_->Seek(0, kSeekCurrent, &position), kOk);
  EXPECT_EQ(position, 3u);
  EXPECT_EQ(stream_->Seek(-4, kSeekCurrent, &position), kFail);  // before the start
  ASSERT_EQ(stream_->Seek(0, kSeekCurrent, &position), kOk);
  EXPECT_EQ(position, 3u);  // a failed seek leaves the position
  EXPECT_EQ(stream_->Seek(0, 7, nullptr), kOriginOutOfRange);
  ASSERT_EQ(stream_->Seek(100, kSeekStart, &position), kOk);  // beyond the end is allowed
  EXPECT_EQ(position, 100u);
}

TEST_F(FileStreamTest, SetSizeGrowsWithZeroBytesAndTruncates) {
  ASSERT_EQ(stream_->Write("0123456789", 10, nullptr), kOk);
  ASSERT_EQ(stream_->SetSize(1000), kOk);
  std::uint32_t size = 0, position = 0;
  ASSERT_EQ(stream_->GetSize(&size), kOk);
  EXPECT_EQ(size, 1000u);
  ASSERT_EQ(stream_->Seek(0, kSeekCurrent, &position), kOk);
  EXPECT_EQ(position, 1000u);
  EXPECT_EQ(Contents(), "0123456789" + std::string(990, '\0'));

  ASSERT_EQ(stream_->SetSize(10), kOk);
  ASSERT_EQ(stream_->GetSize(&size), kOk);
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(Contents(), "0123456789");
  ASSERT_EQ(stream_->SetSize(10), kOk);
  ASSERT_EQ(stream_->SetSize(0), kOk);
  EXPECT_EQ(Contents(), "");
}

TEST_F(FileStreamTest, WritesOnAReadOnlyStreamFail) {
  ASSERT_EQ(stream_->Write("abc", 3, nullptr), kOk);
  Stream* reader = nullptr;
  ASSERT_EQ(FileSystem()->OpenPath(path_.c_str(), kOpenRead, &reader), kOk);
  StreamPtr r(reader);
  std::uint32_t done = 9;
  EXPECT_EQ(reader->Write("x", 1, &done), kFail);
  EXPECT_EQ(reader->SetSize(1), kFail);
  EXPECT_EQ(reader->SetSize(10), kFail);
  EXPECT_EQ(Contents(), "abc");
}

TEST_F(FileStreamTest, CloseDeletesOnlyWhenAsked) {
  ASSERT_EQ(stream_.release()->Close(), kOk);
  EXPECT_TRUE(test::Exists(path_));
  // The flag alone decides, whatever made the stream.
  Stream* s = nullptr;
  ASSERT_EQ(FileSystem()->OpenPath(path_.c_str(), kOpenReadWrite, &s), kOk);
  const platform::FileHandle second = platform::OpenFileHandle(path_.c_str(), platform::FileAccess::kRead,
                                                               platform::FileCreation::kOpenExisting, false);
  ASSERT_NE(second, platform::kInvalidFile);
  FileStream* flagged = nullptr;
  ASSERT_EQ(FileStream::Create(second, FileStream::kDeleteOnClose, path_.c_str(),
                               static_cast<std::uint32_t>(path_.size()), &flagged),
            kOk);
  EXPECT_EQ(s->Close(), kOk);
  EXPECT_EQ(flagged->Close(), kOk);
  EXPECT_FALSE(test::Exists(path_));
}

// A failing platform close (where deferred write errors show) is reported,
// and the instance is still freed and its temporary file still deleted.
TEST_F(FileStreamTest, CloseReportsAFailingPlatformClose) {
  stream_.reset();  // an open file cannot be deleted on Windows
  test::ScopedFaultMemory memory;
  const platform::FileHandle handle = platform::OpenFileHandle(path_.c_str(), platform::FileAccess::kRead,
                                                               platform::FileCreation::kOpenExisting, false);
  ASSERT_NE(handle, platform::kInvalidFile);
  ASSERT_TRUE(platform::CloseFile(handle));  // the stream below holds a handle that is gone
  FileStream* s = nullptr;
  ASSERT_EQ(FileStream::Create(handle, FileStream::kDeleteOnClose, path_.c_str(),
                               static_cast<std::uint32_t>(path_.size()), &s),
            kOk);
  EXPECT_EQ(s->Close(), kFail);
  EXPECT_FALSE(test::Exists(path_));
  std::uint32_t current = 1;
  ASSERT_EQ(memory->GetStatistics(nullptr, &current, nullptr, nullptr), kOk);
  EXPECT_EQ(current, 0u);
}

}  // namespace
}  // namespace sfx
