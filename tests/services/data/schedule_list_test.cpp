// Selection masks as texts, both ways.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "services/data/schedule.h"

namespace sfx {
namespace {

std::string Format(std::uint32_t kind, std::uint32_t mask, std::uint32_t* required = nullptr) {
  std::uint32_t length = 0;
  EXPECT_EQ(Schedules()->FormatScheduleList(kind, &mask, nullptr, &length), kOk);
  if (required != nullptr) *required = length;
  char buffer[160];
  std::memset(buffer, '#', sizeof buffer);
  std::uint32_t capacity = length + 1;
  EXPECT_EQ(Schedules()->FormatScheduleList(kind, &mask, buffer, &capacity), kOk);
  EXPECT_EQ(capacity, length);
  EXPECT_EQ(buffer[length - 1], '\0');
  EXPECT_EQ(buffer[length], '#') << "written past the required size";
  return buffer;
}

std::uint32_t Parse(std::uint32_t kind, const std::string& text) {
  std::uint32_t mask = 0xDEADBEEF;
  EXPECT_EQ(Schedules()->ParseScheduleList(kind, text.data(), static_cast<std::uint32_t>(text.size()), &mask), kOk);
  return mask;
}

TEST(ScheduleList, Formats) {
  std::uint32_t required = 0;
  EXPECT_EQ(Format(kScheduleListHours, (1u << 1) | (1u << 5) | (1u << 12), &required), "1,5,12");
  EXPECT_EQ(required, 7u);
  EXPECT_EQ(Format(kScheduleListWeekdays, 0b101), "Mon,Wed");
  EXPECT_EQ(Format(kScheduleListWeekdays, 0, &required), "");
  EXPECT_EQ(required, 1u);
  EXPECT_EQ(Format(kScheduleListDays, 1u << 31), "32");
  EXPECT_EQ(Format(kScheduleListWeeks, 0xFFFFFFFF), "1,2,3,4,5");
  EXPECT_EQ(Format(kScheduleListHours, 0xFFFFFFFF), "0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23");
  EXPECT_EQ(Format(kScheduleListWeekdays, 0xFFFFFFFF), "Mon,Tue,Wed,Thu,Fri,Sat,Sun");

  // The capacity must exceed the required size; nothing is written otherwise.
  const std::uint32_t mask = (1u << 1) | (1u << 5) | (1u << 12);
  char buffer[16];
  std::memset(buffer, '#', sizeof buffer);
  std::uint32_t capacity = 7;
  EXPECT_EQ(Schedules()->FormatScheduleList(kScheduleListHours, &mask, buffer, &capacity), kScheduleTooSmall);
  EXPECT_EQ(capacity, 7u);
  EXPECT_EQ(buffer[0], '#');
  capacity = 8;
  EXPECT_EQ(Schedules()->FormatScheduleList(kScheduleListHours, &mask, buffer, &capacity), kOk);
  EXPECT_STREQ(buffer, "1,5,12");

  EXPECT_EQ(Schedules()->FormatScheduleList(5, &mask, buffer, &capacity), kScheduleBadListKind);
  EXPECT_EQ(Schedules()->FormatScheduleList(0, &mask, buffer, &capacity), kScheduleBadListKind);
  std::uint32_t out = 0;
  EXPECT_EQ(Schedules()->ParseScheduleList(5, "1", 1, &out), kScheduleBadListKind);
}

TEST(ScheduleList, Parses) {
  struct Case {
    std::uint32_t kind;
    const char* text;
    std::uint32_t mask;
  };
  for (const Case& c : {
           Case{kScheduleListDays, "0,15,40", (1u << 0) | (1u << 14) | (1u << 31)},
           Case{kScheduleListHours, "1-5", (1u << 1) | (1u << 5)},
           Case{kScheduleListHours, "99", 1u << 23},
           Case{kScheduleListHours, "", 0},
           // Digit runs saturate: a run that overflows 32 bits is still above the last hour.
           Case{kScheduleListHours, "4294967297", 1u << 23},
           Case{kScheduleListHours, "00000000000000000000007", 1u << 7},
           Case{kScheduleListWeeks, "0 3 9", (1u << 0) | (1u << 2) | (1u << 4)},
           Case{kScheduleListWeekdays, "monday, FRI", (1u << 0) | (1u << 4)},
           Case{kScheduleListWeekdays, "Su,Sun\tsat\r\nxyz,Wednesday", (1u << 6) | (1u << 5) | (1u << 2)},
       }) {
    EXPECT_EQ(Parse(c.kind, c.text), c.mask) << c.text;
  }
  // Zero-terminated text when the length is 0.
  std::uint32_t mask = 0;
  EXPECT_EQ(Schedules()->ParseScheduleList(kScheduleListHours, "3,4", 0, &mask), kOk);
  EXPECT_EQ(mask, (1u << 3) | (1u << 4));
  // Every list reads back what it wrote.
  for (std::uint32_t kind = 1; kind <= 4; ++kind) {
    for (std::uint32_t m : {0u, 1u, 0x55555555u, 0xFFFFFFFFu, 0x80000001u}) {
      const std::uint32_t bits[] = {0, 24, 7, 5, 32};
      const std::uint32_t valid = bits[kind] == 32 ? m : m & ((1u << bits[kind]) - 1);
      EXPECT_EQ(Parse(kind, Format(kind, m)), valid) << kind << " " << m;
    }
  }
}

}  // namespace
}  // namespace sfx
