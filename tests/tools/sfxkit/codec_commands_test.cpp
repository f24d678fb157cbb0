// The codec subcommands on files: deflate and inflate give the input back,
// a damaged stream fails with its Result in hex and leaves what was decoded,
// and crc32 prints the standard check value.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/tools/sfxkit/sfxkit_test_util.h"
#include "tools/sfxkit/commands.h"

namespace sfx::cli::test {
namespace {

class CodecCommandsTest : public ::testing::Test {
 protected:
  ScratchFolder scratch_;
};

TEST_F(CodecCommandsTest, DeflateThenInflateGivesTheInputBack) {
  // Half noise, half a run: both the literal and the match paths.
  std::vector<std::uint8_t> input = RandomBytes(80000, 3);
  std::fill(input.begin() + 50000, input.end(), std::uint8_t{'x'});
  WriteBytes(scratch_ / "in.bin", input);
  for (const char* blockSize : {"32768", "1000"}) {
    const auto packed = (scratch_ / "in.deflate").string();
    const auto unpacked = (scratch_ / "out.bin").string();
    auto r = RunCommand(RunDeflate, "deflate", {"--block-size", blockSize, (scratch_ / "in.bin").string(), packed});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_LT(ReadBytes(packed).size(), input.size());
    r = RunCommand(RunInflate, "inflate", {packed, unpacked});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadBytes(unpacked), input);
  }
}

TEST_F(CodecCommandsTest, EmptyInputIsOneFinalFixedBlock) {
  WriteBytes(scratch_ / "empty", {});
  const auto packed = (scratch_ / "empty.deflate").string();
  ASSERT_EQ(RunCommand(RunDeflate, "deflate", {(scratch_ / "empty").string(), packed}).status, 0);
  EXPECT_EQ(ReadBytes(packed), (std::vector<std::uint8_t>{0x03, 0x00}));
}

TEST_F(CodecCommandsTest, BadInputIsReportedWithItsResult) {
  // A stored block announcing 5 bytes, then "ab", then block type 3 (reserved).
  WriteBytes(scratch_ / "cut.deflate", {0x00, 0x05, 0x00, 0xFA, 0xFF, 'a', 'b'});
  const auto out = (scratch_ / "cut.out").string();
  auto r = RunCommand(RunInflate, "inflate", {(scratch_ / "cut.deflate").string(), out});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("0x8"), std::string::npos) << r.err;

  WriteBytes(scratch_ / "reserved.deflate", {0x07});  // final block of the reserved type
  r = RunCommand(RunInflate, "inflate", {(scratch_ / "reserved.deflate").string(), out});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("0x8202"), std::string::npos) << r.err;

  r = RunCommand(RunDeflate, "deflate", {"--block-size", "0", (scratch_ / "cut.deflate").string(), out});
  EXPECT_NE(r.status, 0);
  r = RunCommand(RunInflate, "inflate", {(scratch_ / "missing").string(), out});
  EXPECT_EQ(r.status, 1);
}

TEST_F(CodecCommandsTest, Crc32PrintsEightHexDigitsAndTheName) {
  WriteText(scratch_ / "digits", "123456789");
  const auto name = (scratch_ / "digits").string();
  auto r = RunCommand(RunCrc32, "crc32", {name});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "cbf43926  " + name + "\n");
  r = RunCommand(RunCrc32, "crc32", {name, (scratch_ / "missing").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out.rfind("cbf43926  ", 0), 0u);
}

}  // namespace
}  // namespace sfx::cli::test
