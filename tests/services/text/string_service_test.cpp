#include "services/text/string_service.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace sfx {
namespace {

std::vector<unsigned char> Prefixed(const std::string& s) {
  std::vector<unsigned char> v(s.size() + 1);
  v[0] = static_cast<unsigned char>(s.size());
  if (!s.empty()) std::memcpy(v.data() + 1, s.data(), s.size());
  return v;
}

// ---- lengths and copies ----

TEST(StringBasics, LengthAndCopyInBothSlots) {
  std::uint32_t n = 99;
  ASSERT_EQ(Strings()->StringLength("", &n), kOk);
  EXPECT_EQ(n, 0u);
  ASSERT_EQ(Strings()->StringLengthAlias("hello", &n), kOk);
  EXPECT_EQ(n, 5u);
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  ASSERT_EQ(Strings()->StringCopy(buffer, "abc"), kOk);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(buffer[4], 'x');  // nothing past the terminator
  ASSERT_EQ(Strings()->StringCopyAlias(buffer, ""), kOk);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(buffer[1], 'b');
}

// Substituting slot 1 must not change slot 5, as two table entries holding one
// function would behave.
TEST(StringBasics, DuplicateSlotsAreIndependentEntries) {
  struct Substitute : StringService {
    Result StringLength(const char*, std::uint32_t* length) override {
      *length = 1234;
      return kOk;
    }
  } substitute;
  ScopedServiceOverride override(Slot::kString, &substitute);
  std::uint32_t n = 0;
  ASSERT_EQ(Strings()->StringLength("ab", &n), kOk);
  EXPECT_EQ(n, 1234u);
  ASSERT_EQ(Strings()->StringLengthAlias("ab", &n), kOk);
  EXPECT_EQ(n, 2u);
}

TEST(StringBasics, CopyToStringCopiesInnerZerosAndTerminates) {
  const char source[] = {'a', '\0', 'b', 'c'};
  char out[6];
  std::memset(out, 'x', sizeof out);
  ASSERT_EQ(Strings()->CopyToString(source, 4, out), kOk);
  EXPECT_EQ(std::memcmp(out, "a\0bc\0x", 6), 0);
  ASSERT_EQ(Strings()->CopyToString(source, 0, out), kOk);
  EXPECT_EQ(out[0], '\0');
}

TEST(StringBasics, ToLengthPrefixedStopsAt255) {
  unsigned char out[256];
  ASSERT_EQ(Strings()->StringToLengthPrefixed(out, "abc"), kOk);
  EXPECT_EQ(out[0], 3);
  EXPECT_EQ(std::memcmp(out + 1, "abc", 3), 0);

  const std::string exact(255, 'e');
  ASSERT_EQ(Strings()->StringToLengthPrefixed(out, exact.c_str()), kOk);
  EXPECT_EQ(out[0], 255);

  std::string long300(300, 'q');
  long300[254] = 'Z';
  long300[255] = 'Y';  // must not reach the destination
  EXPECT_EQ(Strings()->StringToLengthPrefixed(out, long300.c_str()), kStringTooLong);
  EXPECT_EQ(out[0], 255);
  EXPECT_EQ(out[255], 'Z');
}

// ---- comparisons ----

TEST(StringComparison, ExactIsUnsignedWithPrefixFirst) {
  EXPECT_EQ(Strings()->StringCompare("abc", "abc"), kStringEqual);
  EXPECT_EQ(Strings()->StringCompare("abc", "abd"), kStringBefore);
  EXPECT_EQ(Strings()->StringCompare("abd", "abc"), kStringAfter);
  EXPECT_EQ(Strings()->StringCompare("ab", "abc"), kStringBefore);
  EXPECT_EQ(Strings()->StringCompare("abc", "ab"), kStringAfter);
  EXPECT_EQ(Strings()->StringCompare("\xE9", "z"), kStringAfter);
  EXPECT_EQ(Strings()->StringCompare("", ""), kStringEqual);
}

TEST(StringComparison, NoCaseFoldsAsciiOnly) {
  EXPECT_EQ(Strings()->CompareNoCase("Content-Type", 12, "content-type", 12), kStringEqual);
  EXPECT_EQ(Strings()->CompareNoCase("_", 1, "A", 1), kStringBefore);  // 'A' folds to 0x61 > 0x5F
  EXPECT_EQ(Strings()->CompareNoCase("ab", 2, "ABC", 3), kStringBefore);
  EXPECT_EQ(Strings()->CompareNoCase("ABC", 3, "ab", 2), kStringAfter);
  EXPECT_EQ(Strings()->CompareNoCase("\xC9", 1, "\xE9", 1), kStringBefore);  // Latin-1 never folds
  EXPECT_EQ(Strings()->CompareNoCase("[", 1, "{", 1), kStringBefore);        // nor do brackets
  EXPECT_EQ(Strings()->CompareNoCase(nullptr, 0, nullptr, 0), kStringEqual);

  const auto a = Prefixed("MiXeD");
  const auto b = Prefixed("mixed");
  const auto c = Prefixed("mixedz");
  EXPECT_EQ(Strings()->CompareLengthPrefixedNoCase(a.data(), b.data()), kStringEqual);
  EXPECT_EQ(Strings()->CompareLengthPrefixedNoCase(a.data(), c.data()), kStringBefore);
  EXPECT_EQ(Strings()->CompareLengthPrefixedNoCase(c.data(), a.data()), kStringAfter);
}

// ---- sorted-table look-ups ----

class SortedTable : public ::testing::Test {
 protected:
  void Build(const std::vector<std::string>& names) {
    storage_.clear();
    for (const auto& n : names) storage_.push_back(Prefixed(n));
    table_.clear();
    for (const auto& s : storage_) table_.push_back(s.data());
  }
  std::vector<std::vector<unsigned char>> storage_;
  std::vector<const LengthPrefixedString*> table_;
};

TEST_F(SortedTable, EveryEntryIsFoundAndGapsAreNot) {
  Build({"alpha", "beta", "delta", "epsilon", "gamma", "omega", "zeta"});
  for (std::uint32_t i = 0; i < table_.size(); ++i) {
    std::uint32_t index = 99;
    const auto& name = storage_[i];
    EXPECT_EQ(Strings()->FindLengthPrefixed(table_.data(), 7, name.data(), &index), kStringFound);
    EXPECT_EQ(index, i);
    EXPECT_EQ(Strings()->FindSpan(table_.data(), 7, reinterpret_cast<const char*>(name.data() + 1), name[0], &index),
              kStringFound);
    EXPECT_EQ(index, i);
  }
  for (const char* gap : {"a", "aaa", "beta2", "chi", "eta", "zzz", ""}) {
    EXPECT_EQ(Strings()->FindSpan(table_.data(), 7, gap, static_cast<std::uint32_t>(std::strlen(gap)), nullptr),
              kStringNotFound)
        << gap;
  }
}

TEST_F(SortedTable, NoCaseVariantsFoldKeyAndEntries) {
  Build({"Accept", "content-length", "Content-Type", "date"});  // ascending when folded
  std::uint32_t index = 99;
  EXPECT_EQ(Strings()->FindSpanNoCase(table_.data(), 4, "CONTENT-TYPE", 12, &index), kStringFound);
  EXPECT_EQ(index, 2u);
  const auto key = Prefixed("accept");
  EXPECT_EQ(Strings()->FindLengthPrefixedNoCase(table_.data(), 4, key.data(), &index), kStringFound);
  EXPECT_EQ(index, 0u);
  EXPECT_EQ(Strings()->FindSpan(table_.data(), 4, "ACCEPT", 6, nullptr), kStringNotFound);  // exact
  EXPECT_EQ(Strings()->FindSpanNoCase(table_.data(), 4, "Content", 7, nullptr), kStringNotFound);
}

TEST_F(SortedTable, EmptyTableAndKeysBeyondBothEnds) {
  EXPECT_EQ(Strings()->FindSpan(nullptr, 0, "x", 1, nullptr), kStringNotFound);
  Build({"m"});
  // A key before the first entry ends the search without probing index -1.
  EXPECT_EQ(Strings()->FindSpan(table_.data(), 1, "a", 1, nullptr), kStringNotFound);
  EXPECT_EQ(Strings()->FindSpanNoCase(table_.data(), 1, "z", 1, nullptr), kStringNotFound);
}

// ---- number parsing ----

struct ParseCase {
  const char* text;
  std::uint32_t value;
  Result result;
};

TEST(NumberParsing, Decimal) {
  const ParseCase cases[] = {
      {"  4294967295xyz", 4294967295u, kOk},
      {"4294967296", 0xFFFFFFFFu, kStringNumberTooLarge},
      {"00000000001", 0xFFFFFFFFu, kStringNumberTooLarge},  // eleven digits, leading zeros count
      {"0000000001", 1, kOk},
      {"3999999999", 3999999999u, kOk},
      {"9999999999", 0xFFFFFFFFu, kStringNumberTooLarge},
      {"", 0, kOk},
      {"abc", 0, kOk},
      {"-5", 0, kOk},
      {"\t\n 12 34", 12, kOk},
  };
  for (const auto& c : cases) {
    std::uint32_t v = 7;
    EXPECT_EQ(Strings()->ParseUnsigned(c.text, static_cast<std::uint32_t>(std::strlen(c.text)), &v), c.result)
        << c.text;
    EXPECT_EQ(v, c.value) << c.text;
  }
  std::uint32_t v = 0;
  EXPECT_EQ(Strings()->ParseUnsigned("12345", 3, &v), kOk);  // the length bounds the run
  EXPECT_EQ(v, 123u);
}

TEST(NumberParsing, Hexadecimal) {
  const ParseCase cases[] = {
      {"FFFFFFFF", 0xFFFFFFFFu, kOk},
      {"0FFFFFFFF", 0xFFFFFFFFu, kStringNumberTooLarge},
      {"ff", 255, kOk},
      {" aB9g", 0xAB9, kOk},
      {"0x1F", 0, kOk},
      {"", 0, kOk},
  };
  for (const auto& c : cases) {
    std::uint32_t v = 7;
    EXPECT_EQ(Strings()->ParseHex(c.text, static_cast<std::uint32_t>(std::strlen(c.text)), &v), c.result) << c.text;
    EXPECT_EQ(v, c.value) << c.text;
  }
}

// ---- text or binary ----

TEST(TextTest, ControlBytesOtherThanTabAndLineEndsMeanBinary) {
  std::uint32_t flag = 9;
  ASSERT_EQ(Strings()->IsText("", 0, &flag), kOk);
  EXPECT_EQ(flag, 1u);
  ASSERT_EQ(Strings()->IsText("a\tb\r\nc\x7F", 7, &flag), kOk);
  EXPECT_EQ(flag, 1u);
  ASSERT_EQ(Strings()->IsText("caf\xC3\xA9 \xE9", 7, &flag), kOk);
  EXPECT_EQ(flag, 1u);
  for (int b = 0; b < 0x20; ++b) {
    const char data[3] = {'x', static_cast<char>(b), 'y'};
    ASSERT_EQ(Strings()->IsText(data, 3, &flag), kOk);
    EXPECT_EQ(flag, (b == 9 || b == 10 || b == 13) ? 1u : 0u) << b;
  }
}

}  // namespace
}  // namespace sfx
