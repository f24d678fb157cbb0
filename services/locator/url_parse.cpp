// Splitting URLs into components without copying, measuring and reassembling
// them, and the scheme table.
#include "services/locator/url_service.h"
#include "services/locator/url_service_p.h"
#include "services/text/string_service.h"

namespace sfx {
namespace {

using url::Output;

bool IsSchemeByte(unsigned char c) {
  return url::IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

// The end of the scheme run from the start: its length when a colon stops it,
// or `end` + 1 when anything else does.
std::uint32_t SchemeColon(const char* text, std::uint32_t end) {
  std::uint32_t i = 0;
  while (i < end && IsSchemeByte(static_cast<unsigned char>(text[i]))) ++i;
  return i < end && text[i] == ':' ? i : end + 1;
}

void Set(UrlParts* parts, std::uint32_t component, std::uint32_t offset, std::uint32_t length) {
  parts->offset[component] = static_cast<std::uint16_t>(offset);
  parts->length[component] = static_cast<std::uint16_t>(length);
}

// The authority between `begin` and `end`: user information before the last
// '@'. The port follows the first colon when that colon is after the '@', else
// the last colon when that one is (a password may hold colons; the host none).
// A host in brackets (an IPv6 address) holds colons of its own: its port
// colon is the first one after the closing bracket.
void ParseAuthority(const char* text, std::uint32_t begin, std::uint32_t end, UrlParts* parts) {
  std::uint32_t at = end;  // the last '@', or none
  std::uint32_t firstColon = end;
  std::uint32_t lastColon = end;
  for (std::uint32_t i = begin; i < end; ++i) {
    if (text[i] == '@') at = i;
    if (text[i] == ':') {
      if (firstColon == end) firstColon = i;
      lastColon = i;
    }
  }
  std::uint32_t hostBegin = begin;
  if (at != end) {
    if (firstColon < at) {
      Set(parts, kUrlUser, begin, firstColon - begin);
      Set(parts, kUrlPassword, firstColon + 1, at - firstColon - 1);  // later colons stay in the password
    } else {
      Set(parts, kUrlUser, begin, at - begin);
    }
    hostBegin = at + 1;
  }
  std::uint32_t portColon = end;
  std::uint32_t close = hostBegin;
  if (close < end && text[close] == '[') {
    while (close < end && text[close] != ']') ++close;
  }
  if (close < end && text[close] == ']') {
    portColon = close + 1;
    while (portColon < end && text[portColon] != ':') ++portColon;
  } else if (firstColon >= hostBegin) {
    portColon = firstColon;
  } else if (lastColon >= hostBegin && lastColon != end) {
    portColon = lastColon;
  }
  Set(parts, kUrlHost, hostBegin, portColon - hostBegin);
  if (portColon < end) Set(parts, kUrlPort, portColon + 1, end - portColon - 1);
}

// ---- the scheme table: ascending ignoring case, codes in table order ----

constexpr const unsigned char kSchemeNames[][12] = {
    "\x04"
    "file",
    "\x03"
    "ftp",
    "\x06"
    "gopher",
    "\x04"
    "http",
    "\x05"
    "https",
    "\x05"
    "hyrax",
    "\x0A"
    "javascript",
    "\x06"
    "mailto",
    "\x04"
    "news",
    "\x04"
    "nntp",
    "\x08"
    "prospero",
    "\x06"
    "telnet",
    "\x04"
    "wais",
};
constexpr std::uint32_t kSchemeCount = sizeof kSchemeNames / sizeof kSchemeNames[0];
static_assert(kSchemeCount == 13 && kSchemeFile + kSchemeCount - 1 == kSchemeWais, "codes follow the table order");

const LengthPrefixedString* const kSchemeTable[kSchemeCount] = {
    kSchemeNames[0],  kSchemeNames[1],  kSchemeNames[2],  kSchemeNames[3], kSchemeNames[4],
    kSchemeNames[5],  kSchemeNames[6],  kSchemeNames[7],  kSchemeNames[8], kSchemeNames[9],
    kSchemeNames[10], kSchemeNames[11], kSchemeNames[12],
};

}  // namespace

// ---- parsing ----

Result UrlService::ParseUrl(const char* text, std::uint32_t length, UrlParts* parts) {
  if (length > kUrlMaxLength) return kUrlTooLong;
  *parts = UrlParts{};
  if (length == 0) return kOk;

  std::uint32_t end = length;
  for (std::uint32_t i = length; i-- > 0;) {
    if (text[i] != '#') continue;
    Set(parts, kUrlFragment, i + 1, length - i - 1);
    if (i == 0) return kOk;  // only a fragment; the path stays (0, 0)
    end = i;
    break;
  }

  std::uint32_t position = 0;
  if (text[0] != ':') {
    const std::uint32_t colon = SchemeColon(text, end);
    if (colon < end) {
      Set(parts, kUrlScheme, 0, colon);
      position = colon + 1;
      if (position == end) {
        Set(parts, kUrlPath, position, 0);
        return kOk;
      }
    }
  }

  if (end - position > 2 && text[position] == '/' && text[position + 1] == '/') {
    // The authority ends at the path's slash, or at the query: a '?' never
    // belongs to a host or port.
    const std::uint32_t begin = position + 2;
    std::uint32_t stop = begin;
    while (stop < end && text[stop] != '/' && text[stop] != '?') ++stop;
    ParseAuthority(text, begin, stop, parts);
    position = stop;
  }

  std::uint32_t question = position;
  while (question < end && text[question] != '?') ++question;
  Set(parts, kUrlPath, position, question - position);
  if (question < end) Set(parts, kUrlQuery, question + 1, end - question - 1);
  return kOk;
}

Result UrlService::IsEmptyUrl(const UrlParts* parts, std::uint32_t* isEmpty) {
  std::uint32_t empty = 1;
  for (std::uint32_t i = 0; i < kUrlComponentCount; ++i)
    if (parts->length[i] != 0) empty = 0;
  *isEmpty = empty;
  return kOk;
}

// ---- measuring and assembling ----

void url::Compose(const char* text, const UrlParts& p, std::uint32_t first, std::uint32_t last, Output& out) {
  auto piece = [&](std::uint32_t c) { out.Put(text == nullptr ? nullptr : text + p.offset[c], p.length[c]); };
  if (first >= kUrlComponentCount) return;
  if (first == kUrlScheme && last <= kUrlUser) last = kUrlScheme;  // a range ending in the user is the scheme alone
  if (first == kUrlPassword || first == kUrlPort) {                // these stand alone, without delimiters
    piece(first);
    return;
  }
  if (last >= kUrlComponentCount) last = kUrlComponentCount - 1;
  const bool authority = HasAuthority(p);
  for (std::uint32_t c = first; c <= last; ++c) {
    switch (c) {
      case kUrlScheme:
        if (p.length[c] != 0) {
          piece(c);
          out.Put(':');
        }
        break;
      case kUrlUser:
        // The slashes only where the URL had an authority: "mailto:a@b" has
        // none, "file:///x" has an empty one. User information is written
        // whenever it holds anything, so a password survives an empty user.
        if (authority) {
          out.Put('/');
          out.Put('/');
        }
        if (p.length[kUrlUser] != 0 || p.length[kUrlPassword] != 0) {
          piece(kUrlUser);
          out.Put(':');
          piece(kUrlPassword);
          out.Put('@');
        }
        break;
      case kUrlPassword: break;  // written with the user
      case kUrlHost:
        if (first == kUrlHost && authority) {
          out.Put('/');
          out.Put('/');
        }
        piece(c);
        break;
      case kUrlPort:
        if (p.length[c] != 0) {
          out.Put(':');
          piece(c);
        }
        break;
      case kUrlPath: piece(c); break;
      case kUrlQuery:
      case kUrlFragment:
        if (p.length[c] != 0) {
          out.Put(c == kUrlQuery ? '?' : '#');
          piece(c);
        }
        break;
    }
  }
}

Result UrlService::MeasureUrl(const UrlParts* parts, std::uint32_t first, std::uint32_t last, std::uint32_t* length) {
  if (length == nullptr) return kNullOutput;
  Output count(nullptr);
  url::Compose(nullptr, *parts, first, last, count);
  *length = static_cast<std::uint32_t>(count.length());
  return kOk;
}

// ---- schemes and file names ----

Result UrlService::GetSchemeCode(const char* text, std::uint32_t length, std::uint32_t* code) {
  *code = kSchemeUnknown;
  const std::uint32_t colon = SchemeColon(text, length);
  if (colon >= length) return kOk;
  std::uint32_t index = 0;
  const Result found = Strings()->FindSpanNoCase(kSchemeTable, kSchemeCount, text, colon, &index);
  if (Failed(found)) return found;
  if (found == kStringFound) *code = kSchemeFile + index;
  return kOk;
}

Result UrlService::SplitFileName(const char* text, std::uint32_t length, const char** nameStart,
                                 std::uint32_t* nameLength, const char** extensionStart,
                                 std::uint32_t* extensionLength) {
  std::uint32_t name = length;
  while (name > 0 && text[name - 1] != '/' && text[name - 1] != ':' && text[name - 1] != '\\') --name;
  std::uint32_t dot = length;
  for (std::uint32_t i = length; i > name; --i) {
    if (text[i - 1] == '.') {
      dot = i - 1;
      break;
    }
  }
  if (nameStart != nullptr) *nameStart = text + name;
  if (nameLength != nullptr) *nameLength = dot - name;
  if (extensionStart != nullptr) *extensionStart = text + dot;
  if (extensionLength != nullptr) *extensionLength = length - dot;
  return kOk;
}

}  // namespace sfx
