// Conversions between paths and "file://" URLs.
//
// Separators are converted only where they stand literally: an escaped byte
// always decodes to itself, so a '/' inside a colon-syntax name ("%2F") comes
// back as '/', not as a separator, and every path survives the round trip.
#include "services/locator/url_service.h"
#include "services/locator/url_service_p.h"
#include "services/text/string_service.h"

namespace sfx {
namespace {

using url::Output;

constexpr char kFileScheme[] = "file://";
constexpr std::uint32_t kFileSchemeLength = 7;

// Letters, digits and ! ' ( ) * - . _ ~ stand as they are; every other byte,
// controls and bytes from 0x80 up included, is written as %XX.
bool NeedsEscape(unsigned char c) {
  if (HasClass(c, kClassUpper | kClassLower | kClassDigit)) return false;
  switch (c) {
    case '!':
    case '\'':
    case '(':
    case ')':
    case '*':
    case '-':
    case '.':
    case '_':
    case '~': return false;
    default: return true;
  }
}

void PutEscaped(unsigned char c, Output& out) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  if (!NeedsEscape(c)) {
    out.Put(static_cast<char>(c));
    return;
  }
  out.Put('%');
  out.Put(kHex[c >> 4]);
  out.Put(kHex[c & 0x0F]);
}

enum class Syntax { kNative, kColon, kSlash };

// Writes the path after the URL's prefix: the syntax's separators become
// slashes, everything else is escaped as needed.
void PutPath(const char* path, std::uint32_t length, Syntax syntax, Output& out) {
  for (std::uint32_t i = 0; i < length; ++i) {
    const char c = path[i];
    const bool separator = syntax == Syntax::kNative  ? (c == '/' || c == '\\')
                           : syntax == Syntax::kColon ? c == ':'
                                                      : c == '/';
    if (separator) {
      out.Put('/');
    } else {
      PutEscaped(static_cast<unsigned char>(c), out);
    }
  }
}

// Decodes %XX (either case); a '%' without two hex digits is copied. Literal
// slashes become `slash`.
void PutDecoded(const char* text, std::uint32_t length, char slash, Output& out) {
  for (std::uint32_t i = 0; i < length; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '%' && length - i > 2 && HasClass(static_cast<unsigned char>(text[i + 1]), kClassHexDigit) &&
        HasClass(static_cast<unsigned char>(text[i + 2]), kClassHexDigit)) {
      std::uint32_t value = 0;
      (void)Strings()->ParseHex(text + i + 1, 2, &value);
      out.Put(static_cast<char>(value));
      i += 2;
    } else {
      out.Put(c == '/' ? slash : static_cast<char>(c));
    }
  }
}

bool IsFileUrl(const char* url, std::uint32_t length) {
  return length >= kFileSchemeLength &&
         Strings()->CompareNoCase(url, kFileSchemeLength, kFileScheme, kFileSchemeLength) == kStringEqual;
}

// The text after the eighth byte ("file://" and one more), or nothing.
void AfterEighth(const char* url, std::uint32_t length, const char** rest, std::uint32_t* restLength) {
  *rest = url + (length > kFileSchemeLength ? kFileSchemeLength + 1 : length);
  *restLength = length > kFileSchemeLength ? length - kFileSchemeLength - 1 : 0;
}

Result NativeToFileUrl(const char* path, std::uint32_t length, char* buffer, std::uint32_t* capacity) {
  // A server needs a name: "\\\x" is written as a local path, so that the
  // URL does not read as the local path "x".
  const bool server = length > 2 && path[0] == '\\' && path[1] == '\\' && path[2] != '\\' && path[2] != '/';
  return url::Produce(buffer, capacity, [&](Output& out) -> Result {
    out.Put(kFileScheme, kFileSchemeLength);
    if (server) {
      PutPath(path + 2, length - 2, Syntax::kNative, out);
    } else {
      out.Put('/');
      PutPath(path, length, Syntax::kNative, out);
    }
    return kOk;
  });
}

}  // namespace

