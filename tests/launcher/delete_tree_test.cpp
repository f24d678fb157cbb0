// Deleting the temporary folder: depth first, and never through a link.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "launcher/delete_tree.h"
#include "tests/launcher/launcher_fixture.h"

namespace sfx {
namespace {

namespace fs = std::filesystem;

void Touch(const fs::path& p, const std::string& content = "x") { std::ofstream(p, std::ios::binary) << content; }

TEST(DeleteTree, RemovesNestedFoldersAndFiles) {
  test::ScratchDir scratch;
  const fs::path root = scratch.path() / "spk1.tmp";
  fs::create_directories(root / "a" / "b" / "c");
  fs::create_directories(root / "empty");
  Touch(root / "top.txt");
  Touch(root / "a" / "one");
  Touch(root / "a" / "b" / "c" / "deep");
  EXPECT_EQ(launcher::DeleteTree(root.string().c_str()), 1);
  EXPECT_FALSE(fs::exists(root));
  EXPECT_TRUE(fs::exists(scratch.path()));
}

TEST(DeleteTree, MissingFolderIsNoFailure) {
  test::ScratchDir scratch;
  EXPECT_EQ(launcher::DeleteTree((scratch.path() / "none").string().c_str()), 1);
  // A folder whose search pattern cannot be formed is not touched.
  const std::string tooLong(258, 'x');
  EXPECT_EQ(launcher::DeleteTree(tooLong.c_str()), 0);
}

TEST(DeleteTree, LinksAreRemovedNotFollowed) {
  test::ScratchDir scratch;
  const fs::path outside = scratch.path() / "outside";
  fs::create_directories(outside / "kept");
  Touch(outside / "precious.txt");
  const fs::path root = scratch.path() / "spk2.tmp";
  fs::create_directories(root / "sub");
  std::error_code error;
  fs::create_directory_symlink(outside, root / "sub" / "link", error);
  if (error) GTEST_SKIP() << "no folder links here: " << error.message();
  fs::create_symlink(outside / "precious.txt", root / "file-link", error);
  ASSERT_FALSE(error);
  EXPECT_EQ(launcher::DeleteTree(root.string().c_str()), 1);
  EXPECT_FALSE(fs::exists(fs::symlink_status(root)));
  EXPECT_TRUE(fs::exists(outside / "precious.txt"));
  EXPECT_TRUE(fs::is_directory(outside / "kept"));
}

}  // namespace
}  // namespace sfx
