// Parses and resolves arbitrary URL pairs, derives relative URLs, forms full
// paths, and round-trips paths through file URLs, checking the capacity
// contract and the invariants every result must keep.
//
// Input: base, a zero byte, then the reference (without a zero byte the
// whole input serves as both).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "services/core/service.h"
#include "services/locator/url_service.h"
#include "services/text/string_service.h"

namespace {

using namespace sfx;

void Check(bool condition) {
  if (!condition) std::abort();
}

std::uint32_t Size(std::string_view s) { return static_cast<std::uint32_t>(s.size()); }

void CheckParts(std::string_view text, const UrlParts& parts) {
  for (std::uint32_t c = 0; c < kUrlComponentCount; ++c)
    Check(std::uint32_t{parts.offset[c]} + parts.length[c] <= text.size());
}

// Runs a capacity in/out operation: measures with no room, checks that one
// byte less is refused, then produces the result into an exact buffer.
template <class Call>
bool Produce(Call call, std::string* out) {
  std::uint32_t needed = 0;
  const Result first = call(nullptr, &needed);
  if (Failed(first) && first != kUrlBufferTooSmall) return false;
  out->assign(needed, '\0');
  if (needed > 0) {
    std::uint32_t less = needed - 1;
    Check(call(out->data(), &less) == kUrlBufferTooSmall && less == needed);
  }
  std::uint32_t capacity = needed;
  const Result r = call(out->data(), &capacity);
  Check(Succeeded(r) || r == kFail);  // kFail: the result is too long for its parts
  Check(capacity == needed);
  return Succeeded(r);
}

std::string Replace(std::string s, char from, char to) {
  for (auto& c : s)
    if (c == from) c = to;
  return s;
}

void Urls(std::string_view base, std::string_view reference) {
  UrlParts bp, rp;
  const bool baseParsed = Succeeded(sfx::Urls()->ParseUrl(base.data(), Size(base), &bp));
  const bool referenceParsed = Succeeded(sfx::Urls()->ParseUrl(reference.data(), Size(reference), &rp));
  if (baseParsed) CheckParts(base, bp);
  if (referenceParsed) CheckParts(reference, rp);
  if (!baseParsed || !referenceParsed) return;

  std::string resolved;
  UrlParts outParts;
  if (Produce(
          [&](char* b, std::uint32_t* c) {
            return sfx::Urls()->ResolveUrl(base.data(), Size(base), nullptr, reference.data(), Size(reference), b, c,
                                           b == nullptr ? nullptr : &outParts);
          },
          &resolved)) {
    CheckParts(resolved, outParts);
    // The measure of the parts equals what assembling them writes.
    std::uint32_t measured = 0;
    Check(sfx::Urls()->MeasureUrl(&bp, kUrlScheme, kUrlQuery, &measured) == kOk);
    std::string again;
    if (Produce(
            [&](char* b, std::uint32_t* c) {
              return sfx::Urls()->ResolveUrl(base.data(), Size(base), &bp, "", 0, b, c, nullptr);
            },
            &again)) {
      std::uint32_t empty = 0;
      (void)sfx::Urls()->IsEmptyUrl(&bp, &empty);
      if (empty == 0) Check(again.size() == measured);
    }
  }

  std::string relative;
  (void)Produce(
      [&](char* b, std::uint32_t* c) {
        return sfx::Urls()->MakeRelativeUrl(base.data(), Size(base), reference.data(), Size(reference), 0, b, c);
      },
      &relative);

  std::uint32_t code = 0;
  Check(sfx::Urls()->GetSchemeCode(base.data(), Size(base), &code) == kOk);
  Check(code == 0 || (code >= kSchemeFile && code <= kSchemeWais));
}

void FileUrls(std::string_view path) {
  std::string url, back;
  if (Produce(
          [&](char* b, std::uint32_t* c) { return sfx::Urls()->NativePathToFileUrl(path.data(), Size(path), b, c); },
          &url) &&
      url.size() <= kUrlMaxLength) {
    Check(Produce([&](char* b, std::uint32_t* c) { return sfx::Urls()->FileUrlToPath(url.data(), Size(url), b, c); },
                  &back));
    Check(back == Replace(std::string(path), '/', '\\'));
  }
  if (Produce([&](char* b, std::uint32_t* c) { return sfx::Urls()->ColonPathToFileUrl(path.data(), Size(path), b, c); },
              &url)) {
    Check(
        Produce([&](char* b, std::uint32_t* c) { return sfx::Urls()->FileUrlToColonPath(url.data(), Size(url), b, c); },
                &back));
    Check(back == path);
  }
  if (!path.empty() && path[0] == '/' && (path.size() < 2 || path[1] != '~') &&
      Produce([&](char* b, std::uint32_t* c) { return sfx::Urls()->SlashPathToFileUrl(path.data(), Size(path), b, c); },
              &url)) {
    Check(
        Produce([&](char* b, std::uint32_t* c) { return sfx::Urls()->FileUrlToSlashPath(url.data(), Size(url), b, c); },
                &back));
    Check(back == path);
  }
}

bool IsNativeAbsolute(const std::string& p) {
  const bool separator2 = p.size() > 2 && (p[2] == '\\' || p[2] == '/');
  return (p.size() > 2 && (p[0] == '\\' || p[0] == '/') && (p[1] == '\\' || p[1] == '/')) ||
         (separator2 && (static_cast<unsigned char>(p[0]) | 0x20) >= 'a' &&
          (static_cast<unsigned char>(p[0]) | 0x20) <= 'z' && p[1] == ':');
}

// Full paths: the capacity contract, and a normalised absolute path is its
// own normal form.
void FullPaths(std::string_view base, std::string_view path) {
  using Operation =
      Result (UrlService::*)(const char*, std::uint32_t, const char*, std::uint32_t, char*, std::uint32_t*);
  const Operation operations[] = {&UrlService::MakeNativeFullPath, &UrlService::MakeColonFullPath,
                                  &UrlService::MakeSlashFullPath};
  for (const Operation op : operations) {
    std::string full, again;
    if (!Produce(
            [&](char* b, std::uint32_t* c) {
              return (sfx::Urls()->*op)(base.data(), Size(base), path.data(), Size(path), b, c);
            },
            &full))
      continue;
    const bool absolute = op == &UrlService::MakeNativeFullPath  ? IsNativeAbsolute(full)
                          : op == &UrlService::MakeSlashFullPath ? !full.empty() && full[0] == '/'
                                                                 : false;
    if (!absolute) continue;
    Check(Produce(
        [&](char* b, std::uint32_t* c) { return (sfx::Urls()->*op)(nullptr, 0, full.data(), Size(full), b, c); },
        &again));
    Check(again == full);
  }
}

void Search(std::string_view data, std::string_view pattern) {
  std::uint32_t at = 0;
  const Result first = Strings()->FindBytes(data.data(), Size(data), pattern.data(), Size(pattern), &at);
  const std::size_t expected = data.find(pattern);
  Check(first == (expected == std::string_view::npos ? kStringNotFound : kStringFound));
  if (first == kStringFound) Check(at == expected);
  const Result last = Strings()->FindBytesLast(data.data(), Size(data), pattern.data(), Size(pattern), &at);
  const std::size_t expectedLast = data.rfind(pattern);
  Check(last == (expectedLast == std::string_view::npos ? kStringNotFound : kStringFound));
  if (last == kStringFound) Check(at == expectedLast);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Registering cannot fail; its Result is always 0.
  static const bool registered = ((void)sfx::RegisterCoreServices(), true);
  (void)registered;
  if (size > 200000) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t zero = input.find('\0');
  const std::string_view base = zero == std::string_view::npos ? input : input.substr(0, zero);
  const std::string_view reference = zero == std::string_view::npos ? input : input.substr(zero + 1);
  Urls(base, reference);
  FileUrls(reference);
  FullPaths(base, reference);
  Search(reference, base);
  return 0;
}
