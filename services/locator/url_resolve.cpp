// Resolving a relative reference against a base URL, and deriving a relative
// reference from two URLs.
//
// Resolution follows the classic rules for relative URLs with two deliberate
// differences from RFC 3986 that callers rely on: ".." segments that climb
// above the root are kept ("http://a/../g"), and an absolute path in the
// reference is taken as it stands, dot segments included.
#include <utility>

#include "services/locator/url_service.h"
#include "services/locator/url_service_p.h"
#include "services/text/string_service.h"

namespace sfx {
namespace {

using url::Output;

// The concatenation of the base path's folder and the relative path, seen as
// one text without copying it anywhere.
struct JoinedPath {
  const char* folder;
  std::uint32_t folderLength;
  const char* relative;
  std::uint32_t relativeLength;

  std::uint32_t size() const { return folderLength + relativeLength; }
  char operator[](std::uint32_t i) const { return i < folderLength ? folder[i] : relative[i - folderLength]; }
  bool Is(std::uint32_t start, std::uint32_t end, const char* dots) const {
    std::uint32_t n = 0;
    while (dots[n] != '\0') ++n;
    if (end - start != n) return false;
    for (std::uint32_t i = 0; i < n; ++i)
      if ((*this)[start + i] != dots[i]) return false;
    return true;
  }
};

// Writes the merged path with "." segments removed and each ".." removed
// together with the segment before it. Segments are taken from the end, so
// a pending count of ".." is all the state needed; those left over stay at the
// front, after the leading slash. A final "." or ".." leaves a final slash.
// Runs twice (count, then write from the end backwards); the write must land
// exactly on the counted length.
Result WriteMergedPath(const JoinedPath& path, Output& out) {
  const std::uint32_t size = path.size();
  const bool leadingSlash = size > 0 && path[0] == '/';
  const std::uint32_t lead = leadingSlash ? 1 : 0;

  auto walk = [&](auto&& keep) {
    std::uint32_t pending = 0;
    bool finalDot = false;
    std::uint32_t end = size;
    for (;;) {
      std::uint32_t start = end;
      while (start > lead && path[start - 1] != '/') --start;
      const bool last = end == size;
      if (path.Is(start, end, ".")) {
        finalDot = finalDot || last;
      } else if (path.Is(start, end, "..")) {
        ++pending;
        finalDot = finalDot || last;
      } else if (pending > 0) {
        --pending;
      } else {
        keep(start, end);
      }
      if (start == lead) break;
      end = start - 1;
    }
    return std::pair<std::uint32_t, bool>(pending, finalDot);
  };

  std::uint32_t keptCount = 0;
  std::uint64_t keptBytes = 0;
  const auto [pending, finalDot] = walk([&](std::uint32_t start, std::uint32_t end) {
    ++keptCount;
    keptBytes += end - start;
  });
  const std::uint64_t elements = std::uint64_t{keptCount} + pending;
  const std::uint64_t length = lead + keptBytes + 2 * std::uint64_t{pending} + (elements > 0 ? elements - 1 : 0) +
                               (finalDot && elements > 0 ? 1 : 0);
  if (out.buffer() == nullptr) {
    out.Advance(length);
    return kOk;
  }

  char* base = out.buffer() + out.length();
  std::uint64_t at = length;
  std::uint64_t remaining = elements;
  if (finalDot && elements > 0) base[--at] = '/';
  walk([&](std::uint32_t start, std::uint32_t end) {
    for (std::uint32_t i = end; i > start && at > 0; --i) base[--at] = path[i - 1];
    if (--remaining > 0 && at > 0) base[--at] = '/';
  });
  for (std::uint32_t i = 0; i < pending && at >= 2; ++i) {
    base[--at] = '.';
    base[--at] = '.';
    if (--remaining > 0 && at > 0) base[--at] = '/';
  }
  if (leadingSlash && at > 0) base[--at] = '/';
  if (at != 0) return kUrlLengthMismatch;
  out.Advance(length);
  return kOk;
}

std::uint32_t LastSlash(const char* text, std::uint32_t length) {  // index + 1, or 0 without a slash
  for (std::uint32_t i = length; i > 0; --i)
    if (text[i - 1] == '/') return i;
  return 0;
}

bool Same(const char* a, std::uint32_t aLength, const char* b, std::uint32_t bLength, bool ignoreCase) {
  if (ignoreCase) return Strings()->CompareNoCase(a, aLength, b, bLength) == kStringEqual;
  return Memory()->Compare(a, aLength, b, bLength) == 0;
}

bool SameComponent(const char* a, const UrlParts& ap, const char* b, const UrlParts& bp, std::uint32_t c,
                   bool ignoreCase) {
  return Same(a + ap.offset[c], ap.length[c], b + bp.offset[c], bp.length[c], ignoreCase);
}

}  // namespace

Result UrlService::ResolveUrl(const char* base, std::uint32_t baseLength, const UrlParts* baseParts,
                              const char* relative, std::uint32_t relativeLength, char* output, std::uint32_t* capacity,
                              UrlParts* outputParts) {
  UrlParts bp;
  if (baseParts != nullptr) {
    bp = *baseParts;
  } else {
    if (baseLength > kUrlMaxLength) return kUrlBaseTooLong;
    SFX_TRY(Urls()->ParseUrl(base, baseLength, &bp));
  }
  if (relativeLength > kUrlMaxLength) return kUrlRelativeTooLong;
  UrlParts rp;
  SFX_TRY(Urls()->ParseUrl(relative, relativeLength, &rp));

  std::uint32_t baseEmpty = 0, relativeEmpty = 0;
  (void)Urls()->IsEmptyUrl(&bp, &baseEmpty);
  (void)Urls()->IsEmptyUrl(&rp, &relativeEmpty);

  auto build = [&](Output& out) -> Result {
    if (baseEmpty != 0 || rp.length[kUrlScheme] != 0) {
      out.Put(relative, relativeLength);
      return kOk;
    }
    if (relativeEmpty != 0) {
      url::Compose(base, bp, kUrlScheme, kUrlQuery, out);
      return kOk;
    }
    url::Compose(base, bp, kUrlScheme, kUrlScheme, out);
    if (rp.length[kUrlHost] != 0) {
      url::Compose(relative, rp, kUrlUser, kUrlFragment, out);
      return kOk;
    }
    url::Compose(base, bp, kUrlUser, kUrlPort, out);
    const char* relativePath = relative + rp.offset[kUrlPath];
    const std::uint32_t relativePathLength = rp.length[kUrlPath];
    if (relativePathLength == 0) {
      url::Compose(base, bp, kUrlPath, kUrlPath, out);
      if (rp.length[kUrlQuery] == 0) {
        url::Compose(base, bp, kUrlQuery, kUrlQuery, out);
        url::Compose(relative, rp, kUrlFragment, kUrlFragment, out);
      } else {
        url::Compose(relative, rp, kUrlQuery, kUrlFragment, out);
      }
      return kOk;
    }
    if (relativePath[0] == '/') {
      url::Compose(relative, rp, kUrlPath, kUrlFragment, out);
      return kOk;
    }
    const char* basePath = base + bp.offset[kUrlPath];
    if (bp.length[kUrlPath] == 0) {
      out.Put('/');
      out.Put(relativePath, relativePathLength);
    } else {
      const JoinedPath joined{basePath, LastSlash(basePath, bp.length[kUrlPath]), relativePath, relativePathLength};
      SFX_TRY(WriteMergedPath(joined, out));
    }
    url::Compose(relative, rp, kUrlQuery, kUrlFragment, out);
    return kOk;
  };
  SFX_TRY(url::Produce(output, capacity, build));
  if (outputParts != nullptr && Failed(Urls()->ParseUrl(output, *capacity, outputParts))) return kFail;
  return kOk;
}

Result UrlService::MakeRelativeUrl(const char* base, std::uint32_t baseLength, const char* target,
                                   std::uint32_t targetLength, std::uint32_t options, char* output,
                                   std::uint32_t* capacity) {
  UrlParts bp, tp;
  SFX_TRY(Urls()->ParseUrl(base, baseLength, &bp));
  SFX_TRY(Urls()->ParseUrl(target, targetLength, &tp));

  // A relative reference keeps the base's whole authority, so every part of
  // it must agree, not only scheme and host; otherwise the target is given as
  // it stands.
  const bool sameServer =
      SameComponent(base, bp, target, tp, kUrlScheme, true) && SameComponent(base, bp, target, tp, kUrlHost, true) &&
      SameComponent(base, bp, target, tp, kUrlUser, false) &&
      SameComponent(base, bp, target, tp, kUrlPassword, false) &&
      SameComponent(base, bp, target, tp, kUrlPort, false) && url::HasAuthority(bp) == url::HasAuthority(tp);

  const char* basePath = base + bp.offset[kUrlPath];
  const char* targetPath = target + tp.offset[kUrlPath];
  const std::uint32_t baseFolder = LastSlash(basePath, bp.length[kUrlPath]);
  const std::uint32_t targetFolder = LastSlash(targetPath, tp.length[kUrlPath]);
  const std::uint32_t targetPathLength = tp.length[kUrlPath];

  // Common leading folder segments, each ending in a slash.
  std::uint32_t b = 0, t = 0;
  if (sameServer) {
    while (b < baseFolder && t < targetFolder) {
      std::uint32_t be = b, te = t;
      while (basePath[be] != '/') ++be;
      while (targetPath[te] != '/') ++te;
      if (!Same(basePath + b, be - b, targetPath + t, te - t, (options & kRelativeIgnoreCase) != 0)) break;
      b = be + 1;
      t = te + 1;
    }
  }
  std::uint32_t ups = 0;
  for (std::uint32_t i = b; i < baseFolder; ++i)
    if (basePath[i] == '/') ++ups;
  const char* rest = targetPath + t;
  const std::uint32_t restLength = targetPathLength - t;

  enum class Form { kWhole, kAbsolutePath, kRelative };
  // No relative path leads to an empty one: resolution always keeps a slash.
  Form form = sameServer && targetPathLength > 0 ? Form::kRelative : Form::kWhole;
  bool dotSlash = false;
  if (form == Form::kRelative && t == 0 && restLength > 0 && rest[0] == '/') {
    // Nothing in common and the target's path is absolute: it serves as it
    // is, unless "//" would read as an authority.
    form = restLength > 1 && rest[1] == '/' ? Form::kWhole : Form::kAbsolutePath;
  } else if (form == Form::kRelative && ups == 0) {
    // "./" keeps the reference from reading as empty (the base itself), as a
    // scheme (a ':' in its first segment) or as an absolute path.
    std::uint32_t firstEnd = 0;
    while (firstEnd < restLength && rest[firstEnd] != '/') ++firstEnd;
    bool colon = false;
    for (std::uint32_t i = 0; i < firstEnd; ++i) colon = colon || rest[i] == ':';
    dotSlash = restLength == 0 || colon || rest[0] == '/';
  }

  auto build = [&](Output& out) -> Result {
    if (form == Form::kWhole) {
      out.Put(target, targetLength);
      return kOk;
    }
    if (dotSlash) out.Put("./", 2);
    for (std::uint32_t i = 0; i < ups; ++i) out.Put("../", 3);
    out.Put(rest, restLength);
    return kOk;
  };

  // Without a capacity the buffer is taken to hold 2048 bytes; without a
  // buffer only the length is wanted.
  std::uint32_t room = capacity != nullptr ? *capacity : 2048;
  if (output == nullptr) {
    Output count(nullptr);
    (void)build(count);
    if (capacity != nullptr) *capacity = static_cast<std::uint32_t>(count.length());
    return kOk;
  }
  const Result r = url::Produce(output, &room, build);
  if (capacity != nullptr) *capacity = room;
  return r;
}

}  // namespace sfx
