// Selection masks as texts: '1,5,12' for hours, weeks and days of the month,
// 'Mon,Wed' for weekdays. Texts come from settings files and users and are
// untrusted; parsing never fails on their content.
#include "services/data/schedule.h"
#include "services/text/string_service.h"

namespace sfx {
namespace {

constexpr char kWeekdayNames[7][4] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
constexpr std::uint32_t kWeekdayNameLength = 3;

// The items of a number list: item v has mask bit v - first.
struct NumberRange {
  std::uint32_t first;
  std::uint32_t last;
};

bool RangeOf(std::uint32_t listKind, NumberRange* range) {
  switch (listKind) {
    case kScheduleListHours: *range = {0, 23}; return true;
    case kScheduleListWeeks: *range = {1, 5}; return true;
    case kScheduleListDays: *range = {1, 32}; return true;
    default: return false;
  }
}

bool IsDigit(unsigned char b) { return b >= '0' && b <= '9'; }

bool IsWeekdaySeparator(unsigned char b) { return b == ' ' || b == '\t' || b == '\n' || b == '\r' || b == ','; }

// Characters of one item's text: decimal without leading zeros, or a name.
std::uint32_t ItemLength(std::uint32_t listKind, std::uint32_t item) {
  if (listKind == kScheduleListWeekdays) return kWeekdayNameLength;
  return item >= 10 ? 2 : 1;
}

std::uint32_t WriteItem(std::uint32_t listKind, std::uint32_t item, char* out) {
  if (listKind == kScheduleListWeekdays) {
    for (std::uint32_t i = 0; i < kWeekdayNameLength; ++i) out[i] = kWeekdayNames[item][i];
    return kWeekdayNameLength;
  }
  if (item >= 10) {
    out[0] = static_cast<char>('0' + item / 10);
    out[1] = static_cast<char>('0' + item % 10);
    return 2;
  }
  out[0] = static_cast<char>('0' + item);
  return 1;
}

std::uint32_t ParseNumbers(const unsigned char* p, std::uint32_t n, NumberRange range) {
  std::uint32_t mask = 0;
  std::uint32_t i = 0;
  while (i < n) {
    if (!IsDigit(p[i])) {
      ++i;
      continue;
    }
    // The run's value saturates: any long run is above the last item.
    std::uint32_t v = 0;
    for (; i < n && IsDigit(p[i]); ++i) {
      v = v > range.last ? v : v * 10 + (p[i] - '0');
    }
    if (v < range.first) v = range.first;
    if (v > range.last) v = range.last;
    mask |= 1u << (v - range.first);
  }
  return mask;
}

std::uint32_t ParseWeekdays(const char* text, std::uint32_t n) {
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  std::uint32_t mask = 0;
  std::uint32_t i = 0;
  while (i < n) {
    while (i < n && IsWeekdaySeparator(p[i])) ++i;
    const std::uint32_t start = i;
    while (i < n && !IsWeekdaySeparator(p[i])) ++i;
    if (i - start < kWeekdayNameLength) continue;
    for (std::uint32_t d = 0; d < 7; ++d) {
      if (Strings()->CompareNoCase(text + start, kWeekdayNameLength, kWeekdayNames[d], kWeekdayNameLength) ==
          kStringEqual) {
        mask |= 1u << d;
        break;
      }
    }
  }
  return mask;
}

}  // namespace

Result ScheduleService::FormatScheduleList(std::uint32_t listKind, const std::uint32_t* mask, char* buffer,
                                           std::uint32_t* length) {
  NumberRange range{0, 6};
  if (listKind != kScheduleListWeekdays && !RangeOf(listKind, &range)) return kScheduleBadListKind;
  if (mask == nullptr) return kNullOutput;
  const std::uint32_t bits = range.last - range.first + 1;
  if (length != nullptr) {
    std::uint32_t required = 1;  // the zero byte
    bool any = false;
    for (std::uint32_t b = 0; b < bits; ++b) {
      if ((*mask >> b & 1u) == 0) continue;
      required += ItemLength(listKind, b + range.first) + (any ? 1 : 0);
      any = true;
    }
    const std::uint32_t capacity = *length;
    *length = required;
    if (buffer == nullptr) return kOk;
    if (required >= capacity) return kScheduleTooSmall;
  }
  if (buffer == nullptr) return kNullOutput;
  char* o = buffer;
  for (std::uint32_t b = 0; b < bits; ++b) {
    if ((*mask >> b & 1u) == 0) continue;
    if (o != buffer) *o++ = ',';
    o += WriteItem(listKind, listKind == kScheduleListWeekdays ? b : b + range.first, o);
  }
  *o = '\0';
  return kOk;
}

Result ScheduleService::ParseScheduleList(std::uint32_t listKind, const char* text, std::uint32_t length,
                                          std::uint32_t* mask) {
  NumberRange range{};
  if (listKind != kScheduleListWeekdays && !RangeOf(listKind, &range)) return kScheduleBadListKind;
  if (mask == nullptr) return kNullOutput;
  if (text == nullptr) {
    length = 0;
  } else if (length == 0) {
    SFX_TRY(Strings()->StringLength(text, &length));
  }
  if (listKind == kScheduleListWeekdays) {
    *mask = ParseWeekdays(text, length);
  } else {
    *mask = ParseNumbers(reinterpret_cast<const unsigned char*>(text), length, range);
  }
  return kOk;
}

}  // namespace sfx
