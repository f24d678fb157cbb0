// Finding the launcher's own file along PATH, the last resort where /proc is
// missing and the kernel's record of the path does not help.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/file.h"
#include "platform/program_path.h"

namespace sfx::platform {
namespace {

namespace fs = std::filesystem;

class ProgramOnPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (kPathSeparator == '\\') GTEST_SKIP() << "Windows always knows the module's file";
    root_ = fs::temp_directory_path() / ("sfx_program_path_" + std::to_string(std::random_device()()));
    for (const char* d : {"folder", "plain", "exec", "other"}) fs::create_directories(root_ / d);
    fs::create_directories(root_ / "folder" / "tool");  // a folder of that name
    Touch(root_ / "plain" / "tool", false);             // a file that cannot run
    Touch(root_ / "exec" / "tool", true);
    Touch(root_ / "other" / "tool", true);
    previous_ = fs::current_path();
  }
  void TearDown() override {
    if (root_.empty()) return;
    fs::current_path(previous_);
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  static void Touch(const fs::path& path, bool executable) {
    std::ofstream(path) << "#!/bin/sh\n";
    fs::permissions(path, executable ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write);
  }
  std::string Dir(const char* name) const { return (root_ / name).string(); }

  fs::path root_, previous_;
};

TEST_F(ProgramOnPathTest, SearchesLikeAShell) {
  const std::string exec = (root_ / "exec" / "tool").string();
  struct Case {
    const char* name;
    std::string path;
    std::string expected;
  };
  const Case cases[] = {
      // Folders and files that cannot run are passed over; the first that can wins.
      {"tool", Dir("folder") + ":" + Dir("plain") + ":" + Dir("exec") + ":" + Dir("other"), exec},
      {"tool", Dir("plain"), ""},
      {"tool", "", ""},  // an empty PATH is the current folder, here the root: no tool there
      {"tool", std::string(":").append(Dir("exec")), exec},
      {"missing", Dir("exec"), ""},
      {"", Dir("exec"), ""},
      // With a slash the name is a path, relative to the current folder; PATH plays no part.
      {"exec/tool", Dir("other"), exec},
      {"./exec/tool", "", root_.string() + "/./exec/tool"},
      {"plain/tool", Dir("exec"), ""},
  };
  fs::current_path(root_);
  for (const Case& c : cases)
    EXPECT_EQ(ProgramOnPath(c.name, c.path.c_str()), c.expected) << c.name << " in " << c.path;
  EXPECT_EQ(ProgramOnPath("tool", nullptr), "");
  EXPECT_EQ(ProgramOnPath(nullptr, Dir("exec").c_str()), "");
  // An empty element in the middle is the current folder too.
  fs::current_path(root_ / "exec");
  EXPECT_EQ(ProgramOnPath("tool", (Dir("plain") + "::" + Dir("other")).c_str()), exec);
}

TEST(OwnProgramPath, NamesThisRunningProgram) {
  const std::string self = OwnProgramPath();
  ASSERT_FALSE(self.empty());
  EXPECT_TRUE(std::filesystem::is_regular_file(self)) << self;
}

}  // namespace
}  // namespace sfx::platform
