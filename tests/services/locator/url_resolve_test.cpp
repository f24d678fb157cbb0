#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "services/locator/url_service.h"
#include "tests/services/locator/url_test_support.h"

namespace sfx {
namespace {

using test::Resolve;
using test::Size;

// ---- reference resolution ----

struct Example {
  const char* reference;
  const char* standard;  // RFC 3986 section 5.4
  const char* ours;      // where this service answers differently, else null
};

// RFC 3986 section 5.4.1 and 5.4.2, base "http://a/b/c/d;p?q".
const Example kExamples[] = {
    {"g:h", "g:h", nullptr},
    {"g", "http://a/b/c/g", nullptr},
    {"./g", "http://a/b/c/g", nullptr},
    {"g/", "http://a/b/c/g/", nullptr},
    {"/g", "http://a/g", nullptr},
    {"//g", "http://g", nullptr},
    {"?y", "http://a/b/c/d;p?y", nullptr},
    {"g?y", "http://a/b/c/g?y", nullptr},
    {"#s", "http://a/b/c/d;p?q#s", nullptr},
    {"g#s", "http://a/b/c/g#s", nullptr},
    {"g?y#s", "http://a/b/c/g?y#s", nullptr},
    {";x", "http://a/b/c/;x", nullptr},
    {"g;x", "http://a/b/c/g;x", nullptr},
    {"g;x?y#s", "http://a/b/c/g;x?y#s", nullptr},
    {"", "http://a/b/c/d;p?q", nullptr},
    {".", "http://a/b/c/", nullptr},
    {"./", "http://a/b/c/", nullptr},
    {"..", "http://a/b/", nullptr},
    {"../", "http://a/b/", nullptr},
    {"../g", "http://a/b/g", nullptr},
    {"../..", "http://a/", nullptr},
    {"../../", "http://a/", nullptr},
    {"../../g", "http://a/g", nullptr},
    {"../../../g", "http://a/g", "http://a/../g"},
    {"../../../../g", "http://a/g", "http://a/../../g"},
    {"/./g", "http://a/g", "http://a/./g"},
    {"/../g", "http://a/g", "http://a/../g"},
    {"g.", "http://a/b/c/g.", nullptr},
    {".g", "http://a/b/c/.g", nullptr},
    {"g..", "http://a/b/c/g..", nullptr},
    {"..g", "http://a/b/c/..g", nullptr},
    {"./../g", "http://a/b/g", nullptr},
    {"./g/.", "http://a/b/c/g/", nullptr},
    {"g/./h", "http://a/b/c/g/h", nullptr},
    {"g/../h", "http://a/b/c/h", nullptr},
    {"g;x=1/./y", "http://a/b/c/g;x=1/y", nullptr},
    {"g;x=1/../y", "http://a/b/c/y", nullptr},
    {"g?y/./x", "http://a/b/c/g?y/./x", nullptr},
    {"g?y/../x", "http://a/b/c/g?y/../x", nullptr},
    {"g#s/./x", "http://a/b/c/g#s/./x", nullptr},
    {"g#s/../x", "http://a/b/c/g#s/../x", nullptr},
    {"http:g", "http:g", nullptr},
};

TEST(ResolveUrl, ReferenceExamples) {
  for (const auto& e : kExamples) {
    EXPECT_EQ(Resolve("http://a/b/c/d;p?q", e.reference), e.ours != nullptr ? e.ours : e.standard) << e.reference;
  }
}

TEST(ResolveUrl, SchemeOrEmptyBaseTakesTheReferenceAsItStands) {
  EXPECT_EQ(Resolve("http://a/b", "ftp://x/../y"), "ftp://x/../y");
  EXPECT_EQ(Resolve("", "../x#f"), "../x#f");
  EXPECT_EQ(Resolve("http://a/b?q#f", ""), "http://a/b?q");
}

TEST(ResolveUrl, MergingPaths) {
  EXPECT_EQ(Resolve("http://a/b", "../c"), "http://a/../c");    // the ".." stays at the front
  EXPECT_EQ(Resolve("http://a", "b/../c"), "http://a/b/../c");  // an empty base path takes the reference whole
  EXPECT_EQ(Resolve("http://a/b//c", "../d"), "http://a/b/d");  // an empty segment is a segment
  EXPECT_EQ(Resolve("http://a/b/c", "./"), "http://a/b/");
  EXPECT_EQ(Resolve("http://a/b/c", "d/.."), "http://a/b/");
  EXPECT_EQ(Resolve("http://a/b/c", "../../../"), "http://a/../../");
  EXPECT_EQ(Resolve("http://a/b/c?q#f", "#g"), "http://a/b/c?q#g");
  EXPECT_EQ(Resolve("http://a/b/c?q#f", "?r"), "http://a/b/c?r");
}

// Only a base with an authority brings "//" into the result.
TEST(ResolveUrl, NoAuthorityIsInventedForBasesWithout) {
  EXPECT_EQ(Resolve("mailto:a@b", ""), "mailto:a@b");
  EXPECT_EQ(Resolve("a/b", "c"), "a/c");
  EXPECT_EQ(Resolve("news:comp.lang.c", "#x"), "news:comp.lang.c#x");
  EXPECT_EQ(Resolve("urn:a/b/c", "../d"), "urn:a/d");
  EXPECT_EQ(Resolve("urn:a", "b"), "urn:b");
  EXPECT_EQ(Resolve("file:///x", ""), "file:///x");
  EXPECT_EQ(Resolve("file:///dir/x", "y"), "file:///dir/y");
  EXPECT_EQ(Resolve("file:///dir/x", "//server/share"), "file://server/share");
}

TEST(ResolveUrl, PasswordSurvivesAnEmptyUser) {
  EXPECT_EQ(Resolve("http://:pw@h/p", ""), "http://:pw@h/p");
  EXPECT_EQ(Resolve("http://:pw@h/p", "q"), "http://:pw@h/q");
  EXPECT_EQ(Resolve("http://u:@h/p", ""), "http://u:@h/p");
  EXPECT_EQ(Resolve("http://@h/p", ""), "http://h/p");
}

TEST(ResolveUrl, OutputParts) {
  const std::string base = "http://a/b/c", relative = "d?x#y";
  UrlParts supplied, out;
  ASSERT_EQ(Urls()->ParseUrl(base.data(), Size(base), &supplied), kOk);
  char buffer[64];
  std::uint32_t capacity = sizeof buffer;
  ASSERT_EQ(
      Urls()->ResolveUrl(base.data(), 0xFFFFFFFFu, &supplied, relative.data(), Size(relative), buffer, &capacity, &out),
      kOk);  // with the base's parts supplied its length is not looked at
  const std::string result(buffer, capacity);
  EXPECT_EQ(result, "http://a/b/d?x#y");
  EXPECT_EQ(result.substr(out.offset[kUrlPath], out.length[kUrlPath]), "/b/d");
  EXPECT_EQ(result.substr(out.offset[kUrlFragment], out.length[kUrlFragment]), "y");
}

TEST(ResolveUrl, Failures) {
  const std::string huge(kUrlMaxLength + 1, 'a');
  char buffer[16];
  std::uint32_t capacity = sizeof buffer;
  EXPECT_EQ(Urls()->ResolveUrl(huge.data(), Size(huge), nullptr, "x", 1, buffer, &capacity, nullptr), kUrlBaseTooLong);
  EXPECT_EQ(Urls()->ResolveUrl("http://a/", 9, nullptr, huge.data(), Size(huge), buffer, &capacity, nullptr),
            kUrlRelativeTooLong);
  // A result too long to parse into the output parts.
  const std::string base = "http://a/" + std::string(60000, 'b') + "/";
  const std::string relative(10000, 'c');
  std::string out(80000, '\0');
  capacity = Size(out);
  UrlParts parts;
  EXPECT_EQ(Urls()->ResolveUrl(base.data(), Size(base), nullptr, relative.data(), Size(relative), out.data(), &capacity,
                               &parts),
            kFail);
  EXPECT_EQ(capacity, base.size() + relative.size());
  // Too small a buffer reports the size needed and writes nothing.
  capacity = 5;
  std::memset(buffer, 'z', sizeof buffer);
  EXPECT_EQ(Urls()->ResolveUrl("http://a/b", 10, nullptr, "c", 1, buffer, &capacity, nullptr), kUrlBufferTooSmall);
  EXPECT_EQ(capacity, 10u);
  EXPECT_EQ(buffer[0], 'z');
}

// ---- relative URLs between two URLs ----

std::string Relative(const std::string& base, const std::string& target, std::uint32_t options = 0) {
  return test::RunWithCapacity([&](char* b, std::uint32_t* c) {
    return Urls()->MakeRelativeUrl(base.data(), Size(base), target.data(), Size(target), options, b, c);
  });
}

TEST(MakeRelativeUrl, ClimbsFromTheBaseFolder) {
  EXPECT_EQ(Relative("http://a/b/c/d", "http://a/b/e/f"), "../e/f");
  EXPECT_EQ(Relative("http://a/b/c", "http://a/b/c"), "c");
  EXPECT_EQ(Relative("http://a/b/", "http://a/b/c/d"), "c/d");
  EXPECT_EQ(Relative("HTTP://A/x/y", "http://a/z"), "../z");  // scheme and host ignore case
  EXPECT_EQ(Relative("http://a/X/y", "http://a/x/z"), "../x/z");
  EXPECT_EQ(Relative("http://a/X/y", "http://a/x/z", kRelativeIgnoreCase), "z");
  EXPECT_EQ(Relative("http://a/b/c", "http://a/d?q#f"), "../d");  // query and fragment are not carried
}

TEST(MakeRelativeUrl, AnotherServerGetsTheWholeTarget) {
  EXPECT_EQ(Relative("http://a/b", "ftp://a/b"), "ftp://a/b");
  EXPECT_EQ(Relative("http://a/b", "http://c/b"), "http://c/b");
  EXPECT_EQ(Relative("http://a:80/x/y", "http://a:81/x/z"), "http://a:81/x/z");
  EXPECT_EQ(Relative("http://u@a/x/y", "http://v@a/x/z"), "http://v@a/x/z");
  EXPECT_EQ(Relative("http://u:p@a/x/y", "http://u:q@a/x/z"), "http://u:q@a/x/z");
  EXPECT_EQ(Relative("http://a", "http://a//x/y"), "http://a//x/y");  // "//x" would read as a server
  EXPECT_EQ(Relative("http://a/b", "http://a"), "http://a");          // no relative path leads to an empty one
  EXPECT_EQ(Relative("http://a", "http://a/x/y"), "/x/y");            // nothing in common: the absolute path serves
}

// Results that would read as something else get "./" in front.
TEST(MakeRelativeUrl, DotSlashWhereNeeded) {
  EXPECT_EQ(Relative("http://a/b/c", "http://a/b/"), "./");
  EXPECT_EQ(Relative("http://a/b/c", "http://a/b/x:y"), "./x:y");
  EXPECT_EQ(Relative("http://a/b/c", "http://a/b//x"), ".//x");
  EXPECT_EQ(Relative("http://a/x", "http://a//x/y"), ".//x/y");
  EXPECT_EQ(Relative("http://a/b/c/d", "http://a/b/x:y"), "../x:y");
}

// Every relative result resolves back to the target (without its query and
// fragment).
TEST(MakeRelativeUrl, ResolvesBackToTheTarget) {
  const char* urls[] = {"http://a/b/c/d", "http://a/b/c/", "http://a/",          "http://a/b",
                        "http://a/x:y/z", "http://a/b//c", "http://a/b/c/d/e/f", "http://a",
                        "http://a/B/c",   "http://a//x/y", "http://a/b//x"};
  for (const char* base : urls) {
    for (const char* target : urls) {
      const std::string relative = Relative(base, target);
      EXPECT_EQ(Resolve(base, relative), target) << base << " -> " << target << " = " << relative;
    }
  }
}

TEST(MakeRelativeUrl, CapacityAndParseFailures) {
  char small[4];
  std::uint32_t capacity = sizeof small;
  EXPECT_EQ(Urls()->MakeRelativeUrl("http://a/b", 10, "http://c/d", 10, 0, small, &capacity), kUrlBufferTooSmall);
  EXPECT_EQ(capacity, 10u);
  capacity = 0;
  EXPECT_EQ(Urls()->MakeRelativeUrl("http://a/b", 10, "http://c/d", 10, 0, nullptr, &capacity), kOk);
  EXPECT_EQ(capacity, 10u);  // only measured
  const std::string huge(kUrlMaxLength + 1, 'a');
  EXPECT_EQ(Urls()->MakeRelativeUrl(huge.data(), Size(huge), "x", 1, 0, nullptr, &capacity), kUrlTooLong);
  EXPECT_EQ(Urls()->MakeRelativeUrl("x", 1, huge.data(), Size(huge), 0, nullptr, &capacity), kUrlTooLong);
  // Without a capacity the buffer is taken to hold 2048 bytes.
  const std::string target = "http://c/" + std::string(3000, 'd');
  std::string out(4000, '\0');
  EXPECT_EQ(Urls()->MakeRelativeUrl("http://a/", 9, target.data(), Size(target), 0, out.data(), nullptr),
            kUrlBufferTooSmall);
  EXPECT_EQ(Urls()->MakeRelativeUrl("http://a/", 9, "http://c/", 9, 0, out.data(), nullptr), kOk);
}

}  // namespace
}  // namespace sfx
