// Joining paths, and which payload names may be used at all.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "launcher/form_path.h"
#include "payload/names.h"
#include "platform/file.h"

namespace sfx {
namespace {

using launcher::FormPath;

std::string Sep(const char* withBackslashes) {
  std::string s = withBackslashes;
  for (char& c : s) {
    if (c == '\\') c = platform::kPathSeparator;
  }
  return s;
}

TEST(FormPath, NeedsBaseEachPartWithItsSeparatorAndTheZero) {
  char out[16];
  std::memset(out, '#', sizeof out);
  std::uint32_t needed = 0;
  // 4 + 1 + 1 + 1: capacity 6 fails, reports 7 and writes nothing.
  EXPECT_EQ(FormPath(out, 6, "base", "x", nullptr, nullptr, nullptr, &needed), 0);
  EXPECT_EQ(needed, 7u);
  EXPECT_EQ(out[0], '#');
  EXPECT_EQ(FormPath(out, 7, "base", "x", nullptr, nullptr, nullptr, &needed), 1);
  EXPECT_EQ(std::string(out), Sep("base\\x"));
  EXPECT_EQ(FormPath(out, 7, "base", "x", nullptr, nullptr, nullptr, nullptr), 1);
}

TEST(FormPath, JoinsWithoutNormalising) {
  char out[64];
  std::uint32_t needed = 0;
  // Null parts are skipped; an empty part still adds its separator.
  ASSERT_EQ(FormPath(out, sizeof out, "a", nullptr, "", "b", nullptr, &needed), 1);
  EXPECT_EQ(std::string(out), Sep("a\\\\b"));
  EXPECT_EQ(needed, 1u + 1 + 2 + 1);
  // A base with its own trailing separator gets a second one.
  ASSERT_EQ(FormPath(out, sizeof out, "dir\\", "..\\x"), 1);
  EXPECT_EQ(std::string(out), std::string("dir\\") + platform::kPathSeparator + "..\\x");
  ASSERT_EQ(FormPath(out, sizeof out, "", nullptr, nullptr, nullptr, nullptr, &needed), 1);
  EXPECT_EQ(std::string(out), "");
  EXPECT_EQ(needed, 1u);
}

TEST(EntryNames, PlainRelativeNamesAreSafe) {
  for (const char* name : {"a", "setup.exe", "sub/", "sub\\", "sub/file.txt", "a\\b/c.d", "..a", "a..", ".profile",
                           "console", "conx.d", "com10", "lpt", "x y"}) {
    EXPECT_TRUE(payload::IsSafeEntryName(name, static_cast<std::uint32_t>(std::strlen(name)))) << name;
  }
}

TEST(EntryNames, NamesThatReachOutsideTheFolderAreRefused) {
  for (const char* name :
       {"..",    "../x",  "a/../../x",       "a\\..\\x", "..\\", "/etc/passwd", "\\x", "\\\\server\\share",
        "C:\\x", "C:x",   "file.txt:stream", ".",        "./x",  "a/./b",       "...", ". .",
        "a//b",  "a/\\b", "sub//",           "/"}) {
    for (const bool devices : {false, true})
      EXPECT_FALSE(payload::IsSafeEntryName(name, static_cast<std::uint32_t>(std::strlen(name)), devices)) << name;
  }
  // Device names are refused only where they are devices.
  for (const char* name : {"CON", "con.d", "nul.txt", "sub/Aux", "COM1", "lpt9.log", "PRN ", "conout$", "src/aux.c"}) {
    const auto length = static_cast<std::uint32_t>(std::strlen(name));
    EXPECT_FALSE(payload::IsSafeEntryName(name, length, true)) << name;
    EXPECT_TRUE(payload::IsSafeEntryName(name, length, false)) << name;
  }
  const char withZero[] = {'a', '\0', 'b'};
  EXPECT_FALSE(payload::IsSafeEntryName(withZero, 3));
  EXPECT_FALSE(payload::IsSafeEntryName("", 0));
}

}  // namespace
}  // namespace sfx
