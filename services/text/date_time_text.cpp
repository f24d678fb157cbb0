// Date texts: the three layouts of protocol-header dates (RFC 1123, RFC 850
// and asctime, as RFC 2616 lists them), the time of day, and the library's
// slash layout 'year/month/day hour:minute:second'.
//
// Texts are untrusted: every read is bounded by the cursor's remaining
// length, and numbers too long for 32 bits read as 0xFFFFFFFF (the string
// service's scanner wraps), so that they fail their range checks instead of
// passing as small values. Separators are not checked: any one byte passes.
#include "services/text/date_time.h"
#include "services/text/date_time_p.h"
#include "services/text/string_service.h"

namespace sfx {
namespace {

// ---- name tables ----

// Indexed by the DayOfWeek number (0 is Monday).
const LengthPrefixedString* const kWeekdayNames[7] = {
    reinterpret_cast<const LengthPrefixedString*>("\3Mon"), reinterpret_cast<const LengthPrefixedString*>("\3Tue"),
    reinterpret_cast<const LengthPrefixedString*>("\3Wed"), reinterpret_cast<const LengthPrefixedString*>("\3Thu"),
    reinterpret_cast<const LengthPrefixedString*>("\3Fri"), reinterpret_cast<const LengthPrefixedString*>("\3Sat"),
    reinterpret_cast<const LengthPrefixedString*>("\3Sun")};

// Indexed by month - 1.
const LengthPrefixedString* const kMonthNames[12] = {
    reinterpret_cast<const LengthPrefixedString*>("\3Jan"), reinterpret_cast<const LengthPrefixedString*>("\3Feb"),
    reinterpret_cast<const LengthPrefixedString*>("\3Mar"), reinterpret_cast<const LengthPrefixedString*>("\3Apr"),
    reinterpret_cast<const LengthPrefixedString*>("\3May"), reinterpret_cast<const LengthPrefixedString*>("\3Jun"),
    reinterpret_cast<const LengthPrefixedString*>("\3Jul"), reinterpret_cast<const LengthPrefixedString*>("\3Aug"),
    reinterpret_cast<const LengthPrefixedString*>("\3Sep"), reinterpret_cast<const LengthPrefixedString*>("\3Oct"),
    reinterpret_cast<const LengthPrefixedString*>("\3Nov"), reinterpret_cast<const LengthPrefixedString*>("\3Dec")};

// The month names sorted for the case-insensitive binary search, and their numbers.
const LengthPrefixedString* const kSortedMonthNames[12] = {
    reinterpret_cast<const LengthPrefixedString*>("\3Apr"), reinterpret_cast<const LengthPrefixedString*>("\3Aug"),
    reinterpret_cast<const LengthPrefixedString*>("\3Dec"), reinterpret_cast<const LengthPrefixedString*>("\3Feb"),
    reinterpret_cast<const LengthPrefixedString*>("\3Jan"), reinterpret_cast<const LengthPrefixedString*>("\3Jul"),
    reinterpret_cast<const LengthPrefixedString*>("\3Jun"), reinterpret_cast<const LengthPrefixedString*>("\3Mar"),
    reinterpret_cast<const LengthPrefixedString*>("\3May"), reinterpret_cast<const LengthPrefixedString*>("\3Nov"),
    reinterpret_cast<const LengthPrefixedString*>("\3Oct"), reinterpret_cast<const LengthPrefixedString*>("\3Sep")};
constexpr std::uint8_t kSortedMonthNumbers[12] = {4, 8, 12, 2, 1, 7, 6, 3, 5, 11, 10, 9};

constexpr std::uint32_t kNameLength = 3;

// ---- reading ----

bool AtEnd(const TextCursor& c) { return c.remaining == 0; }

void SkipByte(TextCursor* c) {
  ++c->next;
  --c->remaining;
}

void SkipWhitespace(TextCursor* c) { (void)Strings()->SkipWhitespace(c); }

// A decimal number after white space; no digits read as 0, and a value above
// 32 bits as 0xFFFFFFFF.
std::uint32_t ReadNumber(TextCursor* c) {
  (void)Strings()->ScanUnsigned(c, nullptr);
  std::uint64_t v = 0;
  for (std::uint32_t i = 0; i < c->tokenLength; ++i) {
    v = v * 10 + static_cast<std::uint32_t>(c->tokenStart[i] - '0');
    if (v > 0xFFFFFFFFu) return 0xFFFFFFFFu;
  }
  return static_cast<std::uint32_t>(v);
}

Result ReadMonthName(TextCursor* c, std::uint32_t* month) {
  SkipWhitespace(c);
  if (c->remaining < kNameLength) return kDateBadMonth;
  std::uint32_t index = 0;
  const Result found = Strings()->FindSpanNoCase(kSortedMonthNames, 12, c->next, kNameLength, &index);
  c->next += kNameLength;
  c->remaining -= kNameLength;
  if (found != kStringFound || index >= 12) return kDateBadMonth;
  *month = kSortedMonthNumbers[index];
  return kOk;
}

// Hour, then minute and second when text remains for them (missing parts are
// 0). The record's time fields change only when all three are valid.
Result ReadTime(TextCursor* c, DateTimeRecord* out) {
  const std::uint32_t hour = ReadNumber(c);
  if (hour > 23) return kDateBadHour;
  std::uint32_t minute = 0, second = 0;
  if (!AtEnd(*c)) {
    SkipByte(c);
    minute = ReadNumber(c);
    if (minute > 59) return kDateBadMinute;
    if (!AtEnd(*c)) {
      SkipByte(c);
      second = ReadNumber(c);
      if (second > 59) return kDateBadSecond;
    }
  }
  out->hour = static_cast<std::uint8_t>(hour);
  out->minute = static_cast<std::uint8_t>(minute);
  out->second = static_cast<std::uint8_t>(second);
  return kOk;
}

// The date fields of a parse, checked against the month's length.
struct DateFields {
  std::uint32_t year = 0, month = 0, day = 0;
};

Result CheckDay(DateTimeService* s, const DateFields& f) {
  std::uint8_t length = 0;
  SFX_TRY(s->DaysInMonth(f.year, f.month, &length));
  return f.day > length ? kDateBadDay : kOk;
}

void StoreDate(const DateFields& f, DateTimeRecord* out) {
  out->year = static_cast<std::uint16_t>(f.year);
  out->month = static_cast<std::uint8_t>(f.month);
  out->day = static_cast<std::uint8_t>(f.day);
  out->hundredths = 0;
}

// '06 Nov 1994 08:49:37 GMT'
Result ReadRfc1123Body(DateTimeService* s, TextCursor* c, DateTimeRecord* out) {
  DateFields f;
  f.day = ReadNumber(c);
  if (f.day == 0) return kDateBadDay;
  SFX_TRY(ReadMonthName(c, &f.month));
  SkipWhitespace(c);
  f.year = ReadNumber(c);
  if (f.year > datetime::kMaxYear) return kDateBadYear;
  SFX_TRY(CheckDay(s, f));
  SkipWhitespace(c);
  DateTimeRecord time = *out;
  SFX_TRY(ReadTime(c, &time));
  *out = time;
  StoreDate(f, out);
  return kOk;
}

// '06-Nov-94 08:49:37 GMT'. Two-digit years 70..99 are 1970..1999, 0..69 are 2000..2069.
Result ReadRfc850Body(DateTimeService* s, TextCursor* c, DateTimeRecord* out) {
  DateFields f;
  f.day = ReadNumber(c);
  if (f.day == 0) return kDateBadDay;
  if (AtEnd(*c)) return kDateBadMonth;
  SkipByte(c);
  SFX_TRY(ReadMonthName(c, &f.month));
  if (AtEnd(*c)) return kDateBadYear;
  SkipByte(c);
  f.year = ReadNumber(c);
  if (f.year < 100) f.year += f.year >= 70 ? 1900 : 2000;
  if (f.year > datetime::kMaxYear) return kDateBadYear;
  SFX_TRY(CheckDay(s, f));
  SkipWhitespace(c);
  DateTimeRecord time = *out;
  SFX_TRY(ReadTime(c, &time));
  *out = time;
  StoreDate(f, out);
  return kOk;
}

// 'Nov  6 08:49:37 1994'. The time stands before the year, and a valid time
// reaches the record even when the year or the day then fails.
Result ReadAsctimeBody(DateTimeService* s, TextCursor* c, DateTimeRecord* out) {
  DateFields f;
  SFX_TRY(ReadMonthName(c, &f.month));
  f.day = ReadNumber(c);
  if (f.day == 0) return kDateBadDay;
  SkipWhitespace(c);
  SFX_TRY(ReadTime(c, out));
  SkipWhitespace(c);
  f.year = ReadNumber(c);
  if (f.year > datetime::kMaxYear) return kDateBadYear;
  SFX_TRY(CheckDay(s, f));
  StoreDate(f, out);
  return kOk;
}

bool HasDash(const TextCursor& c) {
  TextCursor ahead = c;
  return Strings()->ScanToChar(&ahead, '-') == kStringFound;
}

// ---- writing ----

// The last two decimal digits: each field other than the year has exactly
// two characters, whatever its value.
void PutTwoDigits(std::uint32_t v, char* out) {
  out[0] = static_cast<char>('0' + v / 10 % 10);
  out[1] = static_cast<char>('0' + v % 10);
}

void PutName(const LengthPrefixedString* name, char* out) {
  for (std::uint32_t i = 0; i < kNameLength; ++i) out[i] = static_cast<char>(name[1 + i]);
}

// 'hh:mm:ss', no terminator.
void PutTime(const DateTimeRecord& r, char* out) {
  PutTwoDigits(r.hour, out);
  out[2] = ':';
  PutTwoDigits(r.minute, out + 3);
  out[5] = ':';
  PutTwoDigits(r.second, out + 6);
}

TextCursor CursorOver(const char* text, std::uint32_t length) {
  // A null text is an empty one.
  if (text == nullptr) length = 0;
  return TextCursor{text, length, text, 0};
}

}  // namespace

Result DateTimeService::ParseHeaderDate(const char* text, std::uint32_t length, DateTimeRecord* out) {
  if (out == nullptr) return kNullOutput;
  TextCursor c = CursorOver(text, length);
  SkipWhitespace(&c);
  // Only the weekday word's length tells the layouts apart; its letters are not read.
  if (Strings()->ScanToAnyOf(&c, " ,", 2) != kStringFound) return kDateNoHeaderForm;
  const std::uint32_t wordLength = c.tokenLength;
  const char delimiter = *c.next;
  SkipByte(&c);
  if (wordLength != kNameLength || HasDash(c)) return ReadRfc850Body(this, &c, out);
  return delimiter == ',' ? ReadRfc1123Body(this, &c, out) : ReadAsctimeBody(this, &c, out);
}

Result DateTimeService::FormatHeaderDate(const DateTimeRecord* r, char* output) {
  if (r == nullptr || output == nullptr) return kNullOutput;
  std::uint8_t weekday = 0;
  if (Failed(DayOfWeek(r, &weekday))) return kDateNoWeekday;
  if (r->year > 9999) return kDateBadYear;
  char* o = output;
  PutName(kWeekdayNames[weekday <= 5 ? weekday : 6], o);
  o[3] = ',';
  o[4] = ' ';
  PutTwoDigits(r->day, o + 5);
  o[7] = ' ';
  PutName(kMonthNames[r->month >= 1 && r->month <= 11 ? r->month - 1 : 11], o + 8);
  o[11] = ' ';
  PutTwoDigits(r->year / 100, o + 12);
  PutTwoDigits(r->year % 100, o + 14);
  o[16] = ' ';
  PutTime(*r, o + 17);
  o[25] = ' ';
  o[26] = 'G';
  o[27] = 'M';
  o[28] = 'T';
  return kOk;
}

Result DateTimeService::ParseTimeOfDay(const char* text, std::uint32_t length, DateTimeRecord* out) {
  if (out == nullptr) return kNullOutput;
  TextCursor c = CursorOver(text, length);
  SkipWhitespace(&c);
  return ReadTime(&c, out);
}

Result DateTimeService::FormatTimeOfDay(const DateTimeRecord* r, char* output) {
  if (r == nullptr || output == nullptr) return kNullOutput;
  PutTime(*r, output);
  output[8] = '\0';
  return kOk;
}

Result DateTimeService::ParseDateTime(const char* text, std::uint32_t length, DateTimeRecord* out) {
  if (out == nullptr) return kNullOutput;
  TextCursor c = CursorOver(text, length);
  DateFields f;
  f.year = ReadNumber(&c);
  if (f.year == 0 || f.year > datetime::kMaxYear) return kDateBadYear;
  if (AtEnd(c)) return kDateBadMonth;
  SkipByte(&c);
  f.month = ReadNumber(&c);
  if (f.month == 0 || f.month > 12) return kDateBadMonth;
  if (AtEnd(c)) return kDateBadDay;
  SkipByte(&c);
  f.day = ReadNumber(&c);
  if (f.day == 0 || f.day > 31) return kDateBadDay;
  SFX_TRY(CheckDay(this, f));
  SkipWhitespace(&c);
  DateTimeRecord time = *out;
  SFX_TRY(ReadTime(&c, &time));
  *out = time;
  StoreDate(f, out);
  return kOk;
}

Result DateTimeService::FormatDateTime(const DateTimeRecord* r, char* output) {
  if (r == nullptr || output == nullptr) return kNullOutput;
  std::uint32_t n = 0;
  SFX_TRY(Strings()->FormatUnsignedPadded(r->year, 4, output, &n));
  char* o = output + n;
  o[0] = '/';
  PutTwoDigits(r->month, o + 1);
  o[3] = '/';
  PutTwoDigits(r->day, o + 4);
  o[6] = ' ';
  PutTime(*r, o + 7);
  o[15] = '\0';
  return kOk;
}

}  // namespace sfx
