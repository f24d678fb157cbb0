#include "services/data/mime_type.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>

namespace sfx {
namespace {

struct Parsed {
  std::uint32_t typeCode;
  std::string type;
  std::uint32_t subtypeCode;
  std::string subtype;
};

Parsed Parse(std::string_view text) {
  MimeTypeInfo info{};
  EXPECT_EQ(MimeTypes()->ParseMimeType(text.data(), static_cast<std::uint32_t>(text.size()), &info), kOk);
  // The texts must point into the caller's buffer.
  EXPECT_GE(info.typeText, text.data());
  EXPECT_LE(info.typeText + info.typeLength, text.data() + text.size());
  EXPECT_GE(info.subtypeText, text.data());
  EXPECT_LE(info.subtypeText + info.subtypeLength, text.data() + text.size());
  return {info.typeCode, std::string(info.typeText, info.typeLength), info.subtypeCode,
          std::string(info.subtypeText, info.subtypeLength)};
}

TEST(MimeTypeTest, ParseSplitsTypeAndSubtype) {
  struct Case {
    std::string_view text;
    std::uint32_t typeCode;
    std::string_view type;
    std::uint32_t subtypeCode;
    std::string_view subtype;
  };
  const Case cases[] = {
      {"  TEXT/HTML ; charset=x", 7, "TEXT", 7, "HTML"},
      {"text html", 7, "text", 7, "html"},
      {"text//html", 7, "text", 7, "html"},
      {"text / html", 7, "text", 7, "html"},
      {"/html", 0, "", 7, "html"},
      {"foo/bar", 0, "foo", 0, "bar"},
      {"", 0, "", 0, ""},
      {" \t\r\n\f", 0, "", 0, ""},
      {"application/octet-stream;x", 1, "application", 13, "octet-stream"},
      {"video/", 8, "video", 0, ""},
      {"application/x-hyrax-document", 1, "application", 29, "x-hyrax-document"},
      {"application/x-hyrax-document-list", 1, "application", 30, "x-hyrax-document-list"},
      {"image/zip", 3, "image", 43, "zip"},
      {"a/avi", 0, "a", 1, "avi"},
      {"textual/html", 0, "textual", 7, "html"},  // a longer name is not its prefix
      {"tex/htm", 0, "tex", 0, "htm"},            // nor is a shorter one
      {"text\v/html", 0, "text\v", 7, "html"},    // vertical tab is not white space here
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text));
    const Parsed p = Parse(c.text);
    EXPECT_EQ(p.typeCode, c.typeCode);
    EXPECT_EQ(p.type, c.type);
    EXPECT_EQ(p.subtypeCode, c.subtypeCode);
    EXPECT_EQ(p.subtype, c.subtype);
  }
}

TEST(MimeTypeTest, ParseStopsAtTheGivenLength) {
  const char text[] = "text/htmlX";
  MimeTypeInfo info{};
  ASSERT_EQ(MimeTypes()->ParseMimeType(text, 9, &info), kOk);
  EXPECT_EQ(info.subtypeCode, 7u);
  EXPECT_EQ(MimeTypes()->ParseMimeType(text, 9, nullptr), kNullOutput);
}

std::string FromExtension(std::string_view extension, std::uint32_t capacity = 64) {
  char buffer[64] = {};
  std::uint32_t length = capacity;
  EXPECT_EQ(MimeTypes()->MimeTypeFromExtension(extension.data(), static_cast<std::uint32_t>(extension.size()), buffer,
                                               &length),
            kOk);
  EXPECT_LE(length, capacity);
  return std::string(buffer, length);
}

// The table's entries are its own; what is tested is the look-up: case,
// the leading dot, the last entry and near misses.
TEST(MimeTypeTest, ExtensionsMapToMediaTypes) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {".JPG", "image/jpeg"},
      {"jpg", "image/jpeg"},
      {"Jpg", "image/jpeg"},
      {"hyl", "application/x-hyrax-document-list"},
      {".", ""},
      {"", ""},
      {"jp", ""},
      {"jpgx", ""},
      {"..jpg", ""},
      {"exe", ""},
  };
  for (const auto& [extension, media] : cases) {
    SCOPED_TRACE(std::string(extension));
    EXPECT_EQ(FromExtension(extension), media);
  }
}

TEST(MimeTypeTest, ShortBuffersTruncateSilently) {
  EXPECT_EQ(FromExtension("hyl", 5), "appli");
  EXPECT_EQ(FromExtension("hyl", kMimeTypeTextMax), "application/x-hyrax-document-list");
  EXPECT_EQ(FromExtension("jpg", 0), "");
  std::uint32_t length = 10;
  EXPECT_EQ(MimeTypes()->MimeTypeFromExtension("jpg", 3, nullptr, &length), kOk);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(MimeTypes()->MimeTypeFromExtension("jpg", 3, nullptr, nullptr), kNullOutput);
}

std::string Format(std::uint32_t type, std::uint32_t subtype, std::uint32_t capacity = 64) {
  char buffer[80];
  std::memset(buffer, '#', sizeof buffer);
  std::uint32_t length = capacity;
  EXPECT_EQ(MimeTypes()->FormatMimeType(type, subtype, buffer, &length), kOk);
  EXPECT_LE(length, capacity);
  EXPECT_EQ(buffer[length], '#') << "wrote past the reported length";
  return std::string(buffer, length);
}

TEST(MimeTypeTest, FormatComposesFromCodes) {
  EXPECT_EQ(Format(7, 7), "text/html");
  EXPECT_EQ(Format(7, 7, 4), "text");
  EXPECT_EQ(Format(7, 7, 5), "text/");
  EXPECT_EQ(Format(7, 7, 7), "text/ht");
  EXPECT_EQ(Format(0, 16), "plain");
  EXPECT_EQ(Format(7, 0), "text/");
  EXPECT_EQ(Format(9, 44), "");
  EXPECT_EQ(Format(0, 0), "");
  EXPECT_EQ(Format(1, 0, 0), "");
  EXPECT_EQ(Format(1, 30), "application/x-hyrax-document-list");
}

// Every code formats to a name that parses back to the same code: ties the
// two tables' order to the binary search.
TEST(MimeTypeTest, EveryCodeRoundTrips) {
  for (std::uint32_t type = 1; type <= kMimeTopLevelCount; ++type) {
    for (std::uint32_t subtype = 1; subtype <= kMimeSubtypeCount; ++subtype) {
      const std::string text = Format(type, subtype, kMimeTopLevelTextMax + 1 + kMimeSubtypeTextMax);
      const Parsed p = Parse(text);
      EXPECT_EQ(p.typeCode, type) << text;
      EXPECT_EQ(p.subtypeCode, subtype) << text;
    }
  }
}

}  // namespace
}  // namespace sfx
