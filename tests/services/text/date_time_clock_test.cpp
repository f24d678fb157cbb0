// The clock, the zone offset and the second-count conversions, on a fixed
// clock and zone so that every reading is exact.
#include <gtest/gtest.h>

#include <random>

#include "platform/clock.h"
#include "services/text/date_time.h"
#include "tests/services/text/date_time_reference.h"

namespace sfx {
namespace {

using testing_dates::Rec;
using testing_dates::Show;

// 2024-03-07 09:05:00 UTC.
constexpr std::int64_t kThursdayMorning = 1709802300;

class FixedClockScope {
 public:
  FixedClockScope(std::int64_t seconds, std::int32_t offset) {
    const platform::FixedClock clock{seconds, offset};
    platform::SetFixedClock(&clock);
  }
  ~FixedClockScope() { platform::SetFixedClock(nullptr); }
};

TEST(DateTimeClock, ZonesOfEveryOffsetAreExact) {
  struct Zone {
    std::int32_t offset;
    Result outcome;
    DateTimeRecord local;
  };
  for (const Zone& z :
       {Zone{0, kDateEqual, Rec(2024, 3, 7, 9, 5)}, Zone{19800, kDateEarlier, Rec(2024, 3, 7, 14, 35)},  // +05:30
        Zone{20700, kDateEarlier, Rec(2024, 3, 7, 14, 50)},                                              // +05:45
        Zone{-12600, kDateLater, Rec(2024, 3, 7, 5, 35)},                                                // -03:30
        Zone{-36000, kDateLater, Rec(2024, 3, 6, 23, 5)},      // -10:00, the day before
        Zone{50400, kDateEarlier, Rec(2024, 3, 7, 23, 5)}}) {  // +14:00
    FixedClockScope clock(kThursdayMorning, z.offset);
    DateTimeRecord utc{}, local{};
    ASSERT_EQ(DateTimes()->GetCurrentUtc(&utc), kOk);
    EXPECT_EQ(Show(utc), Show(Rec(2024, 3, 7, 9, 5)));
    ASSERT_EQ(DateTimes()->GetCurrentLocal(&local), kOk);
    EXPECT_EQ(Show(local), Show(z.local)) << z.offset;
    std::uint32_t seconds = 1;
    EXPECT_EQ(DateTimes()->GetUtcOffset(&seconds), z.outcome) << z.offset;
    EXPECT_EQ(seconds, static_cast<std::uint32_t>(z.offset < 0 ? -z.offset : z.offset));

    DateTimeRecord converted{};
    EXPECT_EQ(DateTimes()->UtcToLocal(&utc, &converted), kOk);
    EXPECT_EQ(Show(converted), Show(z.local));
    EXPECT_EQ(DateTimes()->LocalToUtc(&z.local, &converted), kOk);
    EXPECT_EQ(Show(converted), Show(utc));
  }
}

TEST(DateTimeClock, ConversionsFailAtTheEndsOfTheRange) {
  FixedClockScope clock(kThursdayMorning, 3600);
  const DateTimeRecord last = Rec(65535, 12, 31, 23, 30);
  const DateTimeRecord first = Rec(0, 1, 1, 0, 30);
  DateTimeRecord out{};
  EXPECT_EQ(DateTimes()->UtcToLocal(&last, &out), kFail);
  EXPECT_EQ(DateTimes()->LocalToUtc(&first, &out), kFail);
  EXPECT_EQ(DateTimes()->UtcToLocal(&first, &out), kOk);
  EXPECT_EQ(Show(out), Show(Rec(0, 1, 1, 1, 30)));
}

TEST(DateTimeClock, SecondCounts) {
  struct Case {
    std::uint32_t seconds;
    DateTimeRecord record;
  };
  for (const Case& c :
       {Case{0, Rec(1970, 1, 1)}, Case{946684800, Rec(2000, 1, 1)}, Case{0x7FFFFFFFu, Rec(2038, 1, 19, 3, 14, 7)},
        Case{0x80000000u, Rec(2038, 1, 19, 3, 14, 8)}, Case{0xFFFFFFFFu, Rec(2106, 2, 7, 6, 28, 15)}}) {
    DateTimeRecord r = Rec(1, 1, 1, 1, 1, 1, 1);
    ASSERT_EQ(DateTimes()->FromUnixTime(c.seconds, &r), kOk);
    EXPECT_EQ(Show(r), Show(c.record)) << c.seconds;
    std::uint32_t back = 0;
    ASSERT_EQ(DateTimes()->ToUnixTime(&r, &back), kOk);
    EXPECT_EQ(back, c.seconds);
  }
  struct Back {
    DateTimeRecord record;
    std::uint32_t seconds;
  };
  for (const Back& c : {Back{Rec(1969, 12, 31, 23, 59, 59), 0xFFFFFFFFu},
                        Back{Rec(2000, 1, 1, 0, 0, 0, 50), 946684801u}, Back{Rec(3000, 1, 1), 0xFFFFFFFFu}}) {
    std::uint32_t seconds = 0;
    EXPECT_EQ(DateTimes()->ToUnixTime(&c.record, &seconds), kOk);
    EXPECT_EQ(seconds, c.seconds) << Show(c.record);
  }
  const DateTimeRecord y2k = Rec(2000, 1, 1);
  EXPECT_EQ(DateTimes()->ToUnixTime(&y2k, nullptr), kOk);

  DateTimeRecord r{};
  ASSERT_EQ(DateTimes()->From1904Seconds(0, &r), kOk);
  EXPECT_EQ(Show(r), Show(Rec(1904, 1, 1)));
  ASSERT_EQ(DateTimes()->From1904Seconds(2082844800u, &r), kOk);
  EXPECT_EQ(Show(r), Show(Rec(1970, 1, 1)));

  std::mt19937 rng(31);
  for (int i = 0; i < 20000; ++i) {
    const std::uint32_t s = rng();
    ASSERT_EQ(DateTimes()->FromUnixTime(s, &r), kOk);
    ASSERT_EQ(testing_dates::SecondNumber(r) - testing_dates::SecondNumber(Rec(1970, 1, 1)), s);
  }
}

// The machine's own clock and zone: the readings agree with each other.
TEST(DateTimeClock, MachineClockAgreesWithItself) {
  DateTimeRecord utc{}, local{};
  std::uint32_t offset = 0;
  ASSERT_EQ(DateTimes()->GetCurrentUtc(&utc), kOk);
  EXPECT_GE(utc.year, 2024);
  ASSERT_EQ(DateTimes()->GetCurrentLocal(&local), kOk);
  const Result outcome = DateTimes()->GetUtcOffset(&offset);
  ASSERT_GE(outcome, 0);
  EXPECT_LE(offset, 14u * 3600u);
  EXPECT_EQ(offset % 60, 0u) << "zone offsets are whole minutes";
  std::uint32_t apart = 0;
  (void)DateTimes()->SecondsBetween(&utc, &local, &apart);
  EXPECT_LE(apart > offset ? apart - offset : offset - apart, 5u);
}

}  // namespace
}  // namespace sfx
