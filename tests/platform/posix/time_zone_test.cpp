// The POSIX backend's own time-zone reader against the C library's, which it
// replaces and must agree with: every zone kind (compiled files, rule
// strings, half-valid strings, names that lead nowhere), every transition
// between 1901 and 2106 to the second, readings in the gaps and overlaps they
// make, and damaged zone files.
#include "platform/posix/time_zone_p.h"
#include "platform/time.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/private_temp_folder.h"

namespace sfx {
namespace {

using platform::detail::ZoneLocalToUtc;
using platform::detail::ZoneOffsetAt;

void UseZone(const char* tz) {
  if (tz == nullptr) {
    unsetenv("TZ");
  } else {
    setenv("TZ", tz, 1);
  }
  tzset();
}

std::int32_t LibraryOffset(std::int64_t t) {
  const auto tt = static_cast<time_t>(t);
  std::tm fields{};
  if (localtime_r(&tt, &fields) == nullptr) return INT32_MIN;
  return static_cast<std::int32_t>(fields.tm_gmtoff);
}

std::int32_t OwnOffset(std::int64_t t) {
  std::int32_t offset = INT32_MIN;
  EXPECT_TRUE(ZoneOffsetAt(t, &offset));
  return offset;
}

// Both sides remember the last offset they found and start the next search
// from it, so they are always called in the same order.
void ExpectSameUtc(std::int64_t local, const char* zone) {
  const auto asTimeT = static_cast<time_t>(local);
  std::tm fields{};
  ASSERT_NE(gmtime_r(&asTimeT, &fields), nullptr);
  fields.tm_isdst = -1;
  errno = 0;
  const time_t expected = mktime(&fields);
  const bool libraryFailed = expected == static_cast<time_t>(-1) && errno != 0;
  std::int64_t utc = 0;
  const bool ok = ZoneLocalToUtc(local, &utc);
  EXPECT_EQ(ok, !libraryFailed) << zone << " local " << local;
  if (ok && !libraryFailed) {
    EXPECT_EQ(utc, static_cast<std::int64_t>(expected)) << zone << " local " << local;
  }
}

// Walks 1901-2106 in steps of a few days; where the offset changes, finds the
// change to the second and checks the instants beside it and the local
// readings around it (the gap or overlap it makes).
void CompareZone(const char* zone, std::int64_t step = 5 * 86400 + 3917) {
  UseZone(zone);
  int mismatches = 0;
  std::int64_t previous = -2147483648LL;
  std::int32_t previousOffset = LibraryOffset(previous);
  for (std::int64_t t = previous + step; t < 4354819200LL && mismatches < 5; t += step) {
    const std::int32_t offset = LibraryOffset(t);
    if (OwnOffset(t) != offset) ++mismatches;
    EXPECT_EQ(OwnOffset(t), offset) << zone << " at " << t;
    ExpectSameUtc(t + offset, zone);
    if (offset != previousOffset) {
      std::int64_t lo = previous, hi = t;  // offset(lo) == previousOffset, offset(hi) differs
      while (hi - lo > 1) {
        const std::int64_t mid = lo + (hi - lo) / 2;
        (LibraryOffset(mid) == previousOffset ? lo : hi) = mid;
      }
      EXPECT_EQ(OwnOffset(lo), LibraryOffset(lo)) << zone << " before change at " << hi;
      EXPECT_EQ(OwnOffset(hi), LibraryOffset(hi)) << zone << " at change " << hi;
      for (std::int64_t local = hi + previousOffset - 7200; local <= hi + previousOffset + 7200; local += 900) {
        ExpectSameUtc(local, zone);
      }
    }
    previous = t;
    previousOffset = offset;
  }
}

class TimeZoneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    saved_ = tz != nullptr;
    if (saved_) savedValue_ = tz;
  }
  void TearDown() override { UseZone(saved_ ? savedValue_.c_str() : nullptr); }

 private:
  bool saved_ = false;
  std::string savedValue_;
};

TEST_F(TimeZoneTest, CompiledZoneFilesAgree) {
  // Daylight time of 30 minutes, of two hours and below standard time; zones
  // that dropped daylight time, skipped a day, or sit at odd offsets.
  for (const char* zone :
       {"Europe/Berlin", "America/New_York", "Australia/Lord_Howe", "Europe/Dublin", "Antarctica/Troll",
        "Africa/Casablanca", "America/Sao_Paulo", "Pacific/Apia", "America/St_Johns", "Asia/Kathmandu", "UTC",
        ":Europe/Paris", "/usr/share/zoneinfo/Asia/Tokyo"}) {
    CompareZone(zone);
  }
}

