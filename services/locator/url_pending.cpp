#include "services/locator/url_service.h"

namespace sfx {

Result UrlService::ParseUrl(const char*, std::uint32_t, UrlParts*) { return kFail; }
Result UrlService::IsEmptyUrl(const UrlParts*, std::uint32_t*) { return kFail; }
Result UrlService::MeasureUrl(const UrlParts*, std::uint32_t, std::uint32_t, std::uint32_t*) { return kFail; }
Result UrlService::ResolveUrl(const char*, std::uint32_t, const UrlParts*, const char*, std::uint32_t, char*,
                              std::uint32_t*, UrlParts*) {
  return kFail;
}
Result UrlService::MakeNativeFullPath(const char*, std::uint32_t, const char*, std::uint32_t, char*, std::uint32_t*) {
  return kFail;
}
Result UrlService::MakeColonFullPath(const char*, std::uint32_t, const char*, std::uint32_t, char*, std::uint32_t*) {
  return kFail;
}
Result UrlService::MakeSlashFullPath(const char*, std::uint32_t, const char*, std::uint32_t, char*, std::uint32_t*) {
  return kFail;
}
Result UrlService::MakeFullPath(const char*, std::uint32_t, const char*, std::uint32_t, char*, std::uint32_t*) {
  return kFail;
}
Result UrlService::NativePathToFileUrl(const char*, std::uint32_t, char*, std::uint32_t*) { return kFail; }
Result UrlService::ColonPathToFileUrl(const char*, std::uint32_t, char*, std::uint32_t*) { return kFail; }
Result UrlService::SlashPathToFileUrl(const char*, std::uint32_t, char*, std::uint32_t*) { return kFail; }
Result UrlService::PathToFileUrl(const char*, std::uint32_t, char*, std::uint32_t*) { return kFail; }
Result UrlService::FileUrlToNativePath(const char*, std::uint32_t, char*, std::uint32_t*) { return kFail; }
Result UrlService::FileUrlToColonPath(const char*, std::uint32_t, char*, std::uint32_t*) { return kFail; }
Result UrlService::FileUrlToSlashPath(const char*, std::uint32_t, char*, std::uint32_t*) { return kFail; }
Result UrlService::FileUrlToPath(const char*, std::uint32_t, char*, std::uint32_t*) { return kFail; }
Result UrlService::GetSchemeCode(const char*, std::uint32_t, std::uint32_t*) { return kFail; }
Result UrlService::SplitFileName(const char*, std::uint32_t, const char**, std::uint32_t*, const char**,
                                 std::uint32_t*) {
  return kFail;
}
Result UrlService::MakeRelativeUrl(const char*, std::uint32_t, const char*, std::uint32_t, std::uint32_t, char*,
                                   std::uint32_t*) {
  return kFail;
}

}  // namespace sfx