// ---- paths to URLs ----

// Slots 10 and 13 share the implementation, so substituting one leaves the other.
Result UrlService::NativePathToFileUrl(const char* path, std::uint32_t length, char* buffer, std::uint32_t* capacity) {
  return NativeToFileUrl(path, length, buffer, capacity);
}

Result UrlService::ColonPathToFileUrl(const char* path, std::uint32_t length, char* buffer, std::uint32_t* capacity) {
  return url::Produce(buffer, capacity, [&](Output& out) -> Result {
    out.Put(kFileScheme, kFileSchemeLength);
    out.Put('/');
    PutPath(path, length, Syntax::kColon, out);
    return kOk;
  });
}

Result UrlService::SlashPathToFileUrl(const char* path, std::uint32_t length, char* buffer, std::uint32_t* capacity) {
  return url::Produce(buffer, capacity, [&](Output& out) -> Result {
    out.Put(kFileScheme, kFileSchemeLength);
    if (length == 0 || path[0] != '/') out.Put('/');
    PutPath(path, length, Syntax::kSlash, out);
    return kOk;
  });
}

Result UrlService::PathToFileUrl(const char* path, std::uint32_t length, char* buffer, std::uint32_t* capacity) {
  return NativeToFileUrl(path, length, buffer, capacity);
}

// ---- URLs to paths ----

Result UrlService::FileUrlToNativePath(const char* url, std::uint32_t length, char* buffer, std::uint32_t* capacity) {
  if (!IsFileUrl(url, length)) return kUrlNotFileUrl;
  // "file:///C:/x" is local; "file://server/share" names a server.
  const bool local = length == kFileSchemeLength || url[kFileSchemeLength] == '/';
  return url::Produce(buffer, capacity, [&](Output& out) -> Result {
    if (local) {
      const char* rest;
      std::uint32_t restLength;
      AfterEighth(url, length, &rest, &restLength);
      PutDecoded(rest, restLength, '\\', out);
    } else {
      out.Put("\\\\", 2);
      PutDecoded(url + kFileSchemeLength, length - kFileSchemeLength, '\\', out);
    }
    return kOk;
  });
}

Result UrlService::FileUrlToColonPath(const char* url, std::uint32_t length, char* buffer, std::uint32_t* capacity) {
  if (!IsFileUrl(url, length)) return kUrlNotFileUrl;
  const char* rest;
  std::uint32_t restLength;
  AfterEighth(url, length, &rest, &restLength);
  return url::Produce(buffer, capacity, [&](Output& out) -> Result {
    PutDecoded(rest, restLength, ':', out);
    return kOk;
  });
}

Result UrlService::FileUrlToSlashPath(const char* url, std::uint32_t length, char* buffer, std::uint32_t* capacity) {
  if (!IsFileUrl(url, length)) return kUrlNotFileUrl;
  // "file:///~/x" names a path under the home folder: "~/x".
  const std::uint32_t start =
      length > kFileSchemeLength + 1 && url[kFileSchemeLength + 1] == '~' ? kFileSchemeLength + 1 : kFileSchemeLength;
  return url::Produce(buffer, capacity, [&](Output& out) -> Result {
    PutDecoded(url + start, length - start, '/', out);
    return kOk;
  });
}

Result UrlService::FileUrlToPath(const char* url, std::uint32_t length, char* buffer, std::uint32_t* capacity) {
  UrlParts parts;
  SFX_TRY(Urls()->ParseUrl(url, length, &parts));
  // A query, even an empty one, starts at its '?': the path ends before it.
  const std::uint32_t end = parts.offset[kUrlQuery] != 0 ? parts.offset[kUrlQuery] - 1u : length;
  return Urls()->FileUrlToNativePath(url, end, buffer, capacity);
}

}  // namespace sfx
