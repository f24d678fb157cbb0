#include "services/locator/url_service.h"

#include "services/core/path_join.h"
#include "services/core/registry_p.h"

namespace sfx {
namespace {

UrlService g_urlService;

}  // namespace

ServiceObject* detail::TheUrlService() { return &g_urlService; }

// ---- joining paths ----

Result UrlService::JoinPath(const char* folder, const char* name, char* buffer, std::uint32_t capacity) {
  return path::Join(folder, name, buffer, capacity);
}

Result UrlService::JoinPathParts(char* buffer, std::uint32_t capacity, const char* base, const char* part1,
                                 const char* part2, const char* part3, const char* part4, std::uint32_t* needed) {
  const char* const parts[4] = {part1, part2, part3, part4};
  return path::JoinParts(buffer, capacity, base, parts, needed);
}

}  // namespace sfx
