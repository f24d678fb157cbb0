#include "platform/posix/time_zone_p.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

// The results must match the C library's own, quirks included, because file
// times set by earlier launchers were computed by it: a zone string it half
// understands keeps the half it understood, rule years before 1970 count from
// 1970, a reading inside a gap resolves as its mktime resolves it.

namespace sfx::platform::detail {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr const char kDefaultZoneFile[] = "/etc/localtime";
constexpr const char kDefaultZoneFolder[] = "/usr/share/zoneinfo";

// ---- compiled zone files ("TZif") ----
// Header: magic, version byte ('\0' for the first version, else '2', '3', ...),
// 15 reserved bytes, then six big-endian 32-bit counts in this order.
constexpr char kTzifMagic[4] = {'T', 'Z', 'i', 'f'};
constexpr std::size_t kTzifVersionAt = 4;
constexpr std::size_t kTzifCountsAt = 20;
constexpr std::size_t kTzifHeaderSize = 44;
enum TzifCount { kIsUtCnt, kIsStdCnt, kLeapCnt, kTimeCnt, kTypeCnt, kCharCnt, kTzifCounts };
static_assert(kTzifCountsAt + 4 * kTzifCounts == kTzifHeaderSize);
// A local time type: utoff (signed 32 bits), isdst (8), desigidx (8).
constexpr std::size_t kTzifTypeSize = 6;

// Real zone files hold a few hundred transitions in a few kilobytes; these
// bounds only stop hostile files.
constexpr std::size_t kMaxZoneFileSize = 256 * 1024;
constexpr std::uint32_t kMaxTransitions = 8192;
constexpr std::uint32_t kMaxTypes = 256;
constexpr std::size_t kMaxZoneText = 1024;
constexpr std::size_t kMaxPath = 4096;

// ---- rule strings ----
// A change of rule falls on day n of the year counted from 0 ("n"), on day n
// counted from 1 with February 29 never counted ("Jn"), or on weekday d of
// week n of month m ("Mm.n.d"). A rule left unparsed stays all zero.
enum class ChangeDay : std::uint8_t { kYearDay, kJulianDay, kMonthWeekDay };

struct ChangeRule {
  ChangeDay kind;
  unsigned short month, week, day;
  std::int32_t secondOfDay;  // local time of the change, default 02:00
  std::int32_t offset;       // local = UTC + offset while this rule holds
};

// [0]: standard time, and when daylight saving time begins;
// [1]: daylight saving time, and when it ends.
struct ZoneRules {
  ChangeRule rule[2];
};

struct Zone {
  bool fromFile;
  std::uint32_t transitionCount;
  std::uint32_t typeCount;
  std::int64_t transitions[kMaxTransitions];
  std::uint8_t transitionType[kMaxTransitions];
  std::int32_t typeOffset[kMaxTypes];
  bool typeDst[kMaxTypes];
  bool hasFooter;   // a file's rules for the times after its last transition
  ZoneRules rules;  // the footer, or TZ itself when no file was read
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool IsLeapYear(std::int64_t y) { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); }

std::int64_t FloorDivide(std::int64_t a, std::int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

// The proleptic Gregorian year of a day counted from 1970-01-01.
std::int64_t YearOfDay(std::int64_t z) {
  z += 719468;
  const std::int64_t era = FloorDivide(z, 146097);
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  return yoe + era * 400 + (mp >= 10);
}

// Up to three numbers "h[:m[:s]]", each read as an unsigned short the way
// scanf's %hu reads it (wrapping, saturating on overflow). Returns how many
// were read; *end is just past the last one.
int ReadClockFields(const char* text, unsigned short fields[3], const char** end) {
  *end = text;
  const char* p = text;
  int count = 0;
  for (; count < 3; ++count) {
    if (count > 0) {
      if (*p != ':') break;
      ++p;
    }
    if (!IsDigit(*p)) break;
    std::uint64_t value = 0;
    for (; IsDigit(*p); ++p) value = value > 0xFFFFFFFFFFFFull ? ~0ull : value * 10 + static_cast<unsigned>(*p - '0');
    fields[count] = static_cast<unsigned short>(value);
    *end = p;
  }
  return count;
}

// A zone name: three or more letters, or "<...>" holding three or more
// letters, digits, '+' and '-'.
bool ParseZoneName(const char** text) {
  const char* p = *text;
  while (IsLetter(*p)) ++p;
  if (p - *text >= 3) {
    *text = p;
    return true;
  }
  p = *text;
  if (*p++ != '<') return false;
  const char* start = p;
  while (IsLetter(*p) || IsDigit(*p) || *p == '+' || *p == '-') ++p;
  if (*p != '>' || p - start < 3) return false;
  *text = p + 1;
  return true;
}

// "[+|-]hh[:mm[:ss]]" west of Greenwich is positive. A missing daylight
// offset is one hour ahead of standard time.
bool ParseOffset(const char** text, int which, ZoneRules* zone) {
  const char* p = *text;
  if (which == 0 && *p != '+' && *p != '-' && !IsDigit(*p)) return false;
  std::int32_t sign = -1;
  if (*p == '+' || *p == '-') sign = *p++ == '-' ? 1 : -1;
  *text = p;
  unsigned short f[3] = {0, 0, 0};
  const char* end;
  if (ReadClockFields(p, f, &end) > 0) {
    const std::int32_t hours = f[0] < 24 ? f[0] : 24;
    const std::int32_t minutes = f[1] < 59 ? f[1] : 59;
    const std::int32_t seconds = f[2] < 59 ? f[2] : 59;
    zone->rule[which].offset = sign * (hours * 3600 + minutes * 60 + seconds);
  } else if (which == 0) {
    zone->rule[0].offset = 0;
    return false;
  } else {
    zone->rule[1].offset = zone->rule[0].offset + 3600;
  }
  *text = end;
  return true;
}

bool ParseChangeRule(const char** text, int which, ZoneRules* zone) {
  const char* p = *text;
  ChangeRule& r = zone->rule[which];
  p += *p == ',';
  if (*p == 'J' || IsDigit(*p)) {
    r.kind = *p == 'J' ? ChangeDay::kJulianDay : ChangeDay::kYearDay;
    if (r.kind == ChangeDay::kJulianDay && !IsDigit(*++p)) return false;
    std::uint64_t day = 0;
    for (; IsDigit(*p); ++p) day = day > 1000 ? day : day * 10 + static_cast<unsigned>(*p - '0');
    if (day > 365 || (r.kind == ChangeDay::kJulianDay && day == 0)) return false;
    r.day = static_cast<unsigned short>(day);
  } else if (*p == 'M') {
    // Fields are stored as they are read, as scanf stores them.
    r.kind = ChangeDay::kMonthWeekDay;
    unsigned short* const parts[3] = {&r.month, &r.week, &r.day};
    ++p;
    for (int i = 0; i < 3; ++i) {
      if (i > 0 && *p++ != '.') return false;
      unsigned short f[3];
      const char* end;
      if (ReadClockFields(p, f, &end) == 0) return false;
      *parts[i] = f[0];
      p = end;
    }
    if (r.month < 1 || r.month > 12 || r.week < 1 || r.week > 5 || r.day > 6) return false;
  } else if (*p == '\0') {
    // No rule: the United States' rules since 2007.
    r.kind = ChangeDay::kMonthWeekDay;
    r.month = which == 0 ? 3 : 11;
    r.week = which == 0 ? 2 : 1;
    r.day = 0;
  } else {
    return false;
  }
  if (*p != '\0' && *p != '/' && *p != ',') return false;
  if (*p == '/') {
    ++p;
    if (*p == '\0') return false;
    const bool negative = *p == '-';
    p += negative;
    unsigned short f[3] = {2, 0, 0};
    const char* end;
    (void)ReadClockFields(p, f, &end);  // nothing read keeps 02:00
    p = end;
    r.secondOfDay = (negative ? -1 : 1) * (f[0] * 3600 + f[1] * 60 + f[2]);
  } else {
    r.secondOfDay = 2 * 3600;
  }
  *text = p;
  return true;
}

// Whatever part of the string parses is kept; the rest stays UTC's zeros.
void ParseRuleString(const char* text, ZoneRules* zone) {
  std::memset(zone, 0, sizeof *zone);
  if (!ParseZoneName(&text) || !ParseOffset(&text, 0, zone)) return;
  if (*text == '\0') {
    zone->rule[1].offset = zone->rule[0].offset;
    return;
  }
  if (ParseZoneName(&text)) (void)ParseOffset(&text, 1, zone);                 // always succeeds for daylight time
  if (ParseChangeRule(&text, 0, zone)) (void)ParseChangeRule(&text, 1, zone);  // a failed end keeps its zeros
}

// The instant of a change in `year`. Years up to 1970 count days from
// 1970-01-01, as the C library does.
std::int64_t ChangeInstant(const ChangeRule& r, std::int64_t year) {
  static constexpr unsigned short kMonthStart[2][13] = {{0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
                                                        {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366}};
  std::int64_t t = 0;
  if (year > 1970) {
    t = ((year - 1970) * 365 + ((year - 1) / 4 - 1970 / 4) - ((year - 1) / 100 - 1970 / 100) +
         ((year - 1) / 400 - 1970 / 400)) *
        kSecondsPerDay;
  }
  const int leap = IsLeapYear(year) ? 1 : 0;
  switch (r.kind) {
    case ChangeDay::kJulianDay: t += (r.day - 1) * kSecondsPerDay + (r.day >= 60 && leap ? kSecondsPerDay : 0); break;
    case ChangeDay::kYearDay: t += r.day * kSecondsPerDay; break;
    case ChangeDay::kMonthWeekDay: {
      const unsigned short* monthStart = &kMonthStart[leap][r.month];
      t += monthStart[-1] * kSecondsPerDay;
      // Zeller's congruence: the weekday of the month's first day.
      const std::int64_t m1 = (r.month + 9) % 12 + 1;
      const std::int64_t yy0 = r.month <= 2 ? year - 1 : year;
      const std::int64_t yy1 = yy0 / 100;
      const std::int64_t yy2 = yy0 % 100;
      std::int64_t dow = ((26 * m1 - 2) / 10 + 1 + yy2 + yy2 / 4 + yy1 / 4 - 2 * yy1) % 7;
      if (dow < 0) dow += 7;
      std::int64_t d = r.day - dow;
      if (d < 0) d += 7;
      for (unsigned i = 1; i < r.week; ++i) {
        if (d + 7 >= monthStart[0] - monthStart[-1]) break;
        d += 7;
      }
      t += d * kSecondsPerDay;
      break;
    }
  }
  return t - r.offset + r.secondOfDay;
}

void RulesAt(const ZoneRules& zone, std::int64_t t, std::int32_t* offset, bool* dst) {
  const std::int64_t year = YearOfDay(FloorDivide(t, kSecondsPerDay));
  const std::int64_t begins = ChangeInstant(zone.rule[0], year);
  const std::int64_t ends = ChangeInstant(zone.rule[1], year);
  // South of the equator daylight saving time spans the new year.
  *dst = begins > ends ? (t < ends || t >= begins) : (t >= begins && t < ends);
  *offset = zone.rule[*dst ? 1 : 0].offset;
}

std::uint32_t ReadBig32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

std::int64_t ReadBig64(const std::uint8_t* p) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(ReadBig32(p)) << 32 | ReadBig32(p + 4));
}

// Reads one header at `at`; false when it is not there whole.
bool ReadTzifHeader(const std::uint8_t* data, std::size_t size, std::size_t at, std::uint32_t counts[kTzifCounts]) {
  if (size < kTzifHeaderSize || at > size - kTzifHeaderSize) return false;
  if (std::memcmp(data + at, kTzifMagic, sizeof kTzifMagic) != 0) return false;
  for (int i = 0; i < kTzifCounts; ++i) counts[i] = ReadBig32(data + at + kTzifCountsAt + 4 * i);
  return true;
}

// The size of one data block after its header; times are 4 or 8 bytes wide.
// The counts come from the file: summed in 64 bits they cannot overflow.
std::uint64_t TzifBlockSize(const std::uint32_t counts[kTzifCounts], std::uint64_t timeWidth) {
  return std::uint64_t{counts[kTimeCnt]} * (timeWidth + 1) + std::uint64_t{counts[kTypeCnt]} * kTzifTypeSize +
         counts[kCharCnt] + std::uint64_t{counts[kLeapCnt]} * (timeWidth + 4) + counts[kIsStdCnt] + counts[kIsUtCnt];
}

// Leap-second records are skipped: no zone installed by default has them.
bool ParseTzif(const std::uint8_t* data, std::size_t size, Zone* zone, char* footer) {
  std::uint32_t counts[kTzifCounts];
  if (!ReadTzifHeader(data, size, 0, counts)) return false;
  std::size_t at = kTzifHeaderSize;
  std::uint64_t timeWidth = 4;
  if (data[kTzifVersionAt] != '\0') {
    // Later versions repeat the data with 64-bit times after the first block.
    const std::uint64_t skip = TzifBlockSize(counts, 4);
    if (skip > size - at || !ReadTzifHeader(data, size, at + skip, counts)) return false;
    at += skip + kTzifHeaderSize;
    timeWidth = 8;
  }
  const std::uint64_t block = TzifBlockSize(counts, timeWidth);
  if (block > size - at) return false;
  const std::uint32_t timeCount = counts[kTimeCnt];
  const std::uint32_t typeCount = counts[kTypeCnt];
  if (timeCount > kMaxTransitions || typeCount == 0 || typeCount > kMaxTypes) return false;
  const std::uint8_t* times = data + at;
  const std::uint8_t* indexes = times + timeCount * timeWidth;
  const std::uint8_t* types = indexes + timeCount;
  for (std::uint32_t i = 0; i < timeCount; ++i) {
    zone->transitions[i] =
        timeWidth == 8 ? ReadBig64(times + 8 * i) : static_cast<std::int32_t>(ReadBig32(times + 4 * i));
    zone->transitionType[i] = indexes[i];
    if (indexes[i] >= typeCount) return false;
  }
  for (std::uint32_t i = 0; i < typeCount; ++i) {
    const std::uint8_t* type = types + i * kTzifTypeSize;
    if (type[4] > 1 || type[5] >= counts[kCharCnt]) return false;
    zone->typeOffset[i] = static_cast<std::int32_t>(ReadBig32(type));
    zone->typeDst[i] = type[4] != 0;
  }
  zone->transitionCount = timeCount;
  zone->typeCount = typeCount;
  // The footer: a newline, the rule string, and one last byte (the closing
  // newline), which is not part of the string.
  footer[0] = '\0';
  at += block;
  if (timeWidth == 8 && at < size && data[at] == '\n' && size - at - 1 > 0) {
    const std::size_t length = size - at - 2;
    if (length >= kMaxZoneText) return false;
    std::memcpy(footer, data + at + 1, length);
    footer[length] = '\0';
  }
  return true;
}

// ---- the zone in use, cached while TZ and TZDIR stay the same ----
struct ZoneCache {
  bool valid;
  bool tzSet;
  char tz[kMaxPath];
  char tzdir[kMaxPath];
  std::int64_t offsetGuess;  // mktime's starting point: the last offset found
  std::uint8_t file[kMaxZoneFileSize];
  char footer[kMaxZoneText];
  Zone zone;
};

pthread_mutex_t g_zoneLock = PTHREAD_MUTEX_INITIALIZER;
ZoneCache g_cache;

bool ReadZoneFile(const char* name, const char* tzdir, ZoneCache* cache) {
  char path[kMaxPath];
  const std::size_t nameLength = std::strlen(name);
  if (name[0] == '/') {
    if (nameLength >= sizeof path) return false;
    std::memcpy(path, name, nameLength + 1);
  } else {
    const char* folder = tzdir != nullptr && *tzdir != '\0' ? tzdir : kDefaultZoneFolder;
    const std::size_t folderLength = std::strlen(folder);
    if (folderLength + 1 + nameLength >= sizeof path) return false;
    std::memcpy(path, folder, folderLength);
    path[folderLength] = '/';
    std::memcpy(path + folderLength + 1, name, nameLength + 1);
  }
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::size_t size = 0;
  while (size < sizeof cache->file) {
    const ssize_t got = ::read(fd, cache->file + size, sizeof cache->file - size);
    if (got < 0) {
      ::close(fd);
      return false;
    }
    if (got == 0) break;
    size += static_cast<std::size_t>(got);
  }
  ::close(fd);
  if (size == sizeof cache->file) return false;  // larger than any real zone
  if (!ParseTzif(cache->file, size, &cache->zone, cache->footer)) return false;
  cache->zone.hasFooter = cache->footer[0] != '\0';
  if (cache->zone.hasFooter) ParseRuleString(cache->footer, &cache->zone.rules);
  return true;
}

void LoadZone(const char* tz, const char* tzdir, ZoneCache* cache) {
  Zone& zone = cache->zone;
  zone.fromFile = false;
  zone.transitionCount = 0;
  std::memset(&zone.rules, 0, sizeof zone.rules);
  if (tz != nullptr && *tz == '\0') return;  // UTC
  if (tz != nullptr && *tz == ':') ++tz;
  const char* name = tz != nullptr ? tz : kDefaultZoneFile;
  if (ReadZoneFile(name, tzdir, cache)) {
    zone.fromFile = true;
    return;
  }
  zone.transitionCount = 0;
  if (*name == '\0' || std::strcmp(name, kDefaultZoneFile) == 0) return;  // UTC
  ParseRuleString(name, &zone.rules);
}

bool SameText(const char* cached, const char* current) {
  return std::strcmp(cached, current == nullptr ? "" : current) == 0;
}

void CopyText(char* to, const char* from) {
  const std::size_t length = from == nullptr ? 0 : std::strlen(from);
  std::memcpy(to, from == nullptr ? "" : from, length);
  to[length] = '\0';
}

// The zone for the current TZ and TZDIR, reloaded when either changed.
// Called with the lock held.
const Zone& CurrentZone() {
  const char* tz = std::getenv("TZ");
  const char* tzdir = std::getenv("TZDIR");
  const bool cacheable =
      (tz == nullptr || std::strlen(tz) < kMaxPath) && (tzdir == nullptr || std::strlen(tzdir) < kMaxPath);
  if (!g_cache.valid || !cacheable || g_cache.tzSet != (tz != nullptr) || !SameText(g_cache.tz, tz) ||
      !SameText(g_cache.tzdir, tzdir)) {
    LoadZone(tz, tzdir, &g_cache);
    g_cache.valid = cacheable;
    g_cache.tzSet = tz != nullptr;
    if (cacheable) {
      CopyText(g_cache.tz, tz);
      CopyText(g_cache.tzdir, tzdir);
    }
  }
  return g_cache.zone;
}

void OffsetAt(const Zone& zone, std::int64_t t, std::int32_t* offset, bool* dst) {
  if (!zone.fromFile) return RulesAt(zone.rules, t, offset, dst);
  const std::uint32_t count = zone.transitionCount;
  std::uint32_t type;
  if (count == 0 || t < zone.transitions[0]) {
    // Before the first transition: the first standard-time type.
    type = 0;
    while (type < zone.typeCount && zone.typeDst[type]) ++type;
    if (type == zone.typeCount) type = 0;
  } else if (t >= zone.transitions[count - 1]) {
    if (zone.hasFooter) return RulesAt(zone.rules, t, offset, dst);
    type = zone.transitionType[count - 1];
  } else {
    // The last transition at or before t.
    std::uint32_t lo = 0, hi = count - 1;
    while (hi - lo > 1) {
      const std::uint32_t mid = lo + (hi - lo) / 2;
      (t < zone.transitions[mid] ? hi : lo) = mid;
    }
    type = zone.transitionType[lo];
  }
  *offset = zone.typeOffset[type];
  *dst = zone.typeDst[type];
}

class ZoneLock {
 public:
  ZoneLock() { pthread_mutex_lock(&g_zoneLock); }
  ~ZoneLock() { pthread_mutex_unlock(&g_zoneLock); }
  ZoneLock(const ZoneLock&) = delete;
  ZoneLock& operator=(const ZoneLock&) = delete;
};

}  // namespace