TEST_F(TimeZoneTest, RuleStringsAgree) {
  for (const char* zone : {
           "XST5XDT,M3.2.0,M11.1.0",          // North America's rules, written out
           "ABC-1DEF,M3.5.0,M10.5.0/3",       // change at 03:00 local
           "NZS-12NZD,M9.5.0,M4.1.0/3",       // daylight time across the new year
           "AAA3BBB,J60/1:30,300/-1",         // Julian and zero-based days, negative time
           "<+0330>-3:30",                    // quoted name, minutes
           "AAA5:30:15",                      // seconds
           "AAA+14",                          // explicit sign
           "AAA-1BBB-3,M13.1.0,M1.1.0",       // bad month: half parsed
           "AAA-1BBB,M3.5.0,garbage",         // bad end rule
           "AAA-1BBB,M3.5.0/",                // time missing
           "AAA-1BBB,M3.5",                   // incomplete
           "AAA-99:99:99BBB,J365/25,J1/-25",  // out-of-range fields
           "A1",                              // not a name
           "Nowhere/Zone",                    // no file, not a rule: UTC
           "",                                // UTC
       }) {
    CompareZone(zone, 23 * 86400 + 1234);
  }
}

TEST_F(TimeZoneTest, DefaultZoneAgrees) { CompareZone(nullptr, 29 * 86400); }

// Damaged copies of a real zone file: each must be read as the C library
// reads it (mostly: refused, and the name then fails as a rule: UTC).
TEST_F(TimeZoneTest, DamagedZoneFilesAgree) {
  std::ifstream in("/usr/share/zoneinfo/Europe/Berlin", std::ios::binary);
  if (!in) GTEST_SKIP() << "no zone files installed";
  const std::vector<char> good{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  ASSERT_GT(good.size(), 200u);
  // The six counts of the header at `base`, in the file's order.
  const auto count = [&](std::size_t base, int i) {
    const auto* p = reinterpret_cast<const unsigned char*>(good.data()) + base + 20 + 4 * i;
    return std::size_t{p[0]} << 24 | std::size_t{p[1]} << 16 | std::size_t{p[2]} << 8 | p[3];
  };
  const std::size_t v1Size =
      44 + count(0, 3) * 5 + count(0, 4) * 6 + count(0, 5) + count(0, 2) * 8 + count(0, 1) + count(0, 0);
  const std::size_t v2Indexes = v1Size + 44 + count(v1Size, 3) * 8;
  ASSERT_GT(count(v1Size, 3), 10u);
  std::vector<std::vector<char>> variants;
  for (std::size_t cut : {std::size_t{0}, std::size_t{3}, std::size_t{43}, std::size_t{44}, v1Size, v1Size + 44,
                          good.size() / 2, good.size() - 30, good.size() - 2, good.size() - 1}) {
    variants.emplace_back(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
  }
  auto patched = [&](std::size_t at, char value) {
    variants.push_back(good);
    variants.back()[at] = value;
  };
  patched(v1Size + 20 + 4 * 3, '\x7f');  // 64-bit block: huge transition count
  patched(v1Size + 20 + 4 * 4, '\x7f');  // huge type count
  patched(v2Indexes + 5, '\x40');        // a transition to a type that does not exist
  patched(4, '\0');                      // first version only: the 32-bit data and no footer
  patched(good.size() - 5, 'x');         // footer rule damaged
  variants.push_back(good);
  variants.back().insert(variants.back().end(), {'j', 'u', 'n', 'k', '\n'});  // more after the footer

  const std::string folder = test::PrivateTempFolder().empty() ? "/tmp" : test::PrivateTempFolder();
  for (std::size_t i = 0; i < variants.size(); ++i) {
    const std::string path = folder + "/zone-" + std::to_string(i);
    std::ofstream(path, std::ios::binary).write(variants[i].data(), static_cast<std::streamsize>(variants[i].size()));
    SCOPED_TRACE("variant " + std::to_string(i));
    CompareZone(path.c_str(), 61 * 86400 + 77);
  }
}

// One second before 1970 in UTC is a valid answer, not the C library's
// error value: it used to be refused wherever the local date differed.
TEST_F(TimeZoneTest, TheLastSecondOf1969IsAValidAnswer) {
  constexpr std::uint64_t k1970 = 116444736000000000ull;  // 1970-01-01 00:00 in file-time units
  constexpr std::uint64_t kSecond = 10000000ull;
  UseZone("AAA-1");
  ExpectSameUtc(3599, "AAA-1");  // keeps both sides' last offset the same
  std::uint64_t utc = 0;
  ASSERT_TRUE(platform::LocalFileTimeToUtc(k1970 + 3599 * kSecond, &utc));
  EXPECT_EQ(utc, k1970 - kSecond);
}

TEST_F(TimeZoneTest, ChangingTzIsSeen) {
  UseZone("AAA-2");
  EXPECT_EQ(OwnOffset(0), 7200);
  UseZone("AAA+3");
  EXPECT_EQ(OwnOffset(0), -3 * 3600);
  setenv("TZDIR", "/nonexistent", 1);
  UseZone("Europe/Berlin");
  EXPECT_EQ(OwnOffset(0), LibraryOffset(0));  // both fall back to UTC
  unsetenv("TZDIR");
}

}  // namespace
}  // namespace sfx
