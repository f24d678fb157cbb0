// The cursor scanners of the string service and the header-style list parsers
// built on them: items separated by commas, each a token with '; name = value'
// parameters; 'name = value' pairs; attribute lists whose plain values may
// hold spaces. Pieces point into the caller's text; nothing is copied,
// unescaped or terminated.
//
// The cursor is trusted: a `remaining` larger than the real text makes these
// scanners read past it, as the caller asked.
#include "services/text/string_service.h"
#include "services/text/string_service_p.h"

namespace sfx {
namespace {

// Parameters an item may have before NextListItem stops skipping them.
constexpr std::uint32_t kMaxSkippedParameters = 4096;

unsigned char Peek(const TextCursor& c) { return static_cast<unsigned char>(*c.next); }

void Consume(TextCursor* c) {
  ++c->next;
  --c->remaining;
}

// Starts the token at the cursor and takes every following byte of the class.
void TakeClass(TextCursor* c, std::uint16_t byteClass) {
  c->tokenStart = c->next;
  c->tokenLength = 0;
  while (c->remaining > 0 && HasClass(Peek(*c), byteClass)) {
    Consume(c);
    ++c->tokenLength;
  }
}

// The number in the token's digits; wraps modulo 2^32 (scanning reports no overflow).
std::uint32_t TokenValue(const TextCursor& c, std::uint32_t base) {
  std::uint32_t v = 0;
  for (std::uint32_t i = 0; i < c.tokenLength; ++i)
    v = v * base + text::HexDigitValue(static_cast<unsigned char>(c.tokenStart[i]));
  return v;
}

TextCursor CursorAt(const char* next, std::uint32_t remaining) { return TextCursor{next, remaining, next, 0}; }

bool InSet(unsigned char byte, const char* set, std::uint32_t setLength) {
  for (std::uint32_t i = 0; i < setLength; ++i)
    if (static_cast<unsigned char>(set[i]) == byte) return true;
  return false;
}

// Reads a value after '=': white space, then a quoted string or a token. An
// unterminated quote takes the rest of the text (ScanQuoted's failure is not
// passed on). A ';' or ',' there ends an empty value and is left for the next
// call: a token scan would skip it and take the next parameter's name.
void ScanValue(StringService* s, TextCursor* c, ParameterCursor* out) {
  (void)s->SkipWhitespace(c);
  out->valueStart = c->next;
  if (c->remaining == 0 || Peek(*c) == ';' || Peek(*c) == ',') return;
  if (Peek(*c) == '"') {
    (void)s->ScanQuoted(c);
  } else {
    (void)s->ScanToken(c);
  }
  out->valueStart = c->tokenStart;
  out->valueLength = c->tokenLength;
}

void CopyPosition(const TextCursor& c, ParameterCursor* out) {
  out->next = c.next;
  out->remaining = c.remaining;
}

}  // namespace

// ---- single-step scanners ----

Result StringService::SkipWhitespace(TextCursor* cursor) {
  TakeClass(cursor, kClassSpace);
  return kOk;
}

Result StringService::TrimWhitespace(TextCursor* cursor) {
  const auto* p = reinterpret_cast<const unsigned char*>(cursor->next);
  std::uint32_t begin = 0;
  std::uint32_t end = cursor->remaining;
  while (begin < end && HasClass(p[begin], kClassSpace)) ++begin;
  while (end > begin && HasClass(p[end - 1], kClassSpace)) --end;
  cursor->tokenStart = cursor->next + begin;
  cursor->tokenLength = end - begin;
  return kOk;
}

Result StringService::ScanUnsigned(TextCursor* cursor, std::uint32_t* value) {
  (void)Strings()->SkipWhitespace(cursor);
  TakeClass(cursor, kClassDigit);
  if (value != nullptr) *value = TokenValue(*cursor, 10);
  return kOk;
}

Result StringService::ScanHex(TextCursor* cursor, std::uint32_t* value) {
  (void)Strings()->SkipWhitespace(cursor);
  TakeClass(cursor, kClassHexDigit);
  if (value != nullptr) *value = TokenValue(*cursor, 16);
  return kOk;
}

Result StringService::ScanToChar(TextCursor* cursor, std::uint32_t byte) {
  const char wanted = static_cast<char>(byte & 0xFF);
  return ScanToAnyOf(cursor, &wanted, 1);
}

Result StringService::ScanToAnyOf(TextCursor* cursor, const char* set, std::uint32_t setLength) {
  cursor->tokenStart = cursor->next;
  cursor->tokenLength = 0;
  while (cursor->remaining > 0) {
    if (InSet(Peek(*cursor), set, setLength)) return kStringFound;
    Consume(cursor);
    ++cursor->tokenLength;
  }
  return kStringNotFound;
}

Result StringService::ScanToken(TextCursor* cursor) {
  while (cursor->remaining > 0 && !HasClass(Peek(*cursor), kClassTokenChar)) Consume(cursor);
  TakeClass(cursor, kClassTokenChar);
  return kOk;
}

Result StringService::ScanQuoted(TextCursor* cursor) {
  cursor->tokenStart = cursor->next;
  cursor->tokenLength = 0;
  if (cursor->remaining == 0) return kStringUnterminatedQuote;
  // Without an opening quote the scan reads the rest of a quoted string whose
  // opening quote the caller has already passed; the piece then holds neither.
  const bool opened = Peek(*cursor) == '"';
  if (opened) {
    Consume(cursor);
    cursor->tokenLength = 1;
  }
  while (cursor->remaining > 0) {
    const unsigned char b = Peek(*cursor);
    Consume(cursor);
    if (b == '"') {
      if (opened) ++cursor->tokenLength;
      return kOk;
    }
    ++cursor->tokenLength;
    if (b == '\\') {
      if (cursor->remaining == 0) return kStringUnterminatedQuote;
      Consume(cursor);
      ++cursor->tokenLength;
    }
  }
  return kStringUnterminatedQuote;
}

// ---- list parsers ----

Result StringService::NextParameter(ParameterCursor* cursor) {
  StringService* s = Strings();
  cursor->nameLength = 0;
  cursor->valueLength = 0;
  TextCursor c = CursorAt(cursor->next, cursor->remaining);
  if (s->ScanToAnyOf(&c, ";,", 2) != kStringFound) {
    cursor->remaining = 0;
    return kStringEnd;
  }
  if (Peek(c) == ',') {
    Consume(&c);
    CopyPosition(c, cursor);
    return kStringEnd;
  }
  Consume(&c);
  (void)s->ScanToken(&c);
  cursor->nameStart = c.tokenStart;
  cursor->nameLength = c.tokenLength;
  // The value's '=' is looked for only up to the next ';' or ',': those end
  // a name without value and are left for the next call, so neither the next
  // parameter nor the next item is swallowed.
  if (s->ScanToAnyOf(&c, "=;,", 3) != kStringFound) {
    cursor->remaining = 0;
    return kOk;
  }
  if (Peek(c) != '=') {
    CopyPosition(c, cursor);
    return kOk;
  }
  Consume(&c);
  ScanValue(s, &c, cursor);
  CopyPosition(c, cursor);
  return kOk;
}

Result StringService::NextListItem(TextCursor* cursor, ParameterCursor* parameters) {
  StringService* s = Strings();
  (void)s->ScanToken(cursor);
  if (cursor->tokenLength == 0) return kStringEnd;
  if (parameters != nullptr) {
    parameters->next = cursor->next;
    parameters->remaining = cursor->remaining;
    (void)s->NextParameter(parameters);
    return kOk;
  }
  ParameterCursor local{cursor->next, cursor->remaining, nullptr, 0, nullptr, 0};
  for (std::uint32_t i = 0; i < kMaxSkippedParameters; ++i) {
    if (s->NextParameter(&local) == kStringEnd) break;
  }
  cursor->next = local.next;
  cursor->remaining = local.remaining;
  return kOk;
}

Result StringService::NextNameValue(ParameterCursor* cursor) {
  StringService* s = Strings();
  cursor->nameLength = 0;
  cursor->valueLength = 0;
  TextCursor c = CursorAt(cursor->next, cursor->remaining);
  (void)s->ScanToken(&c);
  if (c.tokenLength == 0) {
    cursor->remaining = 0;
    return kStringEnd;
  }
  cursor->nameStart = c.tokenStart;
  cursor->nameLength = c.tokenLength;
  if (s->ScanToAnyOf(&c, "=,;", 3) != kStringFound) {
    cursor->remaining = 0;
    return kOk;
  }
  if (Peek(c) != '=') {
    CopyPosition(c, cursor);  // the delimiter stays; the next ScanToken skips it
    return kOk;
  }
  Consume(&c);
  ScanValue(s, &c, cursor);
  CopyPosition(c, cursor);
  return kOk;
}

Result StringService::NextAttribute(ParameterCursor* cursor, std::uint32_t commaSeparates) {
  StringService* s = Strings();
  const bool commas = commaSeparates != 0;
  cursor->nameLength = 0;
  cursor->valueLength = 0;
  TextCursor c = CursorAt(cursor->next, cursor->remaining);
  (void)s->ScanToken(&c);
  if (c.tokenLength == 0) {
    cursor->remaining = 0;
    return kStringEnd;
  }
  cursor->nameStart = c.tokenStart;
  cursor->nameLength = c.tokenLength;
  if (s->ScanToAnyOf(&c, commas ? "=;," : "=;", commas ? 3 : 2) != kStringFound) {
    cursor->remaining = 0;
    return kOk;
  }
  if (Peek(c) != '=') {
    CopyPosition(c, cursor);
    return kOk;
  }
  Consume(&c);
  (void)s->SkipWhitespace(&c);
  if (c.remaining == 0) {
    cursor->remaining = 0;
    return kOk;
  }
  if (Peek(c) == '"') {
    (void)s->ScanQuoted(&c);
    cursor->valueStart = c.tokenStart;
    cursor->valueLength = c.tokenLength;
  } else {
    // A plain value runs to the next delimiter and keeps its inner spaces.
    const char* start = c.next;
    (void)s->ScanToAnyOf(&c, commas ? ";," : ";", commas ? 2 : 1);
    TextCursor value = CursorAt(start, static_cast<std::uint32_t>(c.next - start));
    (void)s->TrimWhitespace(&value);
    cursor->valueStart = value.tokenStart;
    cursor->valueLength = value.tokenLength;
  }
  CopyPosition(c, cursor);
  return kOk;
}

}  // namespace sfx
