#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "services/locator/url_service.h"
#include "tests/services/locator/url_test_support.h"

namespace sfx {
namespace {

using test::FullPath;

std::string Native(const char* base, const std::string& path, Result* r = nullptr) {
  return FullPath(&UrlService::MakeNativeFullPath, base, path, r);
}

TEST(NativeFullPath, AbsolutePathsAreNormalisedAlone) {
  EXPECT_EQ(Native("D:\\ignored", "C:\\a\\.\\b\\..\\c\\"), "C:\\a\\c");
  EXPECT_EQ(Native(nullptr, "C:/a//b/"), "C:\\a\\b");
  EXPECT_EQ(Native(nullptr, "C:\\"), "C:\\");  // a drive root keeps its separator
  EXPECT_EQ(Native(nullptr, "c:\\a\\.."), "c:\\");
  EXPECT_EQ(Native(nullptr, "C:\\..\\..\\x"), "C:\\..\\..\\x");  // markers above the root stay
  EXPECT_EQ(Native(nullptr, "\\\\server\\share\\a\\..\\b"), "\\\\server\\share\\b");
  EXPECT_EQ(Native(nullptr, "\\\\server\\share\\..\\b"), "\\\\server\\share\\..\\b");  // the share is root
  EXPECT_EQ(Native(nullptr, "//server/share/x/"), "\\\\server\\share\\x");
  EXPECT_EQ(Native(nullptr, "\\\\server"), "\\\\server");
}

TEST(NativeFullPath, RelativePathsClimbIntoTheBase) {
  EXPECT_EQ(Native("C:\\base\\dir", "x\\y"), "C:\\base\\dir\\x\\y");
  EXPECT_EQ(Native("C:\\base\\dir\\", "..\\x"), "C:\\base\\x");
  EXPECT_EQ(Native("C:\\base", "..\\..\\..\\x"), "C:\\..\\..\\x");
  EXPECT_EQ(Native("C:\\base", "."), "C:\\base");
  EXPECT_EQ(Native("C:\\base", ".."), "C:\\");
  EXPECT_EQ(Native("C:\\base", ""), "C:\\base");
  EXPECT_EQ(Native("\\\\srv\\sh\\d", "..\\..\\x"), "\\\\srv\\sh\\..\\x");
  EXPECT_EQ(Native("C:\\base\\dir", "\\x"), "C:\\x");   // root-relative keeps the drive only
  EXPECT_EQ(Native("rel\\dir", "..\\x"), "rel\\x");     // a relative base stays relative
  EXPECT_EQ(Native("C:\\base", "c:x"), "C:\\base\\x");  // same drive: from the base
  EXPECT_EQ(Native("C:\\base", "D:x"), "D:\\x");        // another drive: from its root
}

TEST(NativeFullPath, WithoutABaseStartsAtTheCurrentFolder) {
  const std::string here = Native(nullptr, ".");
  ASSERT_FALSE(here.empty());
  EXPECT_EQ(Native(nullptr, "sub\\..\\x.txt"), (here.back() == '\\' ? here : here + "\\") + "x.txt");
  // The platform's folder, whatever its own syntax, comes out with backslashes.
  std::string expected = std::filesystem::current_path().string();
  for (auto& c : expected)
    if (c == '/') c = '\\';
  EXPECT_EQ(here, expected);
}

TEST(NativeFullPath, NoCurrentFolder) {
  namespace fs = std::filesystem;
  const fs::path saved = fs::current_path();
  const fs::path doomed = fs::temp_directory_path() / "sfx_full_path_gone";
  fs::create_directories(doomed);
  fs::current_path(doomed);
  std::error_code ec;
  fs::remove(doomed, ec);  // a folder in use cannot be removed on every system
  if (ec || fs::exists(doomed)) {
    fs::current_path(saved);
    fs::remove(doomed, ec);
    GTEST_SKIP() << "the current folder cannot be removed here";
  }
  char buffer[64];
  std::uint32_t capacity = sizeof buffer;
  const Result r = Urls()->MakeNativeFullPath(nullptr, 0, "x", 1, buffer, &capacity);
  fs::current_path(saved);
  EXPECT_EQ(r, kUrlNoFullPath);
  EXPECT_EQ(capacity, 0u);
}

// The old behaviour to avoid: success with an unwritten buffer, or a silently
// missing separator, when the buffer is short. Every length below the result
// is refused with the exact size.
TEST(NativeFullPath, ShortBuffersAreRefusedWithTheSizeNeeded) {
  const std::string path = "x\\y";
  for (std::uint32_t room = 0; room < 13; ++room) {
    char buffer[16];
    std::uint32_t capacity = room;
    const Result r = Urls()->MakeNativeFullPath("C:\\base", 7, path.data(), 3, buffer, &capacity);
    if (room < 11) {
      EXPECT_EQ(r, kUrlBufferTooSmall) << room;
      EXPECT_EQ(capacity, 11u);
    } else {
      EXPECT_EQ(r, kOk);
      EXPECT_EQ(std::string(buffer, capacity), "C:\\base\\x\\y");
    }
  }
  char buffer[8];
  std::uint32_t capacity = 4;
  EXPECT_EQ(Urls()->MakeNativeFullPath(nullptr, 0, "x", 1, buffer, &capacity), kUrlBufferTooSmall);
  EXPECT_GT(capacity, 4u);
}

TEST(NativeFullPath, SharedSlot) { EXPECT_EQ(FullPath(&UrlService::MakeFullPath, "C:\\b", "..\\c"), "C:\\c"); }

TEST(ColonFullPath, VolumesAndParentMarkers) {
  const auto colon = &UrlService::MakeColonFullPath;
  EXPECT_EQ(FullPath(colon, nullptr, "Disk:a:b:"), "Disk:a:b");
  EXPECT_EQ(FullPath(colon, nullptr, "Disk:a::b"), "Disk:b");  // an empty segment is the parent
  EXPECT_EQ(FullPath(colon, "Disk:a:b", ":c"), "Disk:a:b:c");
  EXPECT_EQ(FullPath(colon, "Disk:a:b", "::c"), "Disk:a:c");
  EXPECT_EQ(FullPath(colon, "Disk:a", ":::::c"), "Disk::::c");  // left-over markers stay after the volume
  EXPECT_EQ(FullPath(colon, ":rel", ":x"), ":rel:x");
  EXPECT_EQ(FullPath(colon, "Disk", ":"), "Disk");
  Result r = kOk;
  FullPath(colon, nullptr, ":relative", &r);
  EXPECT_EQ(r, kUrlColonPathNeedsBase);
}

TEST(SlashFullPath, RootAndRelative) {
  const auto slash = &UrlService::MakeSlashFullPath;
  EXPECT_EQ(FullPath(slash, nullptr, "/a/./b/../c/"), "/a/c");
  EXPECT_EQ(FullPath(slash, nullptr, "/"), "/");
  EXPECT_EQ(FullPath(slash, nullptr, "/.."), "/..");
  EXPECT_EQ(FullPath(slash, "/home/u", "../v/x"), "/home/v/x");
  EXPECT_EQ(FullPath(slash, "/home/u", "../../../x"), "/../x");
  EXPECT_EQ(FullPath(slash, "base", "x\\y"), "base/x\\y");  // a backslash is a name byte here
  Result r = kOk;
  FullPath(slash, nullptr, "relative", &r);
  EXPECT_EQ(r, kUrlSlashPathNeedsBase);
}

}  // namespace
}  // namespace sfx
