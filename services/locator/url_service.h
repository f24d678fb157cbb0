// Locators: URLs in the generic syntax (scheme, authority, path, query,
// fragment) and file-system paths in three syntaxes: native (backslash or
// slash separators, drive letters, server roots '\\server\share'; the same
// syntax on every build), colon-separated and slash-separated.
//
// The service splits URLs without copying, measures and reassembles them,
// resolves relative references, derives relative URLs, knows a fixed table of
// schemes, converts between paths and "file://" URLs, forms full paths and
// joins path parts. It allocates nothing and writes only into caller buffers.
//
// Capacity in/out convention: on entry the buffer's size in bytes; on return
// the result's length, or, when it does not fit, the length needed together
// with kUrlBufferTooSmall and nothing meaningful in the buffer. Outputs carry
// no terminating zero unless an operation says so.
#pragma once

#include <cstdint>

#include "services/core/path_join.h"
#include "services/core/service.h"

namespace sfx {

inline constexpr Result kUrlBaseTooLong = FailureCode(facility::kUrl, 0x0003);         // 0x800C0003
inline constexpr Result kUrlRelativeTooLong = FailureCode(facility::kUrl, 0x0005);     // 0x800C0005
inline constexpr Result kUrlBufferTooSmall = FailureCode(facility::kUrl, 0x0006);      // 0x800C0006
inline constexpr Result kUrlLengthMismatch = FailureCode(facility::kUrl, 0x0007);      // 0x800C0007
inline constexpr Result kUrlNoFullPath = FailureCode(facility::kUrl, 0x0009);          // 0x800C0009
inline constexpr Result kUrlColonPathNeedsBase = FailureCode(facility::kUrl, 0x000B);  // 0x800C000B
inline constexpr Result kUrlSlashPathNeedsBase = FailureCode(facility::kUrl, 0x000C);  // 0x800C000C
inline constexpr Result kUrlNotFileUrl = FailureCode(facility::kUrl, 0x000E);          // 0x800C000E

// Texts longer than this are refused: component offsets and lengths are 16-bit.
inline constexpr std::uint32_t kUrlMaxLength = 65535;

// Component indexes of UrlParts.
enum UrlComponent : std::uint32_t {
  kUrlScheme = 0,    // before the first colon
  kUrlUser = 1,      // after "//", before ':' or '@' of the user information
  kUrlPassword = 2,  // between the user's ':' and '@'
  kUrlHost = 3,
  kUrlPort = 4,      // after the host's ':'
  kUrlPath = 5,      // with its leading '/' when there is an authority
  kUrlQuery = 6,     // after '?'
  kUrlFragment = 7,  // after '#'
  kUrlComponentCount = 8,
};

// Offsets from the start of the parsed text; an absent component has offset 0
// and length 0. When the URL has an authority ("//" after the scheme) the
// host's offset is where the authority starts, so it is non-zero even for an
// empty host: that is how "file:///x" differs from "file:/x".
struct UrlParts {
  std::uint16_t offset[kUrlComponentCount];
  std::uint16_t length[kUrlComponentCount];
};
static_assert(sizeof(UrlParts) == 32, "eight 16-bit offsets, then eight 16-bit lengths");

// Scheme codes; 0 is no scheme or one not in the table.
enum UrlScheme : std::uint32_t {
  kSchemeUnknown = 0,
  kSchemeFile = 5,
  kSchemeFtp,
  kSchemeGopher,
  kSchemeHttp,
  kSchemeHttps,
  kSchemeHyrax,
  kSchemeJavascript,
  kSchemeMailto,
  kSchemeNews,
  kSchemeNntp,
  kSchemeProspero,
  kSchemeTelnet,
  kSchemeWais,
};

// MakeRelativeUrl option: compare path segments ignoring ASCII case.
inline constexpr std::uint32_t kRelativeIgnoreCase = 1u << 0;

class UrlService : public ServiceObject {
 public:
  // 1. kUrlTooLong above kUrlMaxLength.
  virtual Result ParseUrl(const char* text, std::uint32_t length, UrlParts* parts);
  // 2. 1 when all eight lengths are 0.
  virtual Result IsEmptyUrl(const UrlParts* parts, std::uint32_t* isEmpty);
  // 3. The length components first..last take when assembled with their
  //    delimiters.
  virtual Result MeasureUrl(const UrlParts* parts, std::uint32_t first, std::uint32_t last, std::uint32_t* length);
  // 4. Resolves `relative` against `base` (parsed here unless `baseParts` is
  //    given); `outputParts`, when given, receives the parse of the result.
  virtual Result ResolveUrl(const char* base, std::uint32_t baseLength, const UrlParts* baseParts, const char* relative,
                            std::uint32_t relativeLength, char* output, std::uint32_t* capacity, UrlParts* outputParts);
  // 5. folder + '\' (unless it already ends in one) + name, zero-terminated.
  //    kUrlTooLong when the folder, the name or the result does not fit.
  virtual Result JoinPath(const char* folder, const char* name, char* buffer, std::uint32_t capacity);
  // 6-9. A normalised absolute path from `path`, relative paths climbing from
  //    `base` (optional). Without a base a native relative path starts at the
  //    process's current folder; colon and slash syntax fail instead.
  virtual Result MakeNativeFullPath(const char* base, std::uint32_t baseLength, const char* path,
                                    std::uint32_t pathLength, char* buffer, std::uint32_t* capacity);
  virtual Result MakeColonFullPath(const char* base, std::uint32_t baseLength, const char* path,
                                   std::uint32_t pathLength, char* buffer, std::uint32_t* capacity);
  virtual Result MakeSlashFullPath(const char* base, std::uint32_t baseLength, const char* path,
                                   std::uint32_t pathLength, char* buffer, std::uint32_t* capacity);
  virtual Result MakeFullPath(const char* base, std::uint32_t baseLength, const char* path, std::uint32_t pathLength,
                              char* buffer, std::uint32_t* capacity);
  // 10-13. "file://" URLs from paths, percent-escaping what a URL cannot hold.
  virtual Result NativePathToFileUrl(const char* path, std::uint32_t length, char* buffer, std::uint32_t* capacity);
  virtual Result ColonPathToFileUrl(const char* path, std::uint32_t length, char* buffer, std::uint32_t* capacity);
  virtual Result SlashPathToFileUrl(const char* path, std::uint32_t length, char* buffer, std::uint32_t* capacity);
  virtual Result PathToFileUrl(const char* path, std::uint32_t length, char* buffer, std::uint32_t* capacity);
  // 14-17. Paths from "file://" URLs (kUrlNotFileUrl otherwise), escapes
  //    decoded. FileUrlToPath first drops the query.
  virtual Result FileUrlToNativePath(const char* url, std::uint32_t length, char* buffer, std::uint32_t* capacity);
  virtual Result FileUrlToColonPath(const char* url, std::uint32_t length, char* buffer, std::uint32_t* capacity);
  virtual Result FileUrlToSlashPath(const char* url, std::uint32_t length, char* buffer, std::uint32_t* capacity);
  virtual Result FileUrlToPath(const char* url, std::uint32_t length, char* buffer, std::uint32_t* capacity);
  // 18. The UrlScheme of the text's scheme, ignoring case.
  virtual Result GetSchemeCode(const char* text, std::uint32_t length, std::uint32_t* code);
  // 19. The last path segment split at its last '.', which the extension
  //    keeps. Every output is optional.
  virtual Result SplitFileName(const char* text, std::uint32_t length, const char** nameStart,
                               std::uint32_t* nameLength, const char** extensionStart, std::uint32_t* extensionLength);
  // 20. base, then '\' and each non-null part, zero-terminated; no
  //    normalisation. The size needed (terminator included) is stored when
  //    asked for, also on failure; kFail and an untouched buffer when it does
  //    not fit.
  virtual Result JoinPathParts(char* buffer, std::uint32_t capacity, const char* base, const char* part1,
                               const char* part2, const char* part3, const char* part4, std::uint32_t* needed);
  // 21. A reference that resolves against `base` to `target` (the target's
  //    query and fragment are not carried). Without an output buffer only the
  //    length is reported.
  virtual Result MakeRelativeUrl(const char* base, std::uint32_t baseLength, const char* target,
                                 std::uint32_t targetLength, std::uint32_t options, char* output,
                                 std::uint32_t* capacity);
  virtual Result ReservedLast() { return kFail; }

  UrlService() = default;
};

inline UrlService* Urls() { return Service<UrlService>(Slot::kUrl); }

}  // namespace sfx
