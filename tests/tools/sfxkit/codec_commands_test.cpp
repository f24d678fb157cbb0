// The codec subcommands on files: deflate and inflate give the input back, a
// damaged stream fails with its Result in hex, crc32 and md5 print the standard
// values, base64 gives its input back, and an archive grown by `zip add` lists
// and extracts back to the same files but never outside the folder.
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

TEST_F(CodecCommandsTest, ZipAddListExtractRoundTrip) {
  std::vector<std::uint8_t> text;
  for (int i = 0; i < 5000; ++i) {
    const std::string line = "row " + std::to_string(i) + "\n";
    text.insert(text.end(), line.begin(), line.end());
  }
  WriteBytes(scratch_ / "in" / "a.txt", text);
  WriteBytes(scratch_ / "in" / "sub" / "b.bin", RandomBytes(3000, 9));
  const auto archive = (scratch_ / "t.zip").string();
  // Names are the paths as given; the archive is created by the first add.
  const fs::path cwd = fs::current_path();
  fs::current_path(scratch_.path());
  auto r = RunCommand(RunZip, "zip", {"add", "t.zip", "in/a.txt"});
  ASSERT_EQ(r.status, 0) << r.err;
  r = RunCommand(RunZip, "zip", {"add", "t.zip", "in/sub"});
  fs::current_path(cwd);
  ASSERT_EQ(r.status, 0) << r.err;

  r = RunCommand(RunZip, "zip", {"list", archive});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("  in/a.txt\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  in/sub/b.bin\n"), std::string::npos) << r.out;

  const auto out = (scratch_ / "out").string();
  r = RunCommand(RunZip, "zip", {"extract", "-d", out, archive});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadBytes(scratch_ / "out" / "in" / "a.txt"), text);
  EXPECT_EQ(ReadBytes(scratch_ / "out" / "in" / "sub" / "b.bin"), RandomBytes(3000, 9));

  r = RunCommand(RunZip, "zip", {"extract", "-d", out, archive, "missing"});
  EXPECT_EQ(r.status, 1);
  WriteText(scratch_ / "not.zip", "no archive here");
  r = RunCommand(RunZip, "zip", {"list", (scratch_ / "not.zip").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("0x82030001"), std::string::npos) << r.err;
  EXPECT_EQ(RunCommand(RunZip, "zip", {"remove", archive}).status, 2);
}

TEST_F(CodecCommandsTest, ZipExtractSkipsNamesOutsideTheFolder) {
  // An archive made by `zip add` whose member name is then rewritten in both
  // headers to "../x" (same length as "in/x").
  WriteText(scratch_ / "in" / "x", "payload");
  const fs::path cwd = fs::current_path();
  fs::current_path(scratch_.path());
  auto r = RunCommand(RunZip, "zip", {"add", "evil.zip", "in/x"});
  fs::current_path(cwd);
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::uint8_t> bytes = ReadBytes(scratch_ / "evil.zip");
  for (std::size_t i = 0; i + 4 <= bytes.size(); ++i) {
    if (bytes[i] == 'i' && bytes[i + 1] == 'n' && bytes[i + 2] == '/' && bytes[i + 3] == 'x') {
      bytes[i] = '.';
      bytes[i + 1] = '.';
    }
  }
  WriteBytes(scratch_ / "evil.zip", bytes);
  r = RunCommand(RunZip, "zip", {"extract", "-d", (scratch_ / "out").string(), (scratch_ / "evil.zip").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(fs::exists(scratch_ / "x"));
}

TEST_F(CodecCommandsTest, Md5AndBase64) {
  WriteText(scratch_ / "abc", "abc");
  const auto name = (scratch_ / "abc").string();
  auto r = RunCommand(RunMd5, "md5", {name});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "900150983cd24fb0d6963f7d28e17f72  " + name + "\n");
  EXPECT_EQ(RunCommand(RunMd5, "md5", {(scratch_ / "missing").string()}).status, 1);

  const auto data = RandomBytes(1000, 4);
  WriteBytes(scratch_ / "data", data);
  const auto text = (scratch_ / "data.b64").string();
  r = RunCommand(RunBase64, "base64", {"--wrap", "64", (scratch_ / "data").string(), text});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto encoded = ReadBytes(text);
  ASSERT_GT(encoded.size(), 66u);
  EXPECT_EQ(encoded[64], '\r');
  EXPECT_EQ(encoded[65], '\n');
  r = RunCommand(RunBase64, "base64", {"-d", text, (scratch_ / "back").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadBytes(scratch_ / "back"), data);
  EXPECT_EQ(RunCommand(RunBase64, "base64", {"--wrap", "x", text}).status, 2);
}

}  // namespace
}  // namespace sfx::cli::test
