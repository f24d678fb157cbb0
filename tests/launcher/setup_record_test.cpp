// Reading the setup record: exact sizes, truncated titles, unsafe programs.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "launcher/setup_record.h"
#include "payload/byte_order.h"
#include "platform/file.h"
#include "platform/resource.h"
#include "tests/launcher/launcher_fixture.h"

namespace sfx {
namespace {

std::vector<std::uint8_t> SetupBytes(const std::string& title, const std::string& program, const std::string& args,
                                     int sizeDelta = 0) {
  std::vector<std::uint8_t> b(16, 0);
  payload::StoreU32(b.data(), 3);
  payload::StoreU32(b.data() + 4, 0xDEADBEEF);  // maximum fields and the reserved byte are not read
  payload::StoreU32(b.data() + 8, 0xFFFFFFFF);
  b[12] = static_cast<std::uint8_t>(title.size());
  b[13] = static_cast<std::uint8_t>(program.size());
  b[14] = static_cast<std::uint8_t>(args.size());
  b[15] = 0x5A;
  const std::string texts = title + program + args;
  b.insert(b.end(), texts.begin(), texts.end());
  if (sizeDelta > 0) b.insert(b.end(), static_cast<std::size_t>(sizeDelta), 'z');
  if (sizeDelta < 0) b.resize(b.size() - static_cast<std::size_t>(-sizeDelta));
  return b;
}

struct Read {
  bool ok;
  payload::SetupHeader header;
  std::string title, program, arguments;
};

Read ReadWith(const std::vector<std::uint8_t>& setup) {
  test::TestPayload payload;
  payload.SetupRaw(setup);
  payload.Install();
  Read r{};
  char title[launcher::kTitleBytes], program[launcher::kProgramNameBytes], args[launcher::kArgumentsBytes];
  // Filled, so that a text left without its terminator shows.
  std::memset(title, 'x', sizeof title);
  std::memset(program, 'x', sizeof program);
  std::memset(args, 'x', sizeof args);
  r.ok = launcher::ReadSetupRecord(payload.records(), &r.header, title, program, args);
  if (r.ok) {
    r.title = title;
    r.program = program;
    r.arguments = args;
  }
  return r;
}

TEST(SetupRecord, ReadsCountAndTexts) {
  const Read r = ReadWith(SetupBytes("Product", "bin\\sub/setup.exe", "-x \"y\""));
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.header.fileCount, 3u);
  EXPECT_EQ(r.title, "Product");
  // Either separator becomes the platform's.
  const char sep = platform::kPathSeparator;
  EXPECT_EQ(r.program, std::string("bin") + sep + "sub" + sep + "setup.exe");
  EXPECT_EQ(r.arguments, "-x \"y\"");
  const Read empty = ReadWith(SetupBytes("", "", ""));
  ASSERT_TRUE(empty.ok);
  EXPECT_EQ(empty.title, "");
}

TEST(SetupRecord, LongTitleIsCutTo31BytesButCountsInFull) {
  const std::string title(40, 'T');
  const Read r = ReadWith(SetupBytes(title, "p", "a"));
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.title, title.substr(0, 31));
  EXPECT_EQ(r.program, "p");
  EXPECT_EQ(r.arguments, "a");
  const std::string longest(255, 'a');
  const Read full = ReadWith(SetupBytes(longest, longest, longest));
  ASSERT_TRUE(full.ok);
  EXPECT_EQ(full.program, longest);
  EXPECT_EQ(full.arguments, longest);
}

TEST(SetupRecord, RejectsWrongSizesAndUnsafePrograms) {
  EXPECT_FALSE(ReadWith(SetupBytes("t", "p", "a", +1)).ok);
  EXPECT_FALSE(ReadWith(SetupBytes("t", "p", "a", -1)).ok);
  EXPECT_FALSE(ReadWith(std::vector<std::uint8_t>(15, 0)).ok);
  EXPECT_TRUE(ReadWith(std::vector<std::uint8_t>(16, 0)).ok);
  EXPECT_FALSE(ReadWith(SetupBytes("t", "../setup", "")).ok);  // a program outside the folder
  // No setup record at all.
  std::vector<std::uint8_t> noSetup(32, 0);  // not even an image
  payload::PayloadImage none;
  EXPECT_FALSE(none.Open(noSetup.data(), noSetup.size()));
  char t[32], p[256], a[256];
  payload::SetupHeader h;
  EXPECT_FALSE(launcher::ReadSetupRecord(none, &h, t, p, a));
}

}  // namespace
}  // namespace sfx
