#include <gtest/gtest.h>

#include <string>

#include "services/locator/url_service.h"
#include "tests/services/locator/url_test_support.h"

namespace sfx {
namespace {

using test::Convert;

// ---- paths to URLs ----

TEST(PathToFileUrl, NativePaths) {
  EXPECT_EQ(Convert(&UrlService::NativePathToFileUrl, "C:\\Program Files\\a.txt"),
            "file:///C%3A/Program%20Files/a.txt");
  EXPECT_EQ(Convert(&UrlService::NativePathToFileUrl, "\\\\server\\share\\x"), "file://server/share/x");
  EXPECT_EQ(Convert(&UrlService::NativePathToFileUrl, "\\\\"), "file://///");  // two bytes: not a server
  EXPECT_EQ(Convert(&UrlService::NativePathToFileUrl, "a/b\\c"), "file:///a/b/c");
  EXPECT_EQ(Convert(&UrlService::NativePathToFileUrl, ""), "file:///");
  EXPECT_EQ(Convert(&UrlService::PathToFileUrl, "C:\\x"), "file:///C%3A/x");
}

TEST(PathToFileUrl, EscapeSet) {
  const std::string kept = "azAZ09!'()*-._~";
  EXPECT_EQ(Convert(&UrlService::SlashPathToFileUrl, "/" + kept), "file:///" + kept);
  EXPECT_EQ(Convert(&UrlService::SlashPathToFileUrl, "/ \"#$%&+,:;<=>?@[\\]^`{|}"),
            "file:///%20%22%23%24%25%26%2B%2C%3A%3B%3C%3D%3E%3F%40%5B%5C%5D%5E%60%7B%7C%7D");
  EXPECT_EQ(Convert(&UrlService::SlashPathToFileUrl, std::string("/\x01\x1F\x7F\x80\xFF", 6)),
            "file:///%01%1F%7F%80%FF");
  EXPECT_EQ(Convert(&UrlService::SlashPathToFileUrl, std::string("/\0", 2)), "file:///%00");
}

TEST(PathToFileUrl, ColonAndSlashPaths) {
  EXPECT_EQ(Convert(&UrlService::ColonPathToFileUrl, "Disk:Folder:a/b"), "file:///Disk/Folder/a%2Fb");
  EXPECT_EQ(Convert(&UrlService::SlashPathToFileUrl, "/usr/a b"), "file:///usr/a%20b");
  EXPECT_EQ(Convert(&UrlService::SlashPathToFileUrl, "rel/x"), "file:///rel/x");
  EXPECT_EQ(Convert(&UrlService::SlashPathToFileUrl, ""), "file:///");
}

// ---- URLs to paths ----

TEST(FileUrlToPath, NativePaths) {
  EXPECT_EQ(Convert(&UrlService::FileUrlToNativePath, "file:///C%3A/Program%20Files/a.txt"),
            "C:\\Program Files\\a.txt");
  EXPECT_EQ(Convert(&UrlService::FileUrlToNativePath, "FILE:///c%3a/x"), "c:\\x");  // either case
  EXPECT_EQ(Convert(&UrlService::FileUrlToNativePath, "file://server/share/x"), "\\\\server\\share\\x");
  EXPECT_EQ(Convert(&UrlService::FileUrlToNativePath, "file://"), "");
  EXPECT_EQ(Convert(&UrlService::FileUrlToNativePath, "file:///"), "");
  EXPECT_EQ(Convert(&UrlService::FileUrlToNativePath, "file:///a%2x%%41%4"), "a%2x%A%4");  // broken escapes stay
}

TEST(FileUrlToPath, ColonAndSlashPaths) {
  EXPECT_EQ(Convert(&UrlService::FileUrlToColonPath, "file:///Disk/Folder/a%2Fb"), "Disk:Folder:a/b");
  EXPECT_EQ(Convert(&UrlService::FileUrlToSlashPath, "file:///usr/a%20b"), "/usr/a b");
  EXPECT_EQ(Convert(&UrlService::FileUrlToSlashPath, "file:///~/notes"), "~/notes");
  EXPECT_EQ(Convert(&UrlService::FileUrlToSlashPath, "file://"), "");
}

TEST(FileUrlToPath, GenericOperationDropsTheQuery) {
  EXPECT_EQ(Convert(&UrlService::FileUrlToPath, "file:///C%3A/x?version=2"), "C:\\x");
  EXPECT_EQ(Convert(&UrlService::FileUrlToPath, "file:///C%3A/x?"), "C:\\x");
  EXPECT_EQ(Convert(&UrlService::FileUrlToPath, "file:///C%3A/x%3Fy"), "C:\\x?y");
  Result r = kOk;
  Convert(&UrlService::FileUrlToPath, std::string(kUrlMaxLength + 1, 'f'), &r);
  EXPECT_EQ(r, kUrlTooLong);
}

TEST(FileUrlToPath, NotAFileUrl) {
  for (auto op : {&UrlService::FileUrlToNativePath, &UrlService::FileUrlToColonPath, &UrlService::FileUrlToSlashPath,
                  &UrlService::FileUrlToPath}) {
    for (const char* text : {"http://x/y", "file:/", "file:", "", "fil://"}) {
      Result r = kOk;
      Convert(op, text, &r);
      EXPECT_EQ(r, kUrlNotFileUrl) << text;
    }
  }
}

// Every path comes back from its URL; native separators come back as
// backslashes.
TEST(FileUrlRoundTrip, EveryByteSurvives) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string native = "C:\\" + all;
  std::string expected = native;
  for (auto& c : expected)
    if (c == '/') c = '\\';
  EXPECT_EQ(Convert(&UrlService::FileUrlToNativePath, Convert(&UrlService::NativePathToFileUrl, native)), expected);
  EXPECT_EQ(Convert(&UrlService::FileUrlToColonPath, Convert(&UrlService::ColonPathToFileUrl, "D:" + all)), "D:" + all);
  EXPECT_EQ(Convert(&UrlService::FileUrlToSlashPath, Convert(&UrlService::SlashPathToFileUrl, "/" + all)), "/" + all);
  EXPECT_EQ(Convert(&UrlService::FileUrlToNativePath, Convert(&UrlService::NativePathToFileUrl, "\\\\srv\\s")),
            "\\\\srv\\s");
}

}  // namespace
}  // namespace sfx
