// Date texts: the protocol-header forms, the time of day and the slash
// layout, read from exact-length heap copies so that a read past the text
// is caught, and written into buffers with guard bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "services/text/date_time.h"
#include "tests/services/text/date_time_reference.h"

namespace sfx {
namespace {

using testing_dates::Rec;
using testing_dates::Show;

using Parser = Result (DateTimeService::*)(const char*, std::uint32_t, DateTimeRecord*);

// Parses a copy holding exactly the text's bytes.
Result Parse(Parser p, const std::string& text, DateTimeRecord* out) {
  std::unique_ptr<char[]> copy(new char[text.size() + 1]);
  std::memcpy(copy.get(), text.data(), text.size());
  return (DateTimes()->*p)(copy.get(), static_cast<std::uint32_t>(text.size()), out);
}

constexpr Parser kHeader = &DateTimeService::ParseHeaderDate;
constexpr Parser kSlash = &DateTimeService::ParseDateTime;

TEST(DateTimeText, HeaderFormsReadTheSameMoment) {
  const DateTimeRecord expected = Rec(1994, 11, 6, 8, 49, 37);
  for (const char* text :
       {"Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994",
        "Sun, 06 Nov 1994 08:49:37 -0800", "  Sun, 06 NOV 1994 08:49:37", "Sun, 06 Nov 1994 08:49:37"}) {
    DateTimeRecord r = Rec(1, 1, 1, 1, 1, 1, 55);
    EXPECT_EQ(Parse(kHeader, text, &r), kOk) << text;
    EXPECT_EQ(Show(r), Show(expected)) << text;
  }
  struct Case {
    const char* text;
    Result result;
    DateTimeRecord record;
  };
  for (const Case& c : {
           Case{"Xyz, 06 nov 1994", kOk, Rec(1994, 11, 6)},
           Case{"Thursday, 01-Jan-70 00:00:01 GMT", kOk, Rec(1970, 1, 1, 0, 0, 1)},
           Case{"Tuesday, 01-Jan-69 00:00:01 GMT", kOk, Rec(2069, 1, 1, 0, 0, 1)},
           Case{"Sat, 29 Feb 2000 23:59:59 GMT", kOk, Rec(2000, 2, 29, 23, 59, 59)},
           Case{"Sat, 31 Dec 65535 23:59:59 GMT", kOk, Rec(65535, 12, 31, 23, 59, 59)},
           // Failures, each naming its field.
           Case{"Sun", kDateNoHeaderForm, {}},
           Case{"", kDateNoHeaderForm, {}},
           Case{"Sun, 31 Feb 2024 10:00:00 GMT", kDateBadDay, {}},
           Case{"Sun, 00 Feb 2024 10:00:00 GMT", kDateBadDay, {}},
           Case{"Sun, 06 Foo 1994", kDateBadMonth, {}},
           Case{"Sun, 06 No", kDateBadMonth, {}},
           Case{"Sun, 06 Nov 1994 24:00:00", kDateBadHour, {}},
           Case{"Sun, 06 Nov 1994 23:60:00", kDateBadMinute, {}},
           Case{"Sun, 06 Nov 1994 23:59:60", kDateBadSecond, {}},
           Case{"Sunday, 06", kDateBadMonth, {}},
           Case{"Sunday, 06-Nov", kDateBadYear, {}},
           // Years that do not fit the record, in every form; digit runs
           // beyond 32 bits must not wrap to small values.
           Case{"Sun, 06 Nov 65536 08:49:37 GMT", kDateBadYear, {}},
           Case{"Sun, 06 Nov 4294967297 08:49:37 GMT", kDateBadYear, {}},
           Case{"Sunday, 06-Nov-65536 08:49:37 GMT", kDateBadYear, {}},
           Case{"Sunday, 06-Nov-4294967297 08:49:37 GMT", kDateBadYear, {}},
           Case{"Sun, 4294967302 Nov 1994", kDateBadDay, {}},
           Case{"Sun, 06 Nov 1994 4294967296:00:00", kDateBadHour, {}},
       }) {
    const DateTimeRecord before = Rec(7, 7, 7, 7, 7, 7, 7);
    DateTimeRecord r = before;
    EXPECT_EQ(Parse(kHeader, c.text, &r), c.result) << c.text;
    EXPECT_EQ(Show(r), Show(c.result == kOk ? c.record : before)) << c.text;
  }
}

// The asctime form reads the time before the year: a valid time reaches the
// record even when the year then fails, but the date never does.
TEST(DateTimeText, AsctimeFailureAfterTheTimeKeepsTheDate) {
  DateTimeRecord r = Rec(7, 7, 7, 7, 7, 7, 7);
  EXPECT_EQ(Parse(kHeader, "Sun Nov  6 08:49:37 70000", &r), kDateBadYear);
  EXPECT_EQ(Show(r), Show(Rec(7, 7, 7, 8, 49, 37, 7)));
  r = Rec(7, 7, 7, 7, 7, 7, 7);
  EXPECT_EQ(Parse(kHeader, "Sun Nov  6 08:49:37 99999999999999999999", &r), kDateBadYear);
  r = Rec(7, 7, 7, 7, 7, 7, 7);
  EXPECT_EQ(Parse(kHeader, "Sun Nov 31 08:49:37 1994", &r), kDateBadDay);
  EXPECT_EQ(Show(r), Show(Rec(7, 7, 7, 8, 49, 37, 7)));
}

TEST(DateTimeText, SlashLayoutAndTimeOfDay) {
  struct Case {
    const char* text;
    Result result;
    DateTimeRecord record;
  };
  for (const Case& c : {
           Case{"2024/2/3 4:5:6", kOk, Rec(2024, 2, 3, 4, 5, 6)},
           Case{"2024-03-07 09:05", kOk, Rec(2024, 3, 7, 9, 5, 0)},
           Case{"65535/12/31 23:59:59 and more", kOk, Rec(65535, 12, 31, 23, 59, 59)},
           Case{"2024-02-30 10:00", kDateBadDay, {}},
           Case{"0/1/1", kDateBadYear, {}},
           Case{"65536/1/1", kDateBadYear, {}},
           Case{"4294967297/1/1", kDateBadYear, {}},
           Case{"2024", kDateBadMonth, {}},
           Case{"2024/13/1", kDateBadMonth, {}},
           Case{"2024/12", kDateBadDay, {}},
           Case{"2024/12/32", kDateBadDay, {}},
           Case{"2024/12/31 10:99", kDateBadMinute, {}},
       }) {
    const DateTimeRecord before = Rec(7, 7, 7, 7, 7, 7, 7);
    DateTimeRecord r = before;
    EXPECT_EQ(Parse(kSlash, c.text, &r), c.result) << c.text;
    EXPECT_EQ(Show(r), Show(c.result == kOk ? c.record : before)) << c.text;
  }
  DateTimeRecord r = Rec(2001, 2, 3, 4, 5, 6, 7);
  EXPECT_EQ(Parse(&DateTimeService::ParseTimeOfDay, "  12:34:56", &r), kOk);
  EXPECT_EQ(Show(r), Show(Rec(2001, 2, 3, 12, 34, 56, 7)));
  EXPECT_EQ(Parse(&DateTimeService::ParseTimeOfDay, "12:34:61", &r), kDateBadSecond);
  EXPECT_EQ(Show(r), Show(Rec(2001, 2, 3, 12, 34, 56, 7)));
}

// Every prefix of valid texts, read from an exact-length copy: bounds faults
// surface under the address sanitizer.
TEST(DateTimeText, PrefixesStayInsideTheText) {
  for (const std::string text : {"Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT",
                                 "Sun Nov  6 08:49:37 1994", "2024/03/07 09:05:00"}) {
    for (std::size_t n = 0; n <= text.size(); ++n) {
      DateTimeRecord r{};
      (void)Parse(kHeader, text.substr(0, n), &r);
      (void)Parse(kSlash, text.substr(0, n), &r);
      (void)Parse(&DateTimeService::ParseTimeOfDay, text.substr(0, n), &r);
    }
  }
}

// Formats into a buffer of `size` bytes followed by guard bytes.
std::string FormatGuarded(Result (DateTimeService::*f)(const DateTimeRecord*, char*), const DateTimeRecord& r,
                          std::size_t size, Result expected = kOk) {
  char buffer[64];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ((DateTimes()->*f)(&r, buffer), expected) << Show(r);
  for (std::size_t i = size; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], '#') << "written past " << size;
  return std::string(buffer, size);
}

TEST(DateTimeText, FormatsAreExactLength) {
  const auto header = &DateTimeService::FormatHeaderDate;
  const auto time = &DateTimeService::FormatTimeOfDay;
  const auto slash = &DateTimeService::FormatDateTime;
  EXPECT_EQ(FormatGuarded(header, Rec(1994, 11, 6, 8, 49, 37), 29), "Sun, 06 Nov 1994 08:49:37 GMT");
  EXPECT_EQ(FormatGuarded(header, Rec(5, 1, 1), 29), "Sat, 01 Jan 0005 00:00:00 GMT");
  EXPECT_EQ(FormatGuarded(time, Rec(1994, 11, 6, 8, 49, 37), 9), std::string("08:49:37\0", 9));
  EXPECT_EQ(FormatGuarded(slash, Rec(2024, 3, 7, 9, 5, 0), 20), std::string("2024/03/07 09:05:00\0", 20));
  EXPECT_EQ(FormatGuarded(slash, Rec(65535, 12, 31, 23, 59, 59), 21), std::string("65535/12/31 23:59:59\0", 21));
  // Fields of 100 and more keep their two positions.
  const DateTimeRecord wide = Rec(2024, 200, 255, 123, 255, 100);
  EXPECT_EQ(FormatGuarded(time, wide, 9), std::string("23:55:00\0", 9));
  EXPECT_EQ(FormatGuarded(slash, wide, 20), std::string("2024/00/55 23:55:00\0", 20));
  EXPECT_EQ(FormatGuarded(header, wide, 29).substr(4), " 55 Dec 2024 23:55:00 GMT");
  // A five-digit year has no place in a header date.
  EXPECT_EQ(FormatGuarded(header, Rec(10000, 1, 1), 0, kDateBadYear), "");
}

TEST(DateTimeText, RoundTrips) {
  std::mt19937 rng(21);
  for (int i = 0; i < 5000; ++i) {
    DateTimeRecord r = testing_dates::FromSecondNumber(
        std::uniform_int_distribution<std::int64_t>(0, testing_dates::LastSecond())(rng));
    char slash[kDateTimeMaxSize];
    ASSERT_EQ(DateTimes()->FormatDateTime(&r, slash), kOk);
    DateTimeRecord back{};
    if (r.year == 0) {
      EXPECT_EQ(Parse(kSlash, slash, &back), kDateBadYear);
    } else {
      ASSERT_EQ(Parse(kSlash, slash, &back), kOk) << slash;
      ASSERT_EQ(Show(back), Show(r)) << slash;
    }
    if (r.year > 9999) r.year = static_cast<std::uint16_t>(r.year % 9000 + 1000);
    if (r.month == 2 && r.day == 29) r.day = 28;
    char header[kHeaderDateLength];
    ASSERT_EQ(DateTimes()->FormatHeaderDate(&r, header), kOk);
    back = DateTimeRecord{};
    ASSERT_EQ(Parse(kHeader, std::string(header, kHeaderDateLength), &back), kOk);
    ASSERT_EQ(Show(back), Show(r)) << std::string(header, kHeaderDateLength);
  }
}

}  // namespace
}  // namespace sfx
