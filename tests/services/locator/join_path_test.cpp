#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "services/locator/url_service.h"

namespace sfx {
namespace {

TEST(JoinPath, AddsABackslashOnlyWhenMissing) {
  char buffer[64];
  ASSERT_EQ(Urls()->JoinPath("C:\\dir", "file.txt", buffer, sizeof buffer), kOk);
  EXPECT_STREQ(buffer, "C:\\dir\\file.txt");
  ASSERT_EQ(Urls()->JoinPath("C:\\dir\\", "file.txt", buffer, sizeof buffer), kOk);
  EXPECT_STREQ(buffer, "C:\\dir\\file.txt");
  // A final slash is not a separator here.
  ASSERT_EQ(Urls()->JoinPath("C:/dir/", "f", buffer, sizeof buffer), kOk);
  EXPECT_STREQ(buffer, "C:/dir/\\f");
  ASSERT_EQ(Urls()->JoinPath("", "f", buffer, sizeof buffer), kOk);
  EXPECT_STREQ(buffer, "f");
  ASSERT_EQ(Urls()->JoinPath("d", "", buffer, sizeof buffer), kOk);
  EXPECT_STREQ(buffer, "d\\");
}

TEST(JoinPath, RefusesWhatDoesNotFitWithTheTerminator) {
  char buffer[8];
  // "abc\def" plus the terminator is exactly 8 bytes.
  ASSERT_EQ(Urls()->JoinPath("abc", "def", buffer, 8), kOk);
  EXPECT_STREQ(buffer, "abc\\def");
  EXPECT_EQ(Urls()->JoinPath("abc", "defg", buffer, 8), kUrlTooLong);
  EXPECT_EQ(Urls()->JoinPath("abcdefgh", "", buffer, 8), kUrlTooLong);  // the folder alone
  EXPECT_EQ(Urls()->JoinPath("", "abcdefgh", buffer, 8), kUrlTooLong);  // the name alone
  EXPECT_EQ(Urls()->JoinPath("", "", buffer, 0), kUrlTooLong);
}

TEST(JoinPathParts, NeededSizeCountsEverySeparatorAndTheTerminator) {
  char buffer[16];
  std::memset(buffer, 'x', sizeof buffer);
  std::uint32_t needed = 0;
  // A 4-byte base and one 1-byte part need 7 bytes.
  EXPECT_EQ(Urls()->JoinPathParts(buffer, 6, "base", "p", nullptr, nullptr, nullptr, &needed), kFail);
  EXPECT_EQ(needed, 7u);
  EXPECT_EQ(buffer[0], 'x');  // untouched on failure
  ASSERT_EQ(Urls()->JoinPathParts(buffer, 7, "base", "p", nullptr, nullptr, nullptr, &needed), kOk);
  EXPECT_STREQ(buffer, "base\\p");
  EXPECT_EQ(needed, 7u);
}

TEST(JoinPathParts, NullPartsAreSkippedEmptyOnesKeepTheirSeparator) {
  char buffer[32];
  std::uint32_t needed = 0;
  ASSERT_EQ(Urls()->JoinPathParts(buffer, 32, "C:\\", "a", nullptr, "", "b.txt", &needed), kOk);
  EXPECT_STREQ(buffer, "C:\\\\a\\\\b.txt");  // no normalisation: the base's backslash doubles
  EXPECT_EQ(needed, 13u);
  ASSERT_EQ(Urls()->JoinPathParts(buffer, 32, "only", nullptr, nullptr, nullptr, nullptr, nullptr), kOk);
  EXPECT_STREQ(buffer, "only");
}

}  // namespace
}  // namespace sfx