bool ZoneOffsetAt(std::int64_t utcSeconds, std::int32_t* offset) {
  ZoneLock lock;
  bool dst;
  OffsetAt(CurrentZone(), utcSeconds, offset, &dst);
  return true;
}

bool ZoneLocalToUtc(std::int64_t localSeconds, std::int64_t* utcSeconds) {
  ZoneLock lock;
  const Zone& zone = CurrentZone();
  // Probe: take an instant, see what local clocks read then, and move by the
  // difference. Starting from the last call's offset, the first probe is
  // usually right. Where the reading never occurs the probes swing between
  // two instants, one on each side of the change; the C library then stops
  // where the swing is first seen, unless that instant is standard time and
  // the other daylight time, and so does this.
  const std::int64_t first = localSeconds - g_cache.offsetGuess;
  std::int64_t t = first, t1 = first, t2 = first;
  bool previousDst = false;
  for (int probesLeft = 6;; --probesLeft) {
    std::int32_t offset;
    bool dst;
    OffsetAt(zone, t, &offset, &dst);
    const std::int64_t miss = localSeconds - (t + offset);
    if (miss == 0) break;
    if (t == t1 && t != t2 && (dst || !previousDst)) break;
    if (probesLeft == 1) return false;
    t1 = t2;
    t2 = t;
    t += miss;
    previousDst = dst;
  }
  g_cache.offsetGuess = localSeconds - t;
  *utcSeconds = t;
  return true;
}

}  // namespace sfx::platform::detail
