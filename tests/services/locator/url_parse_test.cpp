#include <gtest/gtest.h>

#include <string>

#include "services/locator/url_service.h"
#include "tests/services/locator/url_test_support.h"

namespace sfx {
namespace {

using test::Size;

// The eight components as texts, "-" for an absent one (offset and length 0).
std::string Components(const std::string& url) {
  UrlParts p;
  EXPECT_EQ(Urls()->ParseUrl(url.data(), Size(url), &p), kOk);
  std::string out;
  for (std::uint32_t c = 0; c < kUrlComponentCount; ++c) {
    if (c > 0) out += '|';
    if (p.offset[c] == 0 && p.length[c] == 0) {
      out += '-';
    } else {
      out += url.substr(p.offset[c], p.length[c]);
    }
  }
  return out;
}

// ---- parsing ----

TEST(ParseUrl, AllEightComponents) {
  EXPECT_EQ(Components("http://user:pw@host:8080/a/b.html?q=1#frag"), "http|user|pw|host|8080|/a/b.html|q=1|frag");
  EXPECT_EQ(Components("ftp://host"), "ftp|-|-|host|-||-|-");
}

TEST(ParseUrl, FragmentAndSchemeEdges) {
  EXPECT_EQ(Components("#only"), "-|-|-|-|-|-|-|only");
  EXPECT_EQ(Components("a#b#c"), "-|-|-|-|-|a#b|-|c");  // the last '#' starts the fragment
  EXPECT_EQ(Components("mailto:"), "mailto|-|-|-|-||-|-");
  EXPECT_EQ(Components("./a:b"), "-|-|-|-|-|./a:b|-|-");  // the first colon follows a slash
  EXPECT_EQ(Components(":x"), "-|-|-|-|-|:x|-|-");
  EXPECT_EQ(Components("C:\\dir"), "C|-|-|-|-|\\dir|-|-");
  EXPECT_EQ(Components("a+b.c-d:rest"), "a+b.c-d|-|-|-|-|rest|-|-");
}

TEST(ParseUrl, AuthorityForms) {
  EXPECT_EQ(Components("http://u:p:w@h/"), "http|u|p:w|h|-|/|-|-");  // a second colon stays in the password
  EXPECT_EQ(Components("http://u@h:1:2/"), "http|u|-|h|1:2|/|-|-");  // a colon after '@' starts the port
  EXPECT_EQ(Components("http://a@b@h"), "http|a@b|-|h|-||-|-");      // the last '@' ends the user information
  // With a colon before the '@', the port follows the last colon when that is after the '@'.
  EXPECT_EQ(Components("http://u:p@h:8080/x"), "http|u|p|h|8080|/x|-|-");
  EXPECT_EQ(Components("http://u:p@h/x"), "http|u|p|h|-|/x|-|-");
  // A host in brackets keeps its colons: the port follows the closing bracket.
  EXPECT_EQ(Components("http://u:p@[::1]:8080/x"), "http|u|p|[::1]|8080|/x|-|-");
  EXPECT_EQ(Components("http://u@[::1]:8080/x"), "http|u|-|[::1]|8080|/x|-|-");
  EXPECT_EQ(Components("http://[::1]:8080/x"), "http|-|-|[::1]|8080|/x|-|-");
  EXPECT_EQ(Components("http://[::1]/x"), "http|-|-|[::1]|-|/x|-|-");
  EXPECT_EQ(Components("http://[::1/x"), "http|-|-|[|:1|/x|-|-");  // no closing bracket: as any host
  EXPECT_EQ(Components("http://h?q"), "http|-|-|h|-||q|-");        // a query ends the authority
  EXPECT_EQ(Components("//h/p"), "-|-|-|h|-|/p|-|-");
  EXPECT_EQ(Components("http://"), "http|-|-|-|-|//|-|-");  // two bytes only: no authority
  // An empty authority is still an authority: the host's offset says so.
  UrlParts p;
  ASSERT_EQ(Urls()->ParseUrl("file:///x", 9, &p), kOk);
  EXPECT_EQ(p.offset[kUrlHost], 7);
  EXPECT_EQ(p.length[kUrlHost], 0);
  EXPECT_EQ(p.offset[kUrlPath], 7);
  EXPECT_EQ(p.length[kUrlPath], 2);
}

TEST(ParseUrl, LengthLimit) {
  const std::string longest(kUrlMaxLength, 'a');
  UrlParts p;
  EXPECT_EQ(Urls()->ParseUrl(longest.data(), kUrlMaxLength, &p), kOk);
  EXPECT_EQ(p.length[kUrlPath], 65535);
  EXPECT_EQ(Urls()->ParseUrl(longest.data(), kUrlMaxLength + 1, &p), kUrlTooLong);
  EXPECT_EQ(Urls()->ParseUrl("", 0, &p), kOk);
  std::uint32_t empty = 0;
  ASSERT_EQ(Urls()->IsEmptyUrl(&p, &empty), kOk);
  EXPECT_EQ(empty, 1u);
  ASSERT_EQ(Urls()->ParseUrl("?", 1, &p), kOk);  // an empty query leaves every length 0
  ASSERT_EQ(Urls()->IsEmptyUrl(&p, &empty), kOk);
  EXPECT_EQ(empty, 1u);
  ASSERT_EQ(Urls()->ParseUrl("x", 1, &p), kOk);
  ASSERT_EQ(Urls()->IsEmptyUrl(&p, &empty), kOk);
  EXPECT_EQ(empty, 0u);
}

// ---- measuring ----

std::uint32_t Measure(const std::string& url, std::uint32_t first, std::uint32_t last) {
  UrlParts p;
  EXPECT_EQ(Urls()->ParseUrl(url.data(), Size(url), &p), kOk);
  std::uint32_t n = 0xFFFF;
  EXPECT_EQ(Urls()->MeasureUrl(&p, first, last, &n), kOk);
  return n;
}

TEST(MeasureUrl, RangesAndSpecialCases) {
  const std::string url = "http://user:pw@host:8080/a/b?q=1#frag";
  EXPECT_EQ(Measure(url, 0, 7), url.size());
  EXPECT_EQ(Measure(url, 0, 6), url.size() - 5);
  EXPECT_EQ(Measure(url, 0, 0), 5u);
  EXPECT_EQ(Measure(url, 0, 1), 5u);  // a range ending in the user measures the scheme alone
  EXPECT_EQ(Measure(url, 1, 4), std::string("//user:pw@host:8080").size());
  EXPECT_EQ(Measure(url, 2, 7), 2u);  // the password alone
  EXPECT_EQ(Measure(url, 4, 7), 4u);  // the port alone
  EXPECT_EQ(Measure(url, 3, 3), std::string("//host").size());
  EXPECT_EQ(Measure(url, 5, 7), std::string("/a/b?q=1#frag").size());
  EXPECT_EQ(Measure(url, 8, 9), 0u);
}

// The slashes are counted only where the URL has an authority, and user
// information whenever it holds anything; the measure always equals what
// resolution writes for the same components.
TEST(MeasureUrl, AgreesWithAssembly) {
  for (const std::string url : {"mailto:a@b", "a/b", "file:///x", "http://:pw@h/p", "http://u@h", "//h",
                                "news:comp.lang?x", "http://h:80?q#f", "s:"}) {
    EXPECT_EQ(Measure(url, 0, 6), test::Resolve(url, "").size()) << url;
  }
  EXPECT_EQ(Measure("mailto:a@b", 1, 4), 0u);
  EXPECT_EQ(Measure("file:///x", 1, 4), 2u);
}

// ---- schemes and file names ----

TEST(GetSchemeCode, TableLookUpIgnoresCase) {
  const std::pair<const char*, std::uint32_t> cases[] = {
      {"FTP://x", kSchemeFtp},
      {"file:", kSchemeFile},
      {"Https:", kSchemeHttps},
      {"wais:x", kSchemeWais},
      {"javascript:", kSchemeJavascript},
      {"prospero:", kSchemeProspero},
      {"gopher:", kSchemeGopher},
      {"hyrax:", kSchemeHyrax},
      {"mailto:", kSchemeMailto},
      {"news:", kSchemeNews},
      {"nntp:", kSchemeNntp},
      {"telnet:", kSchemeTelnet},
      {"http:", kSchemeHttp},
      {"gopherx:", 0},
      {"ftp", 0},
      {"", 0},
      {":", 0},
      {"ht tp:", 0},
  };
  for (const auto& [text, code] : cases) {
    std::uint32_t got = 99;
    ASSERT_EQ(Urls()->GetSchemeCode(text, static_cast<std::uint32_t>(std::string(text).size()), &got), kOk);
    EXPECT_EQ(got, code) << text;
  }
}

TEST(SplitFileName, NameAndExtensionOfTheLastSegment) {
  struct Case {
    const char* text;
    const char* name;
    const char* extension;
  } cases[] = {
      {"C:\\dir\\archive.tar.gz", "archive.tar", ".gz"},
      {"dir/README", "README", ""},
      {"vol:folder:file.txt", "file", ".txt"},
      {"a.b/c", "c", ""},
      {"", "", ""},
      {".profile", "", ".profile"},
  };
  for (const auto& c : cases) {
    const std::string text = c.text;
    const char *name = nullptr, *extension = nullptr;
    std::uint32_t nameLength = 0, extensionLength = 0;
    ASSERT_EQ(Urls()->SplitFileName(text.data(), Size(text), &name, &nameLength, &extension, &extensionLength), kOk);
    EXPECT_EQ(std::string(name, nameLength), c.name) << c.text;
    EXPECT_EQ(std::string(extension, extensionLength), c.extension) << c.text;
    EXPECT_EQ(extension + extensionLength, text.data() + text.size());
  }
  EXPECT_EQ(Urls()->SplitFileName("a.b", 3, nullptr, nullptr, nullptr, nullptr), kOk);
}

}  // namespace
}  // namespace sfx
