// The setup program's command line: built with its path quoted when needed,
// and split back into arguments as a Windows program would.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "launcher/launcher.h"
#include "platform/command_line.h"

namespace sfx {
namespace {

std::vector<std::string> Split(const std::string& line) {
  std::vector<char> storage(line.size() + 1);
  char* arguments[32];
  const std::size_t count = platform::SplitCommandLine(line.c_str(), storage.data(), arguments, 32);
  std::vector<std::string> out;
  for (std::size_t i = 0; i < count && i < 32; ++i) out.emplace_back(arguments[i]);
  return out;
}

using Args = std::vector<std::string>;

TEST(CommandLine, SplitsLikeWindowsStartUpCode) {
  EXPECT_EQ(Split("prog a b"), (Args{"prog", "a", "b"}));
  EXPECT_EQ(Split("prog "), (Args{"prog"}));
  EXPECT_EQ(Split("prog \t a\t\tb  "), (Args{"prog", "a", "b"}));
  EXPECT_EQ(Split("\"C:\\Program Files\\x.exe\" a"), (Args{"C:\\Program Files\\x.exe", "a"}));
  // The program's own backslashes are never escapes.
  EXPECT_EQ(Split("C:\\dir\\\"x y\" 1"), (Args{"C:\\dir\\x y", "1"}));
  EXPECT_EQ(Split("p \"a b\" c"), (Args{"p", "a b", "c"}));
  EXPECT_EQ(Split("p a\\\\b"), (Args{"p", "a\\\\b"}));
  EXPECT_EQ(Split("p a\\\"b"), (Args{"p", "a\"b"}));
  EXPECT_EQ(Split("p a\\\\\"b c\""), (Args{"p", "a\\b c"}));
  EXPECT_EQ(Split("p a\\\\\\\"b"), (Args{"p", "a\\\"b"}));
  EXPECT_EQ(Split("p \"\""), (Args{"p", ""}));
  EXPECT_EQ(Split("p \"a\"\"b\" c"), (Args{"p", "a\"b", "c"}));
  EXPECT_EQ(Split("p x\"y z\"w"), (Args{"p", "xy zw"}));
  EXPECT_EQ(Split(""), (Args{}));
}

TEST(CommandLine, CountsArgumentsBeyondCapacity) {
  std::string line = "p";
  for (int i = 0; i < 40; ++i) line += " a";
  std::vector<char> storage(line.size() + 1);
  char* arguments[4];
  EXPECT_EQ(platform::SplitCommandLine(line.c_str(), storage.data(), arguments, 4), 41u);
  EXPECT_STREQ(arguments[3], "a");
}

TEST(CommandLine, ProgramPathIsQuotedOnlyWithSpacesOrTabs) {
  char line[64];
  ASSERT_TRUE(launcher::BuildCommandLine("/tmp/spk1.tmp/setup", "", line, sizeof line));
  EXPECT_STREQ(line, "/tmp/spk1.tmp/setup ");
  ASSERT_TRUE(launcher::BuildCommandLine("C:\\My Temp\\spk1.tmp\\setup.exe", "-a \"b c\"", line, sizeof line));
  EXPECT_STREQ(line, "\"C:\\My Temp\\spk1.tmp\\setup.exe\" -a \"b c\"");
  // The program's own arguments survive a path with spaces.
  EXPECT_EQ(Split(line), (Args{"C:\\My Temp\\spk1.tmp\\setup.exe", "-a", "b c"}));
  ASSERT_TRUE(launcher::BuildCommandLine("a\tb", "x", line, sizeof line));
  EXPECT_EQ(Split(line), (Args{"a\tb", "x"}));
  EXPECT_FALSE(launcher::BuildCommandLine("program", "arguments", line, 17));
  EXPECT_TRUE(launcher::BuildCommandLine("program", "arguments", line, 18));
}

}  // namespace
}  // namespace sfx
